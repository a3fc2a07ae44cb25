// ESRoot: keeps one engine object alive for a host while the host holds it, across any
// collection that script code run in the meantime may cause.
#pragma once

#include "script/esvalue.h"

namespace zim::script {

class ESContext;
struct ESObject;

// Protects the object of a value in its context for as long as the root lives (other values need
// no protection: numbers and booleans are copies, and a string a host reads is already text). A
// root must end before its context does. Roots move but do not copy, so that every protection
// has exactly one owner.
class ESRoot
{
public:
    ESRoot() = default;
    ESRoot(ESContext &context, const ESValue &value);
    ~ESRoot() { release(); }
    ESRoot(ESRoot &&other) noexcept;
    ESRoot &operator=(ESRoot &&other) noexcept;
    ESRoot(const ESRoot &) = delete;
    ESRoot &operator=(const ESRoot &) = delete;

    const ESValue &value() const { return m_value; }
    // Ends the protection now; the value is then undefined.
    void release();

private:
    ESContext *m_context = nullptr;
    ESValue m_value;
};

} // namespace zim::script
