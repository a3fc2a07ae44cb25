// Helpers for the load-file tests: temporary files and sections as plain data.
#pragma once

#include "common/hexception.h"
#include "loadfile/loadfileinterface.h"

#include <QByteArray>
#include <QString>
#include <QTemporaryDir>
#include <cstdint>
#include <map>
#include <ostream>
#include <string>
#include <vector>

// A section as data, so that whole layouts compare with one EXPECT_EQ.
struct SectionData
{
    uint32_t address;
    std::vector<uint8_t> bytes;
    bool operator==(const SectionData &) const = default;
};
void PrintTo(const SectionData &section, std::ostream *os);

// A load file holding given sections and an optional start address.
class LayoutLoadFile : public zim::loadfile::LoadFileInterface
{
public:
    explicit LayoutLoadFile(const std::vector<SectionData> &layout, bool hasStart = false, uint32_t start = 0);
    bool hasStartAddress() const override { return m_hasStart; }
    void setStartAddress(uint32_t a) override { m_start = a; }
    uint32_t startAddress() const override { return m_start; }
    bool hasAddresses() const override { return true; }
    void setLoadAddress(uint32_t) override {}
    bool readSections() override { return true; }

private:
    bool m_hasStart;
    uint32_t m_start;
};

std::vector<SectionData> primaryOf(zim::loadfile::LoadFileInterface &file);
// Address -> byte over all primary sections, later sections winning.
std::map<uint32_t, uint8_t> memoryOf(zim::loadfile::LoadFileInterface &file);

// A temporary directory that lives for the test.
class TempFiles
{
public:
    QString write(const QString &name, const QByteArray &contents);
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
};

// The message of the HException that f throws, or "<no exception>".
template <class F>
QString messageOf(F &&f)
{
    try {
        f();
    } catch (const zim::common::HException &e) {
        return e.message();
    }
    return QStringLiteral("<no exception>");
}

// A test parameter name from a case description: letters and digits, the rest as '_'.
std::string testName(const char *what);

// Readable QString values in test failures.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}
