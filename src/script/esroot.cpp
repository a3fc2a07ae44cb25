// ESRoot: a host's protection of one engine object, counted in the context.
#include "script/esroot.h"

#include "script/escontext.h"

#include <utility>

namespace zim::script {

ESRoot::ESRoot(ESContext &context, const ESValue &value) : m_value(value)
{
    if (value.isObject()) {
        m_context = &context;
        context.protect(value.object);
    }
}

ESRoot::ESRoot(ESRoot &&other) noexcept
    : m_context(std::exchange(other.m_context, nullptr)), m_value(std::exchange(other.m_value, ESValue()))
{
}

ESRoot &ESRoot::operator=(ESRoot &&other) noexcept
{
    if (this != &other) {
        release();
        m_context = std::exchange(other.m_context, nullptr);
        m_value = std::exchange(other.m_value, ESValue());
    }
    return *this;
}

void ESRoot::release()
{
    if (m_context)
        m_context->unprotect(m_value.object);
    m_context = nullptr;
    m_value = ESValue();
}

} // namespace zim::script
