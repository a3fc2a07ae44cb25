// TEVO records: the instructions, data and directives that fill the fragments of a section.
#pragma once

#include "tevo/tevoobject.h"

#include <QByteArray>
#include <QString>
#include <cstdint>

namespace zim::tevo {

class TEVOExpr;
class TEVOFilename;
class TEVOFragment;
class TEVOLocus;
class TEVOModule;
class TEVOSection;

// One record. The address is 0xFFFFFFFF when the record has none. Records are linked in the
// order of their fragment; the fields that only processor instructions use live in
// TEVOProcessorInsn, so that the many small data and directive records stay small: a record
// costs 32 bytes before the fields of its class.
class TEVOInsn : public TEVOObject
{
public:
    enum class RecordKind : uint8_t {
        DefBytes, DefAddr, Align, Origin, Fill, Space, Init, Local, LinkIf, EndLinkIf,
        Marker, Locus, Processor,
        // A run of packed constant data records while reading (TEVOPackedData); never seen
        // through a fragment's records.
        Packed
    };
    static constexpr uint32_t noAddress = 0xFFFFFFFF;

    explicit TEVOInsn(RecordKind recordKind) : TEVOObject(Kind::Record), m_recordKind(recordKind) {}

    RecordKind recordKind() const { return m_recordKind; }

    uint32_t address() const { return m_address; }
    void setAddress(uint32_t address) { m_address = address; }
    // The fragment holding the record; null before it is appended. Markers keep theirs; other
    // records find it at the end of their fragment, in time linear in the records after them.
    TEVOFragment *fragment() const;
    TEVOLocus *locus() const { return m_locus; }
    void setLocus(TEVOLocus *locus) { m_locus = locus; }
    // The record after this one in its fragment.
    TEVOInsn *next() const
    {
        if (!(m_link & linkTags))
            return reinterpret_cast<TEVOInsn *>(m_link);
        return (m_link & fragmentTag) ? nullptr : nextAfterUnpacking();
    }

    // Number of bytes the record occupies at its address.
    virtual uint32_t size() = 0;
    // True for the kinds whose size is always 0 (origins, locals, conditional links, markers,
    // source positions), so that walks over many records skip them without a call.
    bool isSizeless() const
    {
        constexpr unsigned sizeless = 1u << unsigned(RecordKind::Origin) | 1u << unsigned(RecordKind::Local)
                                      | 1u << unsigned(RecordKind::LinkIf) | 1u << unsigned(RecordKind::EndLinkIf)
                                      | 1u << unsigned(RecordKind::Marker) | 1u << unsigned(RecordKind::Locus);
        return (sizeless >> unsigned(m_recordKind)) & 1;
    }
    // Byte i (below size()).
    virtual uint8_t byte(uint32_t i) { (void)i; return 0; }
    // Copies bytes 0 .. n-1 to dest; n is the size the caller took from size().
    virtual void copyBytes(uint8_t *dest, uint32_t n);
    // Why the record's bytes cannot be loaded (an expression error, missing instruction
    // bytes), or an empty text.
    virtual QString problem() { return QString(); }

    // The record as a listing line: address, bytes, keyword and operands.
    QByteArray listing();
    // "%04X" of the address (blank when there is none).
    QByteArray addressText() const;
    // "%02X" per byte, with a tab after fewer than four bytes.
    QByteArray bytesText();
    // The keyword and operands.
    virtual QByteArray listingText() = 0;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

    // A byte the record classes keep small fields of their own in; it fills padding.
    uint8_t detail() const { return m_detail; }
    void setDetail(uint8_t detail) { m_detail = detail; }

private:
    friend class TEVOFragment;
    // Set in m_link when it holds the fragment: the record is the last of its fragment.
    static constexpr uintptr_t fragmentTag = 1;
    // Set in m_link when the next record is a run of packed data.
    static constexpr uintptr_t packedTag = 2;
    static constexpr uintptr_t linkTags = fragmentTag | packedTag;

    // Unpacks the run that follows this record and returns its first record.
    TEVOInsn *nextAfterUnpacking() const;

    // Declared first so that they share the padding at the end of TEVOObject.
    RecordKind m_recordKind;
    uint8_t m_detail = 0;
    uint32_t m_address = noAddress;
    TEVOLocus *m_locus = nullptr;
    // The next record, or the fragment with fragmentTag set; 0 before appending.
    uintptr_t m_link = 0;
};

// A processor instruction record: the bytes the linker stored for it (a view of bytes owned by
// the module's pool, SETBYTES) and the debugging and code-generation words the stream gives it.
class TEVOProcessorInsn : public TEVOInsn
{
public:
    TEVOProcessorInsn() : TEVOInsn(RecordKind::Processor) {}

