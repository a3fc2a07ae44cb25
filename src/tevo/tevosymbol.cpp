// References of a symbol, for marking.
#include "tevo/tevosymbol.h"

#include "tevo/tevoexpr.h"
#include "tevo/tevoscope.h"

namespace zim::tevo {

void TEVOSymbol::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_definition);
    out.push_back(m_functionScope);
    out.push_back(m_file);
}

} // namespace zim::tevo
