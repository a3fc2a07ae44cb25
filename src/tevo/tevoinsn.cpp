// Sizes, bytes and listing texts of the TEVO records.
#include "tevo/tevoinsn.h"

#include "tevo/tevoexpr.h"
#include "tevo/tevomodule.h"
#include "tevo/tevopackeddata.h"
#include "tevo/tevosection.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace zim::tevo {

namespace {

QByteArray exprText(TEVOExpr *expr)
{
    return expr ? expr->text() : QByteArray();
}

// The low `size` bytes of value, least significant first unless bigEndian.
void encodeValue(uint8_t *out, uint32_t size, int64_t value, bool bigEndian)
{
    for (uint32_t i = 0; i < size; ++i) {
        const uint8_t b = uint8_t(uint64_t(value) >> (8 * i));
        out[bigEndian ? size - 1 - i : i] = b;
    }
}

} // namespace

TEVOFragment *TEVOInsn::fragment() const
{
    if (m_recordKind == RecordKind::Marker)
        return static_cast<const TEVOMarker *>(this)->m_fragment;
    const TEVOInsn *record = this;
    while (record->m_link && !(record->m_link & fragmentTag))
        record = reinterpret_cast<const TEVOInsn *>(record->m_link & ~packedTag);
    return reinterpret_cast<TEVOFragment *>(record->m_link & ~fragmentTag);
}

TEVOInsn *TEVOInsn::nextAfterUnpacking() const
{
    reinterpret_cast<const TEVOPackedData *>(m_link & ~packedTag)->owner()->unpack();
    return next();
}

void TEVOInsn::copyBytes(uint8_t *dest, uint32_t n)
{
    for (uint32_t i = 0; i < n; ++i)
        dest[i] = byte(i);
}

void TEVOProcessorInsn::copyBytes(uint8_t *dest, uint32_t n)
{
    const uint32_t have = std::min(n, m_byteCount);
    if (have)
        std::memcpy(dest, m_bytes, have);
    if (n > have)
        std::memset(dest + have, 0, n - have);
}

QByteArray TEVOInsn::addressText() const
{
    if (m_address == noAddress)
        return QByteArray();
    char text[16];
    std::snprintf(text, sizeof text, "%04X", unsigned(m_address));
    return QByteArray(text);
}

QByteArray TEVOInsn::bytesText()
{
    QByteArray text;
    const uint32_t n = size();
    char hex[4];
    for (uint32_t i = 0; i < n && i < 8; ++i) {
        std::snprintf(hex, sizeof hex, "%02X", unsigned(byte(i)));
        text += hex;
    }
    if (n < 4)
        text += '\t';
    return text;
}

QByteArray TEVOInsn::listing()
{
    return addressText() + '\t' + bytesText() + listingText();
}

void TEVOInsn::appendReferences(std::vector<TEVOObject *> &out) const
{
    out.push_back(m_locus);
}

// Data ----------------------------------------------------------------------------------

void TEVODefBytesInsn::encode(uint8_t out[4])
{
    const uint32_t n = size();
    const bool bigEndian = detail() & bigEndianBit;
    if (isConstant()) {
        encodeValue(out, n, m_constant, bigEndian);
        return;
    }
    const TEVOValue v = m_expr->evaluate();
    if (v.error)
        std::memset(out, 0, 4);
    else
        encodeValue(out, n, v.value, bigEndian);
}

uint8_t TEVODefBytesInsn::byte(uint32_t i)
{
    uint8_t value[4] = {};
    encode(value);
    return i < size() ? value[i] : 0;
}

void TEVODefBytesInsn::copyBytes(uint8_t *dest, uint32_t n)
{
    uint8_t value[4] = {};
    encode(value);
    const uint32_t have = std::min<uint32_t>(n, size());
    std::memcpy(dest, value, have);
    if (n > have)
        std::memset(dest + have, 0, n - have);
}

QString TEVODefBytesInsn::problem()
{
    if (isConstant())
        return QString();
    const TEVOValue v = m_expr->evaluate();
    return v.error ? v.message : QString();
}

QByteArray TEVODefBytesInsn::operandText()
{
    return isConstant() ? TEVOConstExpr(m_constant).text() : exprText(m_expr);
}

QByteArray TEVODefBytesInsn::listingText()
{
    switch (size()) {
    case 1: return "\tDB\t" + operandText();
    case 2: return "\tDW\t" + operandText();
    case 4: return "\tDL\t" + operandText();
    default: return "\tDC" + QByteArray::number(size()) + '\t' + operandText();
    }
}

void TEVODefBytesInsn::appendReferences(std::vector<TEVOObject *> &out) const
{
    TEVOInsn::appendReferences(out);
    if (!isConstant())
        out.push_back(m_expr);
}

QByteArray TEVODefAddrInsn::listingText()
{
    return "\tDA\t" + operandText();
}

// Directives ----------------------------------------------------------------------------

uint32_t TEVOAlignInsn::size()
{
    if (address() == noAddress || m_n == 0)
        return 0;
    const uint32_t rest = address() % m_n;
    return rest ? m_n - rest : 0;
}

void TEVOAlignInsn::copyBytes(uint8_t *dest, uint32_t n)
{
    std::memset(dest, 0, n);
}

QByteArray TEVOAlignInsn::listingText()
{
    return "\t.ALIGN\tBYTE[" + QByteArray::number(m_n) + ']';
}