    int32_t stackAdjustment() const { return m_stackAdjustment; }
    void setStackAdjustment(int32_t adjustment) { m_stackAdjustment = adjustment; }
    uint32_t attribute() const { return m_attribute; }
    void setAttribute(uint32_t word) { m_attribute = word; }
    uint32_t instrumentation() const { return m_instrumentation; }
    void setInstrumentation(uint32_t value) { m_instrumentation = value; }
    bool isMarkedInsn() const { return detail() & markedBit; }
    void setMarkedInsn(bool marked) { setDetail(uint8_t(marked ? detail() | markedBit : detail() & ~markedBit)); }

    const uint8_t *storedBytes() const { return m_bytes; }
    uint32_t storedSize() const { return m_byteCount; }
    void setStoredBytes(const uint8_t *bytes, uint32_t count)
    {
        m_bytes = bytes;
        m_byteCount = count;
    }

    uint8_t byte(uint32_t i) override { return i < m_byteCount ? m_bytes[i] : 0; }
    // The stored bytes, zeros past them. Loading takes stored bytes that cover the size as
    // they are and asks problem() only when they fall short.
    void copyBytes(uint8_t *dest, uint32_t n) override;

protected:
    // The bit of the record's detail byte that holds the mark; processor classes keep their
    // own flags in the others.
    static constexpr uint8_t markedBit = 1;

private:
    const uint8_t *m_bytes = nullptr;
    uint32_t m_byteCount = 0;
    int32_t m_stackAdjustment = 0;
    uint32_t m_attribute = 0xFFFFFFFF;
    uint32_t m_instrumentation = 0;
};

// DB, DW, DL: 1 to 4 bytes holding an expression's value. A constant operand is kept as its
// value, without an expression object; an expression is evaluated when its bytes are asked
// for. Size and byte order live in the record's detail byte, so a constant record takes 40
// bytes.
class TEVODefBytesInsn : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    TEVODefBytesInsn(TEVOExpr *expr, uint32_t size, bool bigEndian)
        : TEVODefBytesInsn(RecordKind::DefBytes, expr, size, bigEndian)
    {
    }
    TEVODefBytesInsn(int64_t constant, uint32_t size, bool bigEndian)
        : TEVODefBytesInsn(RecordKind::DefBytes, constant, size, bigEndian)
    {
    }
    // The operand; null when it was a constant.
    TEVOExpr *expr() const { return isConstant() ? nullptr : m_expr; }
    bool isConstant() const { return detail() & constantBit; }
    uint32_t size() override { return detail() & sizeBits; }
    uint8_t byte(uint32_t i) override;
    void copyBytes(uint8_t *dest, uint32_t n) override;
    QString problem() override;
    QByteArray listingText() override;

protected:
    // size is 1 to 4.
    TEVODefBytesInsn(RecordKind kind, TEVOExpr *expr, uint32_t size, bool bigEndian)
        : TEVOInsn(kind), m_expr(expr)
    {
        setDetail(uint8_t((size & sizeBits) | (bigEndian ? bigEndianBit : 0)));
    }
    TEVODefBytesInsn(RecordKind kind, int64_t constant, uint32_t size, bool bigEndian)
        : TEVOInsn(kind), m_constant(constant)
    {
        setDetail(uint8_t((size & sizeBits) | (bigEndian ? bigEndianBit : 0) | constantBit));
    }
    // The operand's listing text.
    QByteArray operandText();
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    static constexpr uint8_t sizeBits = 0x7;
    static constexpr uint8_t bigEndianBit = 0x8;
    static constexpr uint8_t constantBit = 0x10;

    // The bytes as they are loaded: the operand's value, or zeros when it is an error.
    void encode(uint8_t out[4]);

    union {
        TEVOExpr *m_expr;
        int64_t m_constant;   // when isConstant()
    };
};

// DA: an address (2 bytes on MSP430).
class TEVODefAddrInsn : public TEVODefBytesInsn
{
public:
    static constexpr bool ownsNothing = true;
    TEVODefAddrInsn(TEVOExpr *expr, uint32_t size, bool bigEndian)
        : TEVODefBytesInsn(RecordKind::DefAddr, expr, size, bigEndian)
    {
    }
    TEVODefAddrInsn(int64_t constant, uint32_t size, bool bigEndian)
        : TEVODefBytesInsn(RecordKind::DefAddr, constant, size, bigEndian)
    {
    }
    QByteArray listingText() override;
};

// .ALIGN: pads to the next multiple of n; no bytes without an address.
class TEVOAlignInsn : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOAlignInsn(uint32_t n) : TEVOInsn(RecordKind::Align), m_n(n) {}
    uint32_t alignment() const { return m_n; }
    uint32_t size() override;
    uint8_t byte(uint32_t) override { return 0; }
    void copyBytes(uint8_t *dest, uint32_t n) override;
    QByteArray listingText() override;

private:
    uint32_t m_n;
};

