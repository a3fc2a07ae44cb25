// TEVO scopes: blocks, functions and modules, each with an address range and its symbols.
#pragma once

#include "tevo/tevoobject.h"

#include <vector>

namespace zim::tevo {

class TEVOExpr;
class TEVOSymbol;

class TEVOScope : public TEVONamedObject
{
public:
    enum class ScopeKind : uint8_t { Block, Function, Module };

    explicit TEVOScope(ScopeKind scopeKind) : TEVONamedObject(Kind::Scope), m_scopeKind(scopeKind) {}

    ScopeKind scopeKind() const { return m_scopeKind; }
    TEVOScope *parent() const { return m_parent; }
    TEVOExpr *low() const { return m_low; }
    TEVOExpr *high() const { return m_high; }
    void setRange(TEVOScope *parent, TEVOExpr *low, TEVOExpr *high)
    {
        m_parent = parent;
        m_low = low;
        m_high = high;
    }

    const std::vector<TEVOSymbol *> &symbols() const { return m_symbols; }
    void addSymbol(TEVOSymbol *symbol) { m_symbols.push_back(symbol); }

    TEVOSymbol *functionSymbol() const { return m_functionSymbol; }
    void setFunctionSymbol(TEVOSymbol *symbol) { m_functionSymbol = symbol; }

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOScope *m_parent = nullptr;
    TEVOExpr *m_low = nullptr;
    TEVOExpr *m_high = nullptr;
    TEVOSymbol *m_functionSymbol = nullptr;
    std::vector<TEVOSymbol *> m_symbols;
    ScopeKind m_scopeKind;
};

} // namespace zim::tevo
