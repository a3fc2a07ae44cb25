// Writing zimprog(1) from the usage text and the listings. The option, target and file-type
// entries and the examples are taken line by line from what the program prints; only the
// prose around them is written here.
#include "manpage/manpage.h"

#include "common/hexception.h"

#include <QList>

namespace zim::manpage {

namespace {

// The usage and listing lines print their first column with "  %-21s ".
constexpr qsizetype kColumn = 2 + 21 + 1;

struct Entry
{
    QByteArray name;
    QByteArray text;
};

[[noreturn]] void fail(const char *what, const QByteArray &line)
{
    throw common::HException(QStringLiteral("manual page: %1: \"%2\"")
                                 .arg(QLatin1String(what), QString::fromUtf8(line)));
}

QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

// The index of the line equal to wanted, failing when there is none.
qsizetype findLine(const QList<QByteArray> &lines, const QByteArray &wanted, const char *what)
{
    const qsizetype at = lines.indexOf(wanted);
    if (at < 0)
        fail(what, wanted);
    return at;
}

// "  -setprop 'prop'='val' Set a target property": the option with its argument in the first
// column, the help after it. An option too long for the column would shift its help out of
// place, which the page cannot split reliably: refuse it.
Entry optionLine(const QByteArray &line)
{
    if (!line.startsWith("  -") || line.size() <= kColumn || line.at(kColumn - 1) != ' '
        || line.at(kColumn) == ' ')
        fail("usage line outside the option column", line);
    return {line.mid(2, kColumn - 3).trimmed(), line.mid(kColumn)};
}

// "  sim                   MSP430 Core Simulator": a name without blanks, then its text.
Entry listingLine(const QByteArray &line)
{
    const QByteArray trimmed = line.trimmed();
    const qsizetype blank = trimmed.indexOf(' ');
    if (!line.startsWith("  ") || blank <= 0)
        fail("listing line without a name and a description", line);
    return {trimmed.left(blank), trimmed.mid(blank).trimmed()};
}

// The entries of a listing: the lines after its heading and the blank line below it.
QList<Entry> listing(const QByteArray &text, const QByteArray &heading)
{
    const QList<QByteArray> lines = linesOf(text);
    if (lines.size() < 2 || lines.at(0) != heading || !lines.at(1).isEmpty())
        fail("listing without its heading", lines.value(0));
    QList<Entry> entries;
    for (qsizetype i = 2; i < lines.size() && !lines.at(i).isEmpty(); ++i)
        entries.append(listingLine(lines.at(i)));
    if (entries.isEmpty())
        fail("listing without entries", heading);
    return entries;
}

QByteArray taggedParagraphs(const QList<Entry> &entries)
{
    QByteArray out;
    for (const Entry &entry : entries)
        out += ".TP\n\\fB" + roffText(entry.name) + "\\fR\n" + roffText(entry.text) + "\n";
    return out;
}

QByteArray optionsSection(const QList<QByteArray> &lines, qsizetype from)
{
    QByteArray out = ".SH OPTIONS\n";
    qsizetype count = 0;
    for (qsizetype i = from; i < lines.size() && !lines.at(i).isEmpty(); ++i, ++count) {
        const Entry entry = optionLine(lines.at(i));
        const qsizetype blank = entry.name.indexOf(' ');
        const QByteArray option = blank < 0 ? entry.name : entry.name.left(blank);
        const QByteArray argument = blank < 0 ? QByteArray() : entry.name.mid(blank + 1);
        out += ".TP\n\\fB" + roffText(option) + "\\fR";
        if (!argument.isEmpty())
            out += " \\fI" + roffText(argument) + "\\fR";
        out += "\n" + roffText(entry.text) + "\n";
    }
    if (count == 0)
        fail("usage text without options", "Options:");
    return out;
}

// "  Download ...:" followed by "    zimprog ..." for each example.
QByteArray examplesSection(const QList<QByteArray> &lines, qsizetype from)
{
    QByteArray out = ".SH EXAMPLES\n";
    QByteArray pending;
    for (qsizetype i = from; i < lines.size(); ++i) {
        const QByteArray &line = lines.at(i);
        if (line.isEmpty())
            continue;
        if (line.startsWith("    ")) {
            if (pending.isEmpty())
                fail("example command without its description", line);
            out += ".PP\n" + roffText(pending) + "\n.PP\n.RS 4\n.nf\n" + roffText(line.trimmed()) + "\n.fi\n.RE\n";
            pending.clear();
        } else if (line.startsWith("  ") && pending.isEmpty()) {
            pending = line.trimmed();
        } else {
            fail("example line out of place", line);
        }
    }
    if (!pending.isEmpty())
        fail("example description without its command", pending);
    return out;
}

} // namespace

QByteArray roffText(const QByteArray &text)
{
    QByteArray out;
    out.reserve(text.size() + 8);
    if (text.startsWith('.') || text.startsWith('\''))
        out += "\\&";
    for (const char c : text) {
        if (c == '\\')
            out += "\\e";
        else if (c == '-')
            out += "\\-";
        else
            out += c;
    }
    return out;
}

QByteArray manPage(const ManPageSource &source)
{
    const QList<QByteArray> lines = linesOf(source.usage);
    if (lines.size() < 2)
        fail("usage text without its title", source.usage);
    const QByteArray title = lines.at(0);
    QByteArray summary = lines.at(1);
    if (summary.startsWith("zimprog: "))
        summary = summary.mid(9);

    const qsizetype usageAt = lines.indexOf(QByteArray("Usage: zimprog [options] [files...]"));
    const qsizetype optionsAt = findLine(lines, "Options:", "usage text without options");
    const qsizetype examplesAt = findLine(lines, "Examples", "usage text without examples");
    if (usageAt < 0)
        fail("usage text without its usage line", "Usage: zimprog [options] [files...]");
    if (lines.value(examplesAt + 1) != "--------")
        fail("examples heading without its rule", lines.value(examplesAt + 1));

    const QByteArray version = source.version.toUtf8();
    const QByteArray dir = roffText(source.installDir.toUtf8());
    QByteArray page;
    page += ".TH ZIMPROG 1 \"\" \"zimprog " + roffText(version) + "\" \"User Commands\"\n";
    page += ".SH NAME\nzimprog \\- " + roffText(summary) + "\n";
    page += ".SH SYNOPSIS\n.B zimprog\n[\\fIoptions\\fR] [\\fIfiles\\fR...]\n";
    page += ".SH DESCRIPTION\n" + roffText(title) + ".\n"
            ".PP\n"
            "\\fBzimprog\\fR does one loading job per run: it reads the load files named on the command\n"
            "line (or the output file of a project in a solution file), connects to an MSP430 target,\n"
            "erases, programs and verifies its memory with progress output, starts the program and\n"
            "disconnects.\n"
            ".PP\n"
            "Options act in the order in which they appear, so \\fB\\-target\\fR comes before\n"
            "\\fB\\-setprop\\fR and \\fB\\-listprops\\fR. Target properties are named by the names that\n"
            "\\fB\\-listprops\\fR shows. A word beginning with \\fB@\\fR names an indirect file whose lines\n"
            "are read as if they stood on the command line; lines beginning with \\fB#\\fR are comments.\n"
            "Every other word names a load file; its type comes from \\fB\\-filetype\\fR or its extension.\n";
    page += optionsSection(lines, optionsAt + 1);
    page += ".SH TARGET INTERFACES\n" + taggedParagraphs(listing(source.targets, "Target Interfaces:"));
    page += ".SH FILE TYPES\n" + taggedParagraphs(listing(source.fileTypes, "File Types:"));
    page += examplesSection(lines, examplesAt + 2);
    page += ".SH EXIT STATUS\n"
            "0 when the job completes, when the usage text is printed and when there is nothing to load;\n"
            "1 when anything fails. The reason is printed on standard error after \\(lqerror: \\(rq.\n";
    page += ".SH FILES\n"
            ".TP\n\\fI" + dir + "/bin/zimprog\\fR\n"
            "The program. It finds its other files from its own location.\n"
            ".TP\n\\fI" + dir + "/bin/libmsp430devices.so\\fR\n"
            "The device database, loaded at run time.\n"
            ".TP\n\\fI" + dir + "/targets/\\fR\n"
            "The description files, the project templates and the peripheral model of the simulator.\n";
    page += ".SH NOTES\n"
            "The package's udev rules let members of the \\fBplugdev\\fR group use the USB adapters and\n"
            "the parallel port. A user added to the group takes part after logging in again.\n";
    return page;
}

} // namespace zim::manpage
