// The zimprog(1) manual page, written in roff from the program's own usage text and listings,
// so the page says what -help says.
#pragma once

#include <QByteArray>
#include <QString>

namespace zim::manpage {

// What the page is made from: the texts exactly as zimprog prints them.
struct ManPageSource
{
    QByteArray usage;      // the -help output
    QByteArray targets;    // the -listtargets output
    QByteArray fileTypes;  // the -listfiletypes output
    QString version;       // "1.4.0"
    QString installDir;    // the directory that holds bin/ and targets/ once installed
};

// The whole page. Throws common::HException naming the line when a text does not have the
// layout the page is built from (a usage line outside the option column, an example without
// its command), so that a change to the texts stops the build instead of dropping a line.
QByteArray manPage(const ManPageSource &source);

// One line of text made safe for roff: backslashes and hyphens escaped, a leading period or
// apostrophe guarded.
QByteArray roffText(const QByteArray &text);

} // namespace zim::manpage
