// The TEVO module: the outermost scope, its sections, tables and the pool all its objects
// come from.
#pragma once

#include "tevo/tevopool.h"
#include "tevo/tevoscope.h"

#include <QByteArray>
#include <QHash>
#include <vector>

namespace zim::tevo {

class TEVOMarker;
class TEVOMarkerExpr;
class TEVOSection;
class TEVOString;
class TEVOSymbol;
class TEVOType;

class TEVOModule : public TEVOScope
{
public:
    TEVOModule();
    ~TEVOModule() override;

    TEVOPool &pool() { return m_pool; }

    // The processor the module was read for ("MSP430"); data records encode little-endian
    // for it.
    const char *processor() const { return m_processor; }
    bool isBigEndian() const { return m_bigEndian; }
    void setProcessor(const char *name, bool bigEndian)
    {
        m_processor = name;
        m_bigEndian = bigEndian;
    }

    // Sections in creation order.
    const std::vector<TEVOSection *> &sections() const { return m_sections; }
    TEVOSection *findSection(const QByteArray &name) const { return m_sectionsByName.value(name); }
    // The section of that name, made (and appended) when there is none.
    TEVOSection *section(const TEVOString *name);

    // All symbols made by MKSYMBOL, in order.
    const std::vector<TEVOSymbol *> &allSymbols() const { return m_allSymbols; }
    void addToSymbolList(TEVOSymbol *symbol) { m_allSymbols.push_back(symbol); }
    const QHash<QByteArray, TEVOSymbol *> &publicSymbols() const { return m_publicSymbols; }
    void addPublic(TEVOSymbol *symbol);

    QHash<uint32_t, TEVOObject *> &aliases() { return m_aliases; }
    // Marker n, made when it does not exist yet.
    TEVOMarker *marker(uint32_t number);
    // Marker n for MARKERDEF to place: when n is placed already, a new marker n (with the old
    // one's name) takes its place in the table, so that a record is in one fragment only and
    // references see the last definition.
    TEVOMarker *markerToPlace(uint32_t number);
    const QHash<uint32_t, TEVOMarker *> &markers() const { return m_markers; }
    void addMarkerExpr(TEVOMarkerExpr *expr) { m_markerExprs.push_back(expr); }
    // Binds every marker expression to its marker, as the reader does at the end.
    void bindMarkers();

    const std::vector<const TEVOString *> &libraries() const { return m_libraries; }
    void addLibrary(const TEVOString *name) { m_libraries.push_back(name); }
    // One value per name object.
    const QHash<const TEVOString *, const TEVOString *> &attributes() const { return m_attributes; }
    void setAttribute(const TEVOString *name, const TEVOString *value) { m_attributes.insert(name, value); }

    // The type SETTYPE gave an object, if any; kept here since few objects have one.
    TEVOType *typeOf(TEVOObject *object) const { return m_types.value(object); }
    void setTypeOf(TEVOObject *object, TEVOType *type) { m_types.insert(object, type); }

    bool isProtected() const { return m_protected; }
    void setProtected(bool isProtected) { m_protected = isProtected; }

    // Nesting of section layouts through INIT records; the records give up beyond a limit.
    int layoutDepth() const { return m_layoutDepth; }
    void enterLayout() { ++m_layoutDepth; }
    void leaveLayout() { --m_layoutDepth; }

private:
    // Declared first so that it is destroyed after the tables that point into it.
    TEVOPool m_pool;
    const char *m_processor = "";
    bool m_bigEndian = false;
    bool m_protected = false;
    int m_layoutDepth = 0;
    std::vector<TEVOSection *> m_sections;
    QHash<QByteArray, TEVOSection *> m_sectionsByName;
    std::vector<TEVOSymbol *> m_allSymbols;
    QHash<QByteArray, TEVOSymbol *> m_publicSymbols;
    QHash<uint32_t, TEVOObject *> m_aliases;
    QHash<uint32_t, TEVOMarker *> m_markers;
    std::vector<TEVOMarkerExpr *> m_markerExprs;
    std::vector<const TEVOString *> m_libraries;
    QHash<const TEVOString *, const TEVOString *> m_attributes;
    QHash<TEVOObject *, TEVOType *> m_types;
};

} // namespace zim::tevo
