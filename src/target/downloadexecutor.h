// DownloadExecutor: runs a DownloadPlan on a target's memory interfaces, reporting progress and
// section messages through the target's signals.
#pragma once

#include "target/downloadplan.h"
#include "target/progressreport.h"

#include <memory>

namespace zim::target {

class TargetInterface;
class TargetMemoryInterface;
class UploadedLoadFile;

// The plan's spaces are matched with the target's memories (space 0 mainMemory, space 1
// secondMemory) and with the sections the plan was made from. Memory failures throw
// HException; so does a memory whose range erase reports less than the plan counts on.
class DownloadExecutor
{
public:
    DownloadExecutor(TargetInterface &target, const std::vector<PlanSpace> &spaces);

    // Erases and programs space by space.
    void program(const DownloadPlan &plan);
    // Compares block by block; false at the first mismatch, after which nothing more is read.
    bool verify(const DownloadPlan &plan);
    // Reads every read-back section into a new load file of the same spaces.
    std::unique_ptr<UploadedLoadFile> readBack(const DownloadPlan &plan);

private:
    TargetMemoryInterface &memoryOf(const SpacePlan &space) const;
    const loadfile::LoadFileSectionList &sectionsOf(const SpacePlan &space) const;
    void erase(const SpacePlan &space, TargetMemoryInterface &memory);
    void eraseSegments(const SpacePlan &space, TargetMemoryInterface &memory);
    void reportSection(const char *verb, const loadfile::LoadFileSectionInterface &section);
    void openTask(const SpacePlan &space, ProgressReport::Phase phase);
    void reportDone(uint32_t done);

    TargetInterface &m_target;
    const std::vector<PlanSpace> &m_spaces;
    // The task being reported.
    ProgressReport::Phase m_phase = ProgressReport::Phase::Program;
    int m_space = 0;
    uint32_t m_total = 0;
    ProgressReport::Unit m_unit = ProgressReport::Unit::Bytes;
};

} // namespace zim::target
