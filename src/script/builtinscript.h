// BuiltinScript: the "Script" object of self-contained scripts (also reachable as "WScript"),
// with Echo and the Arguments array.
#pragma once

#include "script/esclass.h"
#include "script/escontext.h"

#include <QStringList>
#include <functional>

namespace zim::script {

class BuiltinScript : public ESClass
{
public:
    // echo receives the text of each Echo call.
    explicit BuiltinScript(std::function<void(const QString &)> echo);

    // Puts Script and WScript on the global object, with Echo and Arguments.
    void setUp(ESContext &context, const QStringList &arguments);
    void call(ESContext &context, ESObject *function, const ESValue &thisValue, int count, ESValue *args) override;

private:
    std::function<void(const QString &)> m_echo;
};

} // namespace zim::script
