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

} // namespace zim::target
