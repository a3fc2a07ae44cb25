// Texts the loader builds in more than one place: quoting, the lines of the target list, and
// command-line words taken as file names.
#pragma once

#include <QString>

namespace zim::target {
class TargetInterfaceFactory;
}

namespace zim::loader {


// text in double quotation marks, as the loader's messages quote names and values.
QString quoted(const QString &text);

// One line per registry entry, in registry order: two blanks, the short name (or the class
// name) padded to 21 characters, a blank, the description and a line feed.
QString targetLines(const target::TargetInterfaceFactory &targets);

// A command-line word naming a file. Throws HException "The file name "..." is not valid
// UTF-8", showing each byte that is not part of a valid sequence as \xHH, because such a
// name could not be opened under the name the rest of the program would see.
QString fileNameFromWord(const char *word);

} // namespace zim::loader
