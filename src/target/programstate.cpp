// The program-wide state of one run.
#include "target/programstate.h"

ProgramState::ProgramState(const QString &executablePath)
    : m_settings(executablePath), m_hardwareMultiplier(QStringLiteral("Yes"))
{
}

ProgramState::~ProgramState()
{
    // Services may hold libraries or objects that later ones use: undo in reverse order.
    while (!m_services.empty())
        m_services.pop_back();
}
