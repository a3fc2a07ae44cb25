// Reading a whole input into memory with a ceiling, so that /dev/zero, a FIFO that never ends
// or a file of gigabytes stops with a message instead of exhausting memory.
#pragma once

#include <QByteArray>
#include <QString>

class QIODevice;

namespace zim::common {

// The ceilings of the inputs the loader reads whole. Load files are read in a window and
// have none.
inline constexpr qint64 kMaxScriptFileSize = 16 * 1024 * 1024;    // scripts, load(), readBinary
inline constexpr qint64 kMaxSolutionFileSize = 16 * 1024 * 1024;  // solutions, imports, description files

// Reads an open device to its end, at most limit bytes. Returns false with *tooLarge set when
// the input holds more than limit bytes, false with *tooLarge clear when the device reported
// a read error (its errorString() says why), true otherwise. Never reads more than limit + 1
// bytes, whatever the device claims as its size.
bool readAllBounded(QIODevice &device, qint64 limit, QByteArray &out, bool *tooLarge);

// The message of an input over its ceiling: file “PATH” is larger than the N bytes READER
// ("a script may read", "a solution file may have", ...).
QString tooLargeMessage(const QString &path, qint64 limit, const QString &reader);

// Opens and reads a whole file of at most limit bytes. Throws HException with
//   cannot open NOUN “PATH”: REASON
//   cannot read NOUN “PATH”: REASON
//   the tooLargeMessage above,
// where noun says what the file is to the user ("file", "script", "target script file").
QByteArray readWholeFile(const QString &path, qint64 limit, const QString &noun, const QString &reader);

} // namespace zim::common
