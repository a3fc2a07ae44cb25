// Reading golden case files.
#include "goldencase.h"

#include <QFile>

namespace {

// A section's text: every line between its marker and the next one, each with its line feed.
struct Section
{
    QStringList header; // words after "---"
    QByteArray text;
};

} // namespace

QStringList splitShellWords(const QString &line)
{
    QStringList words;
    QString word;
    bool inWord = false;
    QChar quote;
    for (QChar c : line) {
        if (!quote.isNull()) {
            if (c == quote)
                quote = QChar();
            else
                word += c;
        } else if (c == QLatin1Char('"') || c == QLatin1Char('\'')) {
            quote = c;
            inWord = true;
        } else if (c.isSpace()) {
            if (inWord)
                words.append(word);
            word.clear();
            inWord = false;
        } else {
            word += c;
            inWord = true;
        }
    }
    if (inWord)
        words.append(word);
    return words;
}

QByteArray parseHexBytes(const QByteArray &text)
{
    QByteArray digits;
    for (char c : text)
        if (!QChar::fromLatin1(c).isSpace())
            digits += c;
    return QByteArray::fromHex(digits);
}

GoldenCase readGoldenCase(const QString &path, const QString &name)
{
    GoldenCase gc;
    gc.name = name;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        gc.parseError = QStringLiteral("cannot open ") + path;
        return gc;
    }
    const QByteArray all = file.readAll();
    QList<Section> sections;
    bool inHeader = true;
    qsizetype pos = 0;
    while (pos < all.size()) {
        qsizetype end = all.indexOf('\n', pos);
        const qsizetype next = end < 0 ? all.size() : end + 1;
        const QByteArray line = all.mid(pos, next - pos);
        pos = next;
        if (line.startsWith("--- ")) {
            inHeader = false;
            sections.append(Section{QString::fromUtf8(line.mid(4).trimmed()).split(QLatin1Char(' '), Qt::SkipEmptyParts), {}});
            continue;
        }
        if (!inHeader) {
            sections.last().text += line;
            continue;
        }
        const QString text = QString::fromUtf8(line).trimmed();
        if (text.isEmpty() || text.startsWith(QLatin1Char('#')))
            continue;
        if (text.startsWith(QLatin1String("args:")))
            gc.argsLine = text.mid(5).trimmed();
        else if (text.startsWith(QLatin1String("status:")))
            gc.status = text.mid(7).trimmed().toInt();
        else if (text.startsWith(QLatin1String("cwd:")))
            gc.cwd = text.mid(4).trimmed();
        else if (text.startsWith(QLatin1String("env:"))) {
            const QString assignment = text.mid(4).trimmed();
            const qsizetype equals = assignment.indexOf(QLatin1Char('='));
            if (equals <= 0)
                gc.parseError = QStringLiteral("env: needs NAME=value: ") + text;
            else
                gc.env.append({assignment.left(equals), assignment.mid(equals + 1)});
        } else if (text.startsWith(QLatin1String("ulimit-f:")))
            gc.fileSizeLimit = text.mid(9).trimmed();
        else if (text.startsWith(QLatin1String("stdout-file:")))
            gc.stdoutFile = text.mid(12).trimmed();
        else if (text == QLatin1String("install: case"))
            gc.ownInstall = true;
        else
            gc.parseError = QStringLiteral("unknown header line: ") + text;
    }

    for (const Section &s : std::as_const(sections)) {
        if (s.header.isEmpty()) {
            gc.parseError = QStringLiteral("section without a name");
            continue;
        }
        const QString kind = s.header.at(0);
        const QStringList mods = s.header.mid(kind == QLatin1String("stdout") || kind == QLatin1String("stderr") ? 1 : 2);
        QByteArray text = s.text;
        if (mods.contains(QLatin1String("noeol")) && text.endsWith('\n'))
            text.chop(1);
        if (kind == QLatin1String("link") || kind == QLatin1String("fifo")) {
            const bool link = kind == QLatin1String("link");
            if (s.header.size() != (link ? 3 : 2) || !s.text.trimmed().isEmpty()) {
                gc.parseError = link ? QStringLiteral("a link needs a name and a target and no text")
                                     : QStringLiteral("a fifo needs a name and no text");
                continue;
            }
            gc.nodes.append({s.header.at(1), link ? s.header.at(2) : QString()});
        } else if (kind == QLatin1String("input")) {
            if (s.header.size() < 2) {
                gc.parseError = QStringLiteral("input without a file name");
                continue;
            }
            gc.inputs.append({s.header.at(1), mods.contains(QLatin1String("hex")) ? parseHexBytes(text) : text});
        } else if (kind == QLatin1String("stdout") || kind == QLatin1String("stderr") || kind == QLatin1String("file")) {
            GoldenExpectation e;
            e.what = kind == QLatin1String("file") ? s.header.value(1) : kind;
            e.match = mods.contains(QLatin1String("regex")) ? GoldenExpectation::Regex : GoldenExpectation::Exact;
            e.text = mods.contains(QLatin1String("hex")) ? parseHexBytes(text) : text;
            e.noeol = mods.contains(QLatin1String("noeol"));
            if (const qsizetype at = mods.indexOf(QLatin1String("from")); at >= 0) {
                if (at + 1 >= mods.size() || !s.text.trimmed().isEmpty()) {
                    gc.parseError = QStringLiteral("\"from\" needs a file name and no text");
                    continue;
                }
                e.from = mods.at(at + 1);
            }
            gc.expectations.append(e);
        } else {
            gc.parseError = QStringLiteral("unknown section: ") + kind;
        }
    }
    return gc;
}
