// Runs download, verify and read-back plans through a target's memory interfaces.
#include "target/downloadexecutor.h"

#include "common/hexception.h"
#include "common/sizetext.h"
#include "loadfile/loadfilesection.h"
#include "target/targetinterface.h"
#include "target/targetmemoryinterface.h"
#include "target/uploadedloadfile.h"

#include <vector>

namespace zim::target {

namespace {

QString hex8(uint64_t value)
{
    return QString::asprintf("0x%08llX", static_cast<unsigned long long>(value));
}

} // namespace

DownloadExecutor::DownloadExecutor(TargetInterface &target, const std::vector<PlanSpace> &spaces)
    : m_target(target), m_spaces(spaces)
{
}

TargetMemoryInterface &DownloadExecutor::memoryOf(const SpacePlan &space) const
{
    TargetMemoryInterface *memory = space.space == 0 ? m_target.mainMemory() : m_target.secondMemory();
    if (!memory)
        throw common::HException(QStringLiteral("%1 has no memory space %2").arg(m_target.objectName()).arg(space.space));
    return *memory;
}

const loadfile::LoadFileSectionList &DownloadExecutor::sectionsOf(const SpacePlan &space) const
{
    for (const PlanSpace &source : m_spaces)
        if (source.space == space.space && source.sections)
            return *source.sections;
    throw common::HException(QStringLiteral("no sections were given for memory space %1").arg(space.space));
}

// "Programming 1 KB of .text addresses 1100 — 14ff" and its unnamed form.
void DownloadExecutor::reportSection(const char *verb, const loadfile::LoadFileSectionInterface &section)
{
    const QString name = QString::fromUtf8(section.name());
    const QString first = m_target.formatAddress(section.address());
    const QString last = m_target.formatAddress(section.address() + section.size() - 1);
    const QString dash(QChar(0x2014));
    if (!name.isEmpty())
        emit m_target.message(QStringLiteral("%1 %2 of %3 addresses %4 %5 %6")
                                  .arg(QLatin1String(verb), common::sizeText(section.size()), name, first, dash, last));
    else
        emit m_target.message(QStringLiteral("%1 %2 of addresses %3 %4 %5")
                                  .arg(QLatin1String(verb), common::sizeText(section.size()), first, dash, last));
}

void DownloadExecutor::openTask(const SpacePlan &space, ProgressReport::Phase phase)
{
    m_phase = phase;
    m_space = space.space;
    m_total = space.total;
    m_unit = ProgressReport::Unit::Bytes;
    if (space.total != 0)
        emit m_target.progress(ProgressReport::open(phase, space.total, m_unit, space.space));
}

void DownloadExecutor::reportDone(uint32_t done)
{
    emit m_target.progress(ProgressReport::advance(m_phase, done, m_total, m_unit, m_space));
}

void DownloadExecutor::erase(const SpacePlan &space, TargetMemoryInterface &memory)
{
    switch (space.erase) {
    case EraseMode::None:
        return;
    case EraseMode::Whole:
        m_phase = ProgressReport::Phase::EraseAll;
        m_space = space.space;
        m_total = space.total;
        m_unit = ProgressReport::Unit::None;
        emit m_target.progress(ProgressReport::open(m_phase, space.total, m_unit, space.space));
        memory.eraseAll();
        reportDone(space.total);
        return;
    case EraseMode::Segments:
        openTask(space, ProgressReport::Phase::Erase);
        // The task opens even for an empty space, as the bar shows every erase.
        if (space.total == 0)
            emit m_target.progress(ProgressReport::open(m_phase, 0, m_unit, space.space));
        eraseInBracket(memory, [&] { eraseSegments(space, memory); });
        return;
    }
}

void DownloadExecutor::eraseSegments(const SpacePlan &space, TargetMemoryInterface &memory)
{
    uint32_t done = 0;
    for (const EraseStep &step : space.eraseSteps) {
        if (step.erase) {
            uint32_t start = step.address;
            uint32_t length = step.count;
            memory.eraseRange(step.address, step.count, start, length);
            // Later steps skip what this one is planned to clear; a memory that clears less
            // would leave those bytes unerased.
            const uint64_t end = uint64_t(start) + length;
            if (length == 0 || start > step.cleared.first || end <= step.cleared.last) {
                const QString what = length == 0 ? QStringLiteral("nothing")
                                                 : hex8(start) + QStringLiteral(" - ") + hex8(end - 1);
                throw common::HException(QStringLiteral("erasing %1 bytes at %2 cleared %3, not all of %4 - %5")
                                     .arg(step.count)
                                     .arg(hex8(step.address), what, hex8(step.cleared.first),
                                          hex8(step.cleared.last)));
            }
        }
        done += step.count;
        reportDone(done);
    }
}

void DownloadExecutor::program(const DownloadPlan &plan)
{
    for (const SpacePlan &space : plan.spaces) {
        TargetMemoryInterface &memory = memoryOf(space);
        const loadfile::LoadFileSectionList &sections = sectionsOf(space);
        erase(space, memory);
        openTask(space, ProgressReport::Phase::Program);
        uint32_t done = 0;
        for (const SectionBlocks &steps : space.program) {
            const loadfile::LoadFileSectionInterface &section = *sections.at(steps.section);
            reportSection("Programming", section);
            for (const PlanBlock &block : steps.blocks) {
                if (steps.zeroFill)
                    memory.fillBytes(block.address, block.count, 0);
                else
                    memory.programBytes(block.address, block.count, section.data() + block.offset, block.last);
                done += block.count;
                reportDone(done);
            }
        }
    }
}

bool DownloadExecutor::verify(const DownloadPlan &plan)
{
    std::vector<uint8_t> zeros;
    for (const SpacePlan &space : plan.spaces) {
        TargetMemoryInterface &memory = memoryOf(space);
        const loadfile::LoadFileSectionList &sections = sectionsOf(space);
        openTask(space, ProgressReport::Phase::Verify);
        uint32_t done = 0;
        for (const SectionBlocks &steps : space.verify) {
            const loadfile::LoadFileSectionInterface &section = *sections.at(steps.section);
            reportSection("Verifying", section);
            for (const PlanBlock &block : steps.blocks) {
                const uint8_t *expected = section.data() + block.offset;
                if (steps.zeroFill) {
                    // A section without bytes was programmed as zeros.
                    zeros.assign(block.count, 0);
                    expected = zeros.data();
                }
                if (!memory.verifyBytes(block.address, block.count, expected)) {
                    reportDone(space.total);
                    return false;
                }
                done += block.count;
                reportDone(done);
            }
        }
    }
    return true;
}

std::unique_ptr<UploadedLoadFile> DownloadExecutor::readBack(const DownloadPlan &plan)
{
    auto result = std::make_unique<UploadedLoadFile>();
    for (const SpacePlan &space : plan.spaces) {
        TargetMemoryInterface &memory = memoryOf(space);
        const loadfile::LoadFileSectionList &sections = sectionsOf(space);
        openTask(space, ProgressReport::Phase::Upload);
        uint32_t done = 0;
        for (const SectionBlocks &steps : space.readBack) {
            const loadfile::LoadFileSectionInterface &section = *sections.at(steps.section);
            emit m_target.message(QStringLiteral("uploading section ") + QString::fromUtf8(section.name())
                                  + QStringLiteral(": size 0x") + QString::number(section.size(), 16)
                                  + QStringLiteral(", addr 0x") + QString::number(section.address(), 16));
            auto copy = std::make_unique<loadfile::UploadLoadFileSection>(section.name(), section.address(), section.size());
            for (const PlanBlock &block : steps.blocks) {
                memory.readBackBytes(block.address, block.count, copy->writableData() + block.offset);
                done += block.count;
                reportDone(done);
            }
            result->appendSection(space.space, std::move(copy));
        }
    }
    return result;
}

} // namespace zim::target