// ORG: a new origin; occupies nothing.
class TEVOOriginInsn : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOOriginInsn(uint32_t origin) : TEVOInsn(RecordKind::Origin), m_origin(origin) {}
    uint32_t origin() const { return m_origin; }
    uint32_t size() override { return 0; }
    QByteArray listingText() override;

private:
    uint32_t m_origin;
};

// .FILL: count bytes of the value's low byte.
class TEVOFillInsn : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    TEVOFillInsn(uint32_t count, uint64_t value) : TEVOInsn(RecordKind::Fill), m_count(count), m_value(value) {}
    uint32_t count() const { return m_count; }
    uint64_t value() const { return m_value; }
    uint32_t size() override { return m_count; }
    uint8_t byte(uint32_t) override { return uint8_t(m_value); }
    void copyBytes(uint8_t *dest, uint32_t n) override;
    QByteArray listingText() override;

private:
    uint32_t m_count;
    uint64_t m_value;
};

// .SPACE: as many zero bytes as its expression's value (none when the value is an error or
// does not fit in 32 bits).
class TEVOSpaceInsn : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOSpaceInsn(TEVOExpr *expr) : TEVOInsn(RecordKind::Space), m_expr(expr) {}
    uint32_t size() override;
    uint8_t byte(uint32_t) override { return 0; }
    void copyBytes(uint8_t *dest, uint32_t n) override;
    QString problem() override;
    QByteArray listingText() override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOExpr *m_expr;
    bool m_sized = false;
    uint32_t m_size = 0;
};

// .INIT: a copy of the bytes of another section of the same module, as laid out.
class TEVOInitInsn : public TEVOInsn
{
public:
    TEVOInitInsn(TEVOModule *module, const TEVOString *sectionName)
        : TEVOInsn(RecordKind::Init), m_module(module), m_sectionName(sectionName)
    {
    }
    const TEVOString *sectionName() const { return m_sectionName; }
    // The size of the named section (laid out first); 0 without such a section, and while
    // that section is itself being laid out or copied (a section that initialises from
    // itself, directly or through others). Computed once, so layout and loading agree.
    uint32_t size() override;
    uint8_t byte(uint32_t i) override;
    void copyBytes(uint8_t *dest, uint32_t n) override;
    QByteArray listingText() override;

private:
    const QByteArray &image();

    TEVOModule *m_module;
    const TEVOString *m_sectionName;
    QByteArray m_image;
    uint32_t m_size = 0;
    bool m_sized = false;
    bool m_imageMade = false;
};

// LOCAL: a local definition; occupies nothing.
class TEVOLocalInsn : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOLocalInsn(TEVOExpr *expr) : TEVOInsn(RecordKind::Local), m_expr(expr) {}
    uint32_t size() override { return 0; }
    QByteArray listingText() override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOExpr *m_expr;
};

// LINKIF: the start of a group of records linked only when its expression holds.
class TEVOLinkIf : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOLinkIf(TEVOExpr *expr) : TEVOInsn(RecordKind::LinkIf), m_expr(expr) {}
    uint32_t size() override { return 0; }
    QByteArray listingText() override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOExpr *m_expr;
};

class TEVOEndLinkIf : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    TEVOEndLinkIf() : TEVOInsn(RecordKind::EndLinkIf) {}
    uint32_t size() override { return 0; }
    QByteArray listingText() override { return QByteArrayLiteral("\tENDLINKIF"); }
};

// A numbered label. MARKERREF can make one before MARKERDEF places it, so it may have no
// address and no fragment yet.
class TEVOMarker : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    explicit TEVOMarker(uint32_t number) : TEVOInsn(RecordKind::Marker), m_number(number) {}
    uint32_t number() const { return m_number; }
    bool isPlaced() const { return m_fragment != nullptr; }
    TEVOSection *section() const;
    const TEVOString *name() override { return m_name; }
    void setName(const TEVOString *name) override { m_name = name; }
    uint32_t size() override { return 0; }
    QByteArray listingText() override;

private:
    friend class TEVOInsn;
    friend class TEVOFragment;

    const TEVOString *m_name = nullptr;
    TEVOFragment *m_fragment = nullptr;
    uint32_t m_number;
};

// A source position.
class TEVOLocus : public TEVOInsn
{
public:
    static constexpr bool ownsNothing = true;
    TEVOLocus(TEVOFilename *file, uint32_t line) : TEVOInsn(RecordKind::Locus), m_file(file), m_line(line) {}
    TEVOFilename *file() const { return m_file; }
    uint32_t line() const { return m_line; }
    uint32_t size() override { return 0; }
    QByteArray listingText() override;

protected:
    void appendReferences(std::vector<TEVOObject *> &out) const override;

private:
    TEVOFilename *m_file;
    uint32_t m_line;
};

} // namespace zim::tevo
