// Small text helpers shared by every subsystem.
#include "common/text.h"

#include <QFileInfo>
#include <QRegularExpression>

namespace zim::common {

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

QStringList splitEscaped(const QString &text)
{
    QStringList items;
    QString item;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\\') && i + 1 < text.size()) {
            item += text.at(++i);
        } else if (c == QLatin1Char(';')) {
            items.append(item);
            item.clear();
        } else {
            item += c;
        }
    }
    items.append(item);
    return items;
}

} // namespace zim::common
