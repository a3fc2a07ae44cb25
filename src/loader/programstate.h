// ProgramState: where the program is composed. The objects one run of the loader shares from
// start-up to exit: the targets' environment, the load-file factory, the device database
// library and the target registry with one row per target, in listing order. The entry makes
// one; tests make their own.
#pragma once

#include "loadfile/loadfilefactory.h"
#include "msp430/msp430devices.h"
#include "target/targetenvironment.h"
#include "target/targetregistry.h"

#include <QString>

namespace zim::loader {

class ProgramState : public target::TargetEnvironment
{
public:
    explicit ProgramState(const QString &programPath);
    ~ProgramState();

    loadfile::TEVOLoadFileFactory &loadFileFactory() { return m_loadFileFactory; }
    msp430::MSP430DeviceLibrary &deviceLibrary() { return m_deviceLibrary; }
    // The registry the loader makes targets from; a test may replace it with rows of its own.
    target::TargetInterfaceFactory &targetFactory() { return m_targetFactory; }

private:
    loadfile::TEVOLoadFileFactory m_loadFileFactory;
    msp430::MSP430DeviceLibrary m_deviceLibrary;
    target::TargetInterfaceFactory m_targetFactory;
};

} // namespace zim::loader
