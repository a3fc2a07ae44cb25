// ESQObject: a toolkit object published to scripts under its class name, with SetProperty and
// GetProperty reaching its properties by name; derived hosts add their own methods.
#pragma once

#include "script/esclass.h"
#include "script/escontext.h"

#include <QObject>

namespace zim::script {

class ESQObject : public QObject, public ESClass
{
    Q_OBJECT
public:
    explicit ESQObject(QObject *parent = nullptr);

    // Makes the script object, puts it on the global object under the class name (not
    // enumerable) and adds the methods. Derived classes call this and then addMethod.
    virtual ESObject *registerObject(ESContext &context);
    // The class name without namespace qualification.
    static const char *scriptName(const QMetaObject *meta);

    void call(ESContext &context, ESObject *function, const ESValue &thisValue, int count, ESValue *args) override;

    // The property write and read of the bridge; failures are HExceptions.
    static void setProperty(ESContext &context, QObject *object, const QString &name, const ESValue &value);
    static ESValue getProperty(ESContext &context, QObject *object, const QString &name);

protected:
    // Handles one member number; the base knows 0 (SetProperty) and 1 (GetProperty).
    virtual ESValue callMethod(ESContext &context, int number, int count, ESValue *args);
    ESObject *addMethod(ESContext &context, ESObject *holder, const char *name, int arity, int number);
};

} // namespace zim::script
