// The program-wide state of one run.
#include "target/programstate.h"

namespace zim::target {

ProgramState::ProgramState(const QString &programPath)
    : m_settings(programPath),
      m_projectSystem(m_settings.macros()),
      m_buildSystem(m_projectSystem, m_settings),
      m_hardwareMultiplier(QStringLiteral("Yes"))
{
    m_buildSystem.setDescriptionFiles(QStringLiteral("$(VeltDir)/targets/MSP430F449.xml"),
                                      QStringLiteral("$(VeltDir)/targets/section_placement.xml"));
}

ProgramState::~ProgramState()
{
    // Services may hold libraries or objects that later ones use: undo in reverse order.
    while (!m_services.empty())
        m_services.pop_back();
}

} // namespace zim::target
