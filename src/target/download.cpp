// The download, verify and upload procedures shared by every target: erase by segment or
// entirely, program and compare in blocks the memory accepts, read back, and report progress
// and messages through the target's signals.
#include "target/download.h"

#include "common/hexception.h"
#include "common/sizetext.h"
#include "common/text.h"
#include "loadfile/loadfileinterface.h"
#include "target/downloadplan.h"
#include "target/erasedrangeset.h"
#include "target/targetinterface.h"
#include "target/targetmemoryinterface.h"
#include "target/uploadedloadfile.h"

#include <algorithm>
#include <vector>

namespace TargetDownload {

namespace {

constexpr const char *unitBytes = "bytes";

// One memory space of a load: the memory that receives it and the sections meant for it.
struct Space
{
    int index;
    TargetMemoryInterface *memory;
    LoadFileSectionList *sections;
    uint32_t total;
};

// The spaces that have a memory interface, space 0 first.
std::vector<Space> spacesOf(TargetInterface &target, LoadFileInterface &file)
{
    std::vector<Space> spaces;
    if (TargetMemoryInterface *memory = target.mainMemory())
        spaces.push_back({0, memory, &file.sections().primarySections, file.primarySize()});
    if (TargetMemoryInterface *memory = target.secondMemory())
        spaces.push_back({1, memory, &file.sections().secondarySections, file.secondarySize()});
    return spaces;
}

// The next block of a run of remaining bytes under a memory limit (-1: no limit).
uint32_t blockLength(uint32_t remaining, int limit)
{
    if (limit <= 0)
        return remaining;
    return std::min(remaining, uint32_t(limit));
}

QString quoted(const QString &fileName)
{
    return QChar(0x201C) + fileNameOnly(fileName) + QChar(0x201D);
}

// "Programming 1 KB of .text addresses 1100 — 14ff" and its unnamed form.
QString sectionText(TargetInterface &target, const char *verb, const LoadFileSectionInterface &section)
{
    const QString name = QString::fromUtf8(section.name());
    const QString first = target.formatAddress(section.address());
    const QString last = target.formatAddress(section.address() + section.size() - 1);
    const QString dash(QChar(0x2014));
    if (!name.isEmpty())
        return QStringLiteral("%1 %2 of %3 addresses %4 %5 %6")
            .arg(QLatin1String(verb), sizeText(section.size()), name, first, dash, last);
    return QStringLiteral("%1 %2 of addresses %3 %4 %5")
        .arg(QLatin1String(verb), sizeText(section.size()), first, dash, last);
}

void eraseSpace(TargetInterface &target, const Space &space)
{
    TargetMemoryInterface &memory = *space.memory;
    if (target.eraseAllBeforeDownload()) {
        emit target.progress(0, int(space.total),
                             space.index == 0 ? "Erasing entire FLASH memory" : "Erasing entire EEPROM memory",
                             nullptr);
        memory.eraseAll();
        emit target.progress(int(space.total), -1, nullptr, nullptr);
        return;
    }

    emit target.progress(0, int(space.total), "Erasing", unitBytes);
    memory.beginErase();
    try {
        ErasedRangeSet erased;
        uint32_t erasedCount = 0;
        for (const auto &section : *space.sections) {
            uint32_t address = section->address();
            uint32_t remaining = section->size();
            while (remaining != 0) {
                uint32_t k;
                if (const auto range = erased.find(address)) {
                    k = std::min(range->last - address + 1, remaining);
                } else {
                    k = blockLength(remaining, memory.eraseSegmentSize());
                    uint32_t start = address;
                    uint32_t length = k;
                    memory.eraseRange(address, k, start, length);
                    if (length != 0)
                        erased.add({start, start + length - 1});
                }
                erasedCount += k;
                emit target.progress(int(erasedCount), -1, nullptr, nullptr);
                address += k;
                remaining -= k;
            }
        }
    } catch (...) {
        memory.endErase();
        throw;
    }
    memory.endErase();
}

void programSpace(TargetInterface &target, const Space &space)
{
    TargetMemoryInterface &memory = *space.memory;
    if (space.total != 0)
        emit target.progress(0, int(space.total), "Programming", unitBytes);
    uint32_t done = 0;
    for (const SectionPlan &step :
         planProgramming(*space.sections, memory.maxWriteBlock(), memory.maxFillBlock())) {
        emit target.message(sectionText(target, "Programming", *step.section));
        for (const ProgramBlock &block : step.blocks) {
            if (block.data)
                memory.programBytes(block.address, block.count, block.data, block.last);
            else
                memory.fillBytes(block.address, block.count, 0);
            done += block.count;
            emit target.progress(int(done), -1, nullptr, nullptr);
        }
    }
}

// Compares one section block by block; false at the first mismatch.
bool verifySection(TargetInterface &target, const Space &space, const LoadFileSectionInterface &section,
                   uint32_t &done)
{
    uint32_t address = section.address();
    const uint8_t *data = section.data();
    std::vector<uint8_t> zeros;
    for (uint32_t k : cutBlocks(section.size(), space.memory->maxVerifyBlock())) {
        const uint8_t *expected = data;
        if (!data) {
            // A section without bytes was programmed as zeros, so it is compared with zeros.
            zeros.assign(k, 0);
            expected = zeros.data();
        }
        if (!space.memory->verifyBytes(address, k, expected)) {
            emit target.progress(int(space.total), -1, nullptr, nullptr);
            return false;
        }
        if (data)
            data += k;
        address += k;
        done += k;
        emit target.progress(int(done), -1, nullptr, nullptr);
    }
    return true;
}

} // namespace

void download(TargetInterface &target, LoadFileInterface &file, const QString &fileName, bool check)
{
    target.beginLoad();
    if (!target.canDownload())
        return;
    try {
        if (check)
            checkSectionsFit(target, file);
        emit target.beginGroup(QStringLiteral("Downloading ") + quoted(fileName) + QStringLiteral(" to ")
                                   + target.objectName(),
                               TargetInterface::MessageCompletion);
        for (const Space &space : spacesOf(target, file)) {
            if (space.memory->isErasable() && space.total != 0)
                eraseSpace(target, space);
            programSpace(target, space);
        }
        emit target.endGroup(QString());
        emit target.message(QStringLiteral("Download complete"), TargetInterface::MessageCompletion);
    } catch (...) {
        target.endLoad();
        emit target.endGroup(QString());
        emit target.message(QStringLiteral("Download failed"), TargetInterface::MessageFailure);
        throw;
    }
    target.endLoad();
}

bool verify(TargetInterface &target, LoadFileInterface &file, const QString &fileName)
{
    target.beginLoad();
    bool result = true;
    try {
        emit target.beginGroup(QStringLiteral("Verifying ") + quoted(fileName) + QStringLiteral(" on ")
                                   + target.objectName(),
                               TargetInterface::MessageCompletion);
        for (const Space &space : spacesOf(target, file)) {
            // After a mismatch nothing more is compared, and no task is opened that could not end.
            if (!result)
                break;
            if (space.total != 0)
                emit target.progress(0, int(space.total), "Verifying", unitBytes);
            uint32_t done = 0;
            for (const auto &section : *space.sections) {
                if (!result)
                    break;
                emit target.message(sectionText(target, "Verifying", *section));
                result = verifySection(target, space, *section, done);
            }
        }
    } catch (...) {
        target.endLoad();
        emit target.endGroup(QString());
        emit target.message(QStringLiteral("Verify failed"), TargetInterface::MessageFailure);
        throw;
    }
    emit target.endGroup(QString());
    if (result)
        emit target.message(QStringLiteral("Verify complete"), TargetInterface::MessageCompletion);
    else
        emit target.message(QStringLiteral("Verify failed"), TargetInterface::MessageFailure);
    target.endLoad();
    return result;
}

std::unique_ptr<LoadFileInterface> upload(TargetInterface &target, LoadFileInterface &file, const QString &fileName)
{
    target.beginLoad();
    auto result = std::make_unique<UploadedLoadFile>();
    try {
        emit target.beginGroup(QStringLiteral("Uploading ") + quoted(fileName) + QStringLiteral(" from ")
                                   + target.objectName(),
                               TargetInterface::MessageCompletion);
        for (const Space &space : spacesOf(target, file)) {
            if (space.total != 0)
                emit target.progress(0, int(space.total), "Uploading", unitBytes);
            uint32_t done = 0;
            for (const auto &section : *space.sections) {
                emit target.message(QStringLiteral("uploading section ") + QString::fromUtf8(section->name())
                                    + QStringLiteral(": size 0x") + QString::number(section->size(), 16)
                                    + QStringLiteral(", addr 0x") + QString::number(section->address(), 16));
                auto copy = std::make_unique<UploadLoadFileSection>(section->name(), section->address(),
                                                                    section->size());
                uint32_t offset = 0;
                for (uint32_t k : cutBlocks(section->size(), space.memory->maxReadBlock())) {
                    space.memory->readBackBytes(section->address() + offset, k, copy->writableData() + offset);
                    offset += k;
                    done += k;
                    emit target.progress(int(done), -1, nullptr, nullptr);
                }
                result->appendSection(space.index, std::move(copy));
            }
        }
        if (file.hasStartAddress())
            result->setStartAddress(file.startAddress());
    } catch (...) {
        target.endLoad();
        emit target.endGroup(QString());
        emit target.message(QStringLiteral("Upload failed"), TargetInterface::MessageFailure);
        throw;
    }
    emit target.endGroup(QString());
    emit target.message(QStringLiteral("Upload complete"), TargetInterface::MessageCompletion);
    target.endLoad();
    return result;
}

void checkSectionsFit(TargetInterface &target, LoadFileInterface &file)
{
    for (const Space &space : spacesOf(target, file)) {
        const QList<AddressRange> &map = space.memory->memoryMap();
        if (map.isEmpty())
            continue;
        for (const auto &section : *space.sections) {
            // An empty section places nothing, so it cannot lie outside the map.
            if (section->size() == 0)
                continue;
            const uint32_t first = section->address();
            const uint32_t last = first + section->size() - 1;
            const bool fits = std::any_of(map.begin(), map.end(), [&](const AddressRange &range) {
                return range.contains(first) && range.contains(last) && first <= last;
            });
            if (!fits)
                throw HException(QString::asprintf(
                    "The 0x%08X - 0x%08X load section does not fit the target description.", first, last));
        }
    }
}

} // namespace TargetDownload
