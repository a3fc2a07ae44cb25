// Console: the script object that prints script values on the loader's standard output.
#pragma once

#include "script/esqobject.h"

#include <cstdio>

namespace zim::loader {

class Console : public script::ESQObject
{
    Q_OBJECT
public:
    // Member numbers of the script methods after the bridge's own two.
    enum Method { WriteLine = 2 };

    // out is not owned.
    explicit Console(FILE *out, QObject *parent = nullptr);
    script::ESObject *registerObject(script::ESContext &context) override;

    // Writes text and a line feed, flushed at once so that it keeps its place among the
    // progress output.
    static void writeLine(FILE *out, const QString &text);

protected:
    script::ESValue callMethod(script::ESContext &context, int number, int count, script::ESValue *args) override;

private:
    FILE *m_out;
};

} // namespace zim::loader
