// The input of the load-file readers: a file read piece by piece, or bytes already in memory.
#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdint>

// Reads a file without mapping it, so that a file that changes while it is read ends in an
// HException and never in a signal. Regular files are read in pieces or at given offsets and
// must keep the length they had when opened; pipes, FIFOs and devices are read once, in
// order, to their end. Every failure throws HException "cannot read <name>".
namespace zim::loadfile {

class LoadFileInput
{
public:
    // Throws HException "cannot open <name>".
    explicit LoadFileInput(const QString &fileName);
    // Bytes in memory standing for a file called name.
    LoadFileInput(const QByteArray &bytes, const QString &name);
    LoadFileInput(const LoadFileInput &) = delete;
    LoadFileInput &operator=(const LoadFileInput &) = delete;

    const QString &name() const { return m_name; }
    // True for pipes, FIFOs and devices: their length is unknown and readAt() is refused.
    bool isSequential() const { return m_sequential; }
    // The length at open; 0 for sequential input.
    uint64_t size() const { return m_size; }

    // Up to max of the next bytes; 0 at the end. A regular file that ends before or after the
    // length it had at open fails.
    int64_t read(char *dest, int64_t max);
    // Exactly n bytes from offset, which with n must lie inside size().
    void readAt(uint64_t offset, char *dest, uint64_t n);
    // Everything read() still gives, or limit + 1 bytes when there is more than limit.
    QByteArray readAll(uint64_t limit);

    [[noreturn]] void fail() const;

private:
    QString m_name;
    QFile m_file;
    QByteArray m_bytes; // memory input
    bool m_inMemory = false;
    bool m_sequential = false;
    uint64_t m_size = 0;
    uint64_t m_consumed = 0;
};

} // namespace zim::loadfile
