// The target environment a test uses: the installation is the build tree, as if the
// executable ran from its bin/ folder, so description files are found there.
#pragma once

#include "target/targetenvironment.h"

inline QString testExecutablePath()
{
    return QStringLiteral(ZIM_BINARY_DIR "/bin/zimprog");
}

class TestEnvironment : public zim::target::TargetEnvironment
{
public:
    TestEnvironment() : zim::target::TargetEnvironment(testExecutablePath()) {}
};
