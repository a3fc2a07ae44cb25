// A TEVO symbol: a name with a defining expression and the attributes its values carry.
#pragma once

#include "tevo/tevoobject.h"

#include <cstdint>

namespace zim::tevo {

class TEVOExpr;
class TEVOFilename;
class TEVOScope;

class TEVOSymbol : public TEVONamedObject
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOSymbol(const TEVOString *name) : TEVONamedObject(Kind::Symbol, name) {}

    TEVOExpr *definition() const { return m_definition; }
    void setDefinition(TEVOExpr *definition) { m_definition = definition; }

    // Copied into every value computed from the symbol.
    uint32_t attribute() const { return m_attribute; }
    bool flag1() const { return m_flag1; }
    bool flag2() const { return m_flag2; }
    void setAttributes(uint32_t word, bool flag1, bool flag2)
    {
        m_attribute = word;
        m_flag1 = flag1;
        m_flag2 = flag2;
    }

    bool isPublic() const { return m_public; }
    void setPublic(bool isPublic) { m_public = isPublic; }
    bool isPatchable() const { return m_patchable; }
    void setPatchable(bool patchable) { m_patchable = patchable; }

    TEVOScope *scope() const { return m_scope; }
    void setScope(TEVOScope *scope) { m_scope = scope; }
    TEVOScope *functionScope() const { return m_functionScope; }
    void setFunctionScope(TEVOScope *scope) { m_functionScope = scope; }

    TEVOFilename *file() const { return m_file; }
    uint32_t line() const { return m_line; }
    void setLocus(TEVOFilename *file, uint32_t line)
    {
        m_file = file;
        m_line = line;
    }

    // Set while the symbol's value is being computed, to find circular definitions.
    bool isEvaluating() const { return m_evaluating; }
    void setEvaluating(bool evaluating) { m_evaluating = evaluating; }

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOExpr *m_definition = nullptr;
    TEVOScope *m_scope = nullptr;
    TEVOScope *m_functionScope = nullptr;
    TEVOFilename *m_file = nullptr;
    uint32_t m_line = 0;
    uint32_t m_attribute = 0xFFFFFFFF;
    bool m_flag1 = false;
    bool m_flag2 = false;
    bool m_public = false;
    bool m_patchable = false;
    bool m_evaluating = false;
};

} // namespace zim::tevo
