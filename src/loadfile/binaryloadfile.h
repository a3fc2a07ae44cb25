// Raw binary load files: bytes without addresses, placed at a load address.
#pragma once

#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>
#include <memory>

namespace zim::loadfile {

class LoadFileInput;

// One section "data" built at the load address (initially 0) when the sections are first
// asked for. A regular file is opened at construction and its bytes are read only when the
// section's data is first used; a pipe, FIFO or device is read to its end at construction.
// Throws HException "cannot open <name>", "cannot read <name>", "empty file <name>", the
// bounded reader's message for a file over maxSize, or a message naming the file when it does
// not fit a 32-bit address space at the load address.
class BinaryLoadFile : public LoadFileInterface
{
public:
    // The largest image taken: 16 times the 1 MB address space of the largest MSP430X core
    // (20-bit addresses), so that every image a target can hold loads, while /dev/zero or a
    // file of gigabytes stops at once instead of running into the memory limit.
    static constexpr qint64 maxSize = qint64(16) << 20;

    explicit BinaryLoadFile(const QString &fileName);
    // A binary image of the given bytes, as if read from a file.
    static std::unique_ptr<BinaryLoadFile> fromBytes(const QByteArray &bytes);
    ~BinaryLoadFile() override;

    bool hasStartAddress() const override { return false; }
    void setStartAddress(uint32_t address) override { m_startAddress = address; }
    uint32_t startAddress() const override { return m_startAddress; }
    bool hasAddresses() const override { return false; }
    // A different address drops the sections built so far; they are rebuilt on next use.
    void setLoadAddress(uint32_t address) override;
    bool readSections() override;

private:
    BinaryLoadFile() = default;
    void checkLength();

    QString m_name;
    // A regular file whose bytes are read on first use, or null when m_bytes holds them.
    std::shared_ptr<LoadFileInput> m_input;
    QByteArray m_bytes;
    uint64_t m_length = 0;
    uint32_t m_loadAddress = 0;
    uint32_t m_startAddress = 0;
};

} // namespace zim::loadfile
