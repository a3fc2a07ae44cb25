// The program-wide state of one run.
#include "target/programstate.h"

ProgramState::ProgramState(const QString &programPath)
    : m_settings(programPath), m_hardwareMultiplier(QStringLiteral("Yes"))
{
}

ProgramState::~ProgramState()
{
    // Services may hold libraries or objects that later ones use: undo in reverse order.
    while (!m_services.empty())
        m_services.pop_back();
}
