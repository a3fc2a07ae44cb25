// Small text helpers shared by every subsystem.
#include "common/text.h"

#include <QFileInfo>
#include <QRegularExpression>

QString toPlainText(const QString &richText)
{
    static const QRegularExpression tag(QStringLiteral("<[^>]*>"));
    QString text = richText;
    text.replace(QLatin1String("<p>"), QLatin1String("\n"));
    text.remove(tag);
    return text;
}

QString fileNameOnly(const QString &path)
{
    return QFileInfo(path).fileName();
}
