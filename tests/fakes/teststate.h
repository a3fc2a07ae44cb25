// The program state a test run uses: the installation is the build tree, as if the executable
// ran from its bin/ folder, so the device library and description files are found there.
#pragma once

#include "target/programstate.h"

inline QString testExecutablePath()
{
    return QStringLiteral(ZIM_BINARY_DIR "/bin/zimprog");
}

// A state of its own for one test.
class TestState : public zim::target::ProgramState
{
public:
    TestState() : zim::target::ProgramState(testExecutablePath()) {}
};
