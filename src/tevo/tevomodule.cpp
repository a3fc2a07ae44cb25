// Tables of the TEVO module.
#include "tevo/tevomodule.h"

#include "tevo/tevoexpr.h"
#include "tevo/tevoinsn.h"
#include "tevo/tevosection.h"
#include "tevo/tevosymbol.h"

namespace zim::tevo {

TEVOModule::TEVOModule() : TEVOScope(ScopeKind::Module) {}

TEVOModule::~TEVOModule() = default;

TEVOSection *TEVOModule::section(const TEVOString *name)
{
    const QByteArray key = name->bytes();
    if (TEVOSection *found = m_sectionsByName.value(key))
        return found;
    TEVOSection *made = m_pool.make<TEVOSection>(this, name);
    m_sections.push_back(made);
    m_sectionsByName.insert(key, made);
    return made;
}

void TEVOModule::addPublic(TEVOSymbol *symbol)
{
    symbol->setPublic(true);
    m_publicSymbols.insert(nameText(symbol->name()), symbol);
}

TEVOMarker *TEVOModule::marker(uint32_t number)
{
    if (TEVOMarker *found = m_markers.value(number))
        return found;
    TEVOMarker *made = m_pool.make<TEVOMarker>(number);
    m_markers.insert(number, made);
    return made;
}

TEVOMarker *TEVOModule::markerToPlace(uint32_t number)
{
    TEVOMarker *found = marker(number);
    if (!found->isPlaced())
        return found;
    TEVOMarker *made = m_pool.make<TEVOMarker>(number);
    made->setName(found->name());
    m_markers.insert(number, made);
    return made;
}

void TEVOModule::bindMarkers()
{
    for (TEVOMarkerExpr *expr : m_markerExprs)
        expr->bind(m_markers.value(expr->marker()->number(), expr->marker()));
}

} // namespace zim::tevo
