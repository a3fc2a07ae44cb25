// The program state a test run uses: the installation is the build tree, as if the executable
// ran from its bin/ folder, so the device library and description files are found there.
#pragma once

#include "fakes/testenvironment.h"
#include "loader/programstate.h"
#include "target/targetinterface.h"

#include <functional>
#include <memory>

// A state of its own for one test.
class TestState : public zim::loader::ProgramState
{
public:
    TestState() : zim::loader::ProgramState(testExecutablePath()) {}
};

// Makes the registry row of className create targets with create instead, leaving the other
// rows as they are.
inline void replaceTarget(zim::loader::ProgramState &state, const char *className,
                          std::function<std::unique_ptr<zim::target::TargetInterface>()> create)
{
    QList<zim::target::TargetRegistryEntry> rows = state.targetFactory().entries();
    for (zim::target::TargetRegistryEntry &row : rows)
        if (QLatin1String(row.className) == QLatin1String(className))
            row.create = create;
    state.targetFactory() = zim::target::TargetInterfaceFactory(rows);
}
