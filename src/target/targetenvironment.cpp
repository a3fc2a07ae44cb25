// What a target reads from the run it belongs to.
#include "target/targetenvironment.h"

namespace zim::target {

TargetEnvironment::TargetEnvironment(const QString &programPath)
    : m_settings(programPath),
      m_projectSystem(m_settings.macros()),
      m_buildSystem(m_projectSystem, m_settings),
      m_hardwareMultiplier(QStringLiteral("Yes"))
{
    m_buildSystem.setDescriptionFiles(QStringLiteral("$(VeltDir)/targets/MSP430F449.xml"),
                                      QStringLiteral("$(VeltDir)/targets/section_placement.xml"));
}

TargetEnvironment::~TargetEnvironment() = default;

platform::DeviceAccess &TargetEnvironment::deviceAccess()
{
    if (m_deviceAccess)
        return *m_deviceAccess;
    if (!m_realDevices)
        m_realDevices = std::make_unique<platform::DeviceAccess>();
    return *m_realDevices;
}

} // namespace zim::target
