// ScriptSystem: the context whose keep-running hook reads the stop request, and the reporting
// of uncaught script exceptions.
#include "script/scriptsystem.h"

#include "common/hexception.h"

namespace zim::script {

class ScriptSystem::Context : public ESContext
{
public:
    explicit Context(ScriptSystem &system) : m_system(system) {}
    bool keepRunning() override { return !m_system.stopRequested(); }

private:
    ScriptSystem &m_system;
};

ScriptSystem::ScriptSystem(QObject *parent) : QObject(parent), m_context(std::make_unique<Context>(*this))
{
}

ScriptSystem::~ScriptSystem() = default;

bool ScriptSystem::stopRequested() const
{
    return m_stopRequested;
}

void ScriptSystem::requestStop()
{
    m_stopRequested = true;
    m_context->stopRequested = true;
}

void ScriptSystem::clearStop()
{
    m_stopRequested = false;
    m_context->stopRequested = false;
}

void ScriptSystem::evaluate(const QString &text, const QString &)
{
    const ESEvaluation result = m_context->evaluate(text);
    if (result.status == ESEvaluation::Thrown)
        throw zim::common::HException(result.message);
}

} // namespace zim::script