QByteArray TEVOOriginInsn::listingText()
{
    return "\tORG\t" + QByteArray::number(m_origin);
}

void TEVOFillInsn::copyBytes(uint8_t *dest, uint32_t n)
{
    std::memset(dest, uint8_t(m_value), n);
}

QByteArray TEVOFillInsn::listingText()
{
    return "\t.FILL\t" + QByteArray::number(m_count) + ", " + QByteArray::number(qlonglong(m_value));
}

uint32_t TEVOSpaceInsn::size()
{
    if (!m_sized) {
        m_sized = true;
        const TEVOValue v = m_expr->evaluate();
        m_size = (!v.error && v.value >= 0 && v.value <= 0xFFFFFFFFll) ? uint32_t(v.value) : 0;
    }
    return m_size;
}

void TEVOSpaceInsn::copyBytes(uint8_t *dest, uint32_t n)
{
    std::memset(dest, 0, n);
}

QString TEVOSpaceInsn::problem()
{
    const TEVOValue v = m_expr->evaluate();
    if (v.error)
        return v.message;
    if (v.value < 0 || v.value > 0xFFFFFFFFll)
        return QStringLiteral(".SPACE of %1 bytes").arg(v.value);
    return QString();
}

QByteArray TEVOSpaceInsn::listingText()
{
    return "\t.SPACE\t" + exprText(m_expr);
}

void TEVOSpaceInsn::appendReferences(std::vector<TEVOObject *> &out) const
{
    TEVOInsn::appendReferences(out);
    out.push_back(m_expr);
}

// Initialisation records ----------------------------------------------------------------

namespace {

// Layouts nested through INIT records beyond this depth see an empty section.
constexpr int maxInitDepth = 16;

} // namespace

uint32_t TEVOInitInsn::size()
{
    if (m_sized)
        return m_size;
    m_sized = true;
    TEVOSection *section = m_module->findSection(m_sectionName->bytes());
    if (!section || section->isBusy() || m_module->layoutDepth() >= maxInitDepth)
        return m_size;
    m_module->enterLayout();
    section->layout();
    m_module->leaveLayout();
    if (section->end() > section->start()) {
        const uint64_t span = section->end() - section->start();
        m_size = span > 0xFFFFFFFFu ? 0xFFFFFFFFu : uint32_t(span);
    }
    return m_size;
}

const QByteArray &TEVOInitInsn::image()
{
    if (m_imageMade)
        return m_image;
    const uint32_t n = size();
    TEVOSection *section = m_module->findSection(m_sectionName->bytes());
    if (!n || n > TEVOSection::maxLoadBytes || !section || section->isBusy()
        || m_module->layoutDepth() >= maxInitDepth)
        return m_image;
    m_imageMade = true;
    m_image = QByteArray(qsizetype(n), '\0');
    section->setBusy(true);
    m_module->enterLayout();
    QByteArray recordBytes;
    for (TEVOFragment *fragment : section->fragments()) {
        for (TEVOInsn *record = fragment->first(); record; record = record->next()) {
            const uint32_t size = record->size();
            if (!size || record->address() == noAddress || record->address() < section->start())
                continue;
            const uint64_t offset = record->address() - section->start();
            if (offset + size > n)
                continue;
            record->copyBytes(reinterpret_cast<uint8_t *>(m_image.data()) + offset, size);
        }
    }
    m_module->leaveLayout();
    section->setBusy(false);
    return m_image;
}

uint8_t TEVOInitInsn::byte(uint32_t i)
{
    const QByteArray &bytes = image();
    return i < uint32_t(bytes.size()) ? uint8_t(bytes.at(i)) : 0;
}

void TEVOInitInsn::copyBytes(uint8_t *dest, uint32_t n)
{
    const QByteArray &bytes = image();
    const uint32_t have = std::min<uint32_t>(n, uint32_t(bytes.size()));
    if (have)
        std::memcpy(dest, bytes.constData(), have);
    if (n > have)
        std::memset(dest + have, 0, n - have);
}

QByteArray TEVOInitInsn::listingText()
{
    return "\t.INIT\t\"" + m_sectionName->bytes() + '"';
}

// Records without bytes -----------------------------------------------------------------

QByteArray TEVOLocalInsn::listingText()
{
    return "\tLOCAL\t" + exprText(m_expr) + (address() != noAddress ? " @ " + addressText() : QByteArray());
}

void TEVOLocalInsn::appendReferences(std::vector<TEVOObject *> &out) const
{
    TEVOInsn::appendReferences(out);
    out.push_back(m_expr);
}

QByteArray TEVOLinkIf::listingText()
{
    return "\tLINKIF\t" + exprText(m_expr);
}

void TEVOLinkIf::appendReferences(std::vector<TEVOObject *> &out) const
{
    TEVOInsn::appendReferences(out);
    out.push_back(m_expr);
}

TEVOSection *TEVOMarker::section() const
{
    return m_fragment ? m_fragment->section() : nullptr;
}

QByteArray TEVOMarker::listingText()
{
    return (name() ? nameText(name()) : "L" + QByteArray::number(m_number)) + ':';
}

QByteArray TEVOLocus::listingText()
{
    return "\t; " + nameText(m_file ? m_file->name() : nullptr) + ':' + QByteArray::number(m_line);
}

void TEVOLocus::appendReferences(std::vector<TEVOObject *> &out) const
{
    TEVOInsn::appendReferences(out);
    out.push_back(m_file);
}

} // namespace zim::tevo
