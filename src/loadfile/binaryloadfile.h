// Raw binary load files: bytes without addresses, placed at a load address.
#pragma once

#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>

// Reads the whole file at construction; its one section "data" is built at the load address
// (initially 0) when the sections are first asked for. Throws HException "cannot open <name>"
// or "cannot read <name>".
class BinaryLoadFile : public LoadFileInterface
{
public:
    explicit BinaryLoadFile(const QString &fileName);
    // A binary image of the given bytes, as if read from a file.
    static std::unique_ptr<BinaryLoadFile> fromBytes(const QByteArray &bytes);

    bool hasStartAddress() const override { return false; }
    void setStartAddress(uint32_t address) override { m_startAddress = address; }
    uint32_t startAddress() const override { return m_startAddress; }
    bool hasAddresses() const override { return false; }
    // A different address drops the sections built so far; they are rebuilt on next use.
    void setLoadAddress(uint32_t address) override;
    bool readSections() override;

private:
    BinaryLoadFile() = default;

    QByteArray m_bytes;
    uint32_t m_loadAddress = 0;
    uint32_t m_startAddress = 0;
};
