// ScriptSystem: owns a script context, evaluates texts in it and turns script failures into
// HExceptions; requestStop ends a running evaluation at its next loop or call.
#pragma once

#include "script/escontext.h"

#include <QObject>
#include <memory>

namespace zim::script {

class ScriptSystem : public QObject
{
    Q_OBJECT
public:
    explicit ScriptSystem(QObject *parent = nullptr);
    ~ScriptSystem() override;

    ESContext &context() { return *m_context; }

    // Runs the text. An uncaught Error object fails with its message, any other thrown value
    // with "uncaught exception - " and its string form; engine faults pass on as ESFatalError.
    // name says where the text came from; it is not used by the engine.
    virtual void evaluate(const QString &text, const QString &name = QString());
    // A flag that derived systems may set; false here.
    virtual bool flag() const { return false; }
    virtual bool stopRequested() const;

public Q_SLOTS:
    virtual void requestStop();

protected:
    // Clears a stop request before a new evaluation.
    void clearStop();

private:
    class Context;
    std::unique_ptr<ESContext> m_context;
    volatile bool m_stopRequested = false;
};

} // namespace zim::script
