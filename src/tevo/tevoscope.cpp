// References of a scope, for marking.
#include "tevo/tevoscope.h"

#include "tevo/tevoexpr.h"
#include "tevo/tevosymbol.h"

namespace zim::tevo {

void TEVOScope::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_parent);
    out.push_back(m_low);
    out.push_back(m_high);
    out.insert(out.end(), m_symbols.begin(), m_symbols.end());
}

} // namespace zim::tevo
