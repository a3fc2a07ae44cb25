// Writing the primary sections of a load file in one of the text or binary formats.
#pragma once

#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>

// Writes the primary sections of file, and its start address when hasStartAddress(), to
// fileName in the format of typeName: "ihex", "srec", "tihex", "hex" (listing) or "bin" (one
// image from the lowest to the highest address, gaps filled with 0xFF). The file is replaced
// only when everything was written. Throws HException for a type that cannot be written
// ("elf", "hzx", unknown names) and, naming the file, when it cannot be written.
void writeLoadFile(const QString &fileName, const QString &typeName, LoadFileInterface &file);

// The contents writeLoadFile would write, for callers that keep them in memory; fileName
// only names the file in messages.
QByteArray formatLoadFile(const QString &typeName, LoadFileInterface &file, const QString &fileName = QString());
