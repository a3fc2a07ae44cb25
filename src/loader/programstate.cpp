// The composition of the program: the target rows, each given by the folder that builds the
// target, over this run's environment.
#include "loader/programstate.h"

#include "msp430/msp430parallelportfettargetinterface.h"
#include "msp430/msp430usbvexlinktargetinterface.h"
#include "msp430/vendorlibrarytarget.h"
#include "simulator/simulatorregistration.h"
#include "target/targetinterface.h"

namespace zim::loader {

ProgramState::ProgramState(const QString &programPath)
    : target::TargetEnvironment(programPath), m_deviceLibrary(environmentMacros())
{
    // Listed in this order by -listtargets and the usage text.
    m_targetFactory = target::TargetInterfaceFactory({
        simulator::simulatorTarget(*this, m_deviceLibrary),
        msp430::parallelPortFetTarget(*this, m_deviceLibrary),
        msp430::usbVexlinkTarget(*this, m_deviceLibrary),
        msp430::vendorLibraryTarget(*this),
    });
}

ProgramState::~ProgramState() = default;

} // namespace zim::loader
