// Console: the script object that prints script values on the loader's standard output.
#pragma once

#include "loader/consoleoutput.h"
#include "script/esqobject.h"

namespace zim::loader {

class Console : public script::ESQObject
{
    Q_OBJECT
public:
    // Member numbers of the script methods after the bridge's own two.
    enum Method { WriteLine = 2 };

    // out is not owned.
    explicit Console(ConsoleOutput &out, QObject *parent = nullptr);
    script::ESObject *registerObject(script::ESContext &context) override;

protected:
    script::ESValue callMethod(script::ESContext &context, int number, int count, script::ESValue *args) override;

private:
    ConsoleOutput &m_out;
};

} // namespace zim::loader
