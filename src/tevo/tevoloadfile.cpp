// Cutting the loadable sections of a TEVO module into load sections.
#include "tevo/tevoloadfile.h"

#include "common/hexception.h"
#include "tevo/tevoexecutablecache.h"
#include "tevo/tevoinsn.h"
#include "tevo/tevomodule.h"
#include "tevo/tevosection.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace zim::tevo {

namespace {

// memcpy for the few bytes of an instruction, without a call: two overlapping copies of a
// power of two cover any n up to twice its size.
inline void copySmall(uint8_t *dest, const uint8_t *source, uint32_t n)
{
    if (n >= 4 && n <= 8) {
        uint32_t head, tail;
        std::memcpy(&head, source, 4);
        std::memcpy(&tail, source + n - 4, 4);
        std::memcpy(dest, &head, 4);
        std::memcpy(dest + n - 4, &tail, 4);
    } else if (n >= 2 && n < 4) {
        uint16_t head, tail;
        std::memcpy(&head, source, 2);
        std::memcpy(&tail, source + n - 2, 2);
        std::memcpy(dest, &head, 2);
        std::memcpy(dest + n - 2, &tail, 2);
    } else {
        std::memcpy(dest, source, n);
    }
}

// Why the n bytes of a record cannot be loaded at its address, or an empty text. insn is set
// to the record when it is a processor record whose stored bytes cover n: those are loaded as
// they are, and only a processor record with fewer bytes can have a problem.
QString loadProblem(TEVOInsn *record, uint32_t n, const QByteArray &section, TEVOProcessorInsn *&insn)
{
    insn = nullptr;
    const uint32_t r = record->address();
    if (r == TEVOInsn::noAddress)
        return QStringLiteral("bad object file: record without an address in section ") + QString::fromLatin1(section);
    if (uint64_t(r) + n > 0x100000000ull)
        return QStringLiteral("bad object file: %1 bytes at 0x%2 pass the end of the address space")
            .arg(n)
            .arg(r, 4, 16, QLatin1Char('0'));
    if (record->recordKind() == TEVOInsn::RecordKind::Processor) {
        auto *processor = static_cast<TEVOProcessorInsn *>(record);
        if (processor->storedSize() >= n) {
            insn = processor;
            return QString();
        }
        // Says where the instruction is itself.
        return processor->problem();
    }
    // The error of the record's expression, with the record's place. Joined rather than
    // formatted, as the error may quote a symbol name holding "%1".
    const QString problem = record->problem();
    if (problem.isEmpty())
        return problem;
    return QStringLiteral("bad object file: ") + problem + QStringLiteral(" at 0x")
           + QString::number(r, 16).rightJustified(4, QLatin1Char('0')) + QStringLiteral(" in section ")
           + QString::fromLatin1(section);
}

// The size of an INIT record of section, taken once: the size of the section it copies, laid
// out first. The section counts as busy meanwhile, as while it is laid out, so that a copy of
// it (directly or through other sections) is empty whichever of its records sizes it first.
uint32_t initSize(TEVOSection *section, TEVOInsn *record)
{
    const bool wasBusy = section->isBusy();
    section->setBusy(true);
    const uint32_t n = record->size();
    section->setBusy(wasBusy);
    return n;
}

} // namespace

TEVOLoadFile::TEVOLoadFile(const QString &fileName, TEVOExecutableCache &cache) : m_module(cache.load(fileName)) {}

TEVOLoadFile::TEVOLoadFile(std::shared_ptr<TEVOModule> module) : m_module(std::move(module)) {}

TEVOLoadFile::~TEVOLoadFile()
{
    // The sections point into m_buffer; they go first.
    m_sections.primarySections.clear();
    m_sections.secondarySections.clear();
}

uint32_t TEVOLoadFile::startAddress() const
{
    uint32_t lowest = 0xFFFFFFFF;
    bool found = false;
    for (TEVOSection *section : m_module->sections()) {
        if (!section->isLoadable() || section->sectionKind() == TEVOSection::secondSpaceKind)
            continue;
        section->layout();
        const uint32_t start = section->start() == 0xFFFFFFFF ? 0 : section->start();
        lowest = found ? std::min(lowest, start) : start;
        found = true;
    }
    return lowest;
}

bool TEVOLoadFile::readSections()
{
    m_sections.primarySections.clear();
    m_sections.secondarySections.clear();
    cut();
    return true;
}

void TEVOLoadFile::cut()
{
    // A load section found so far; its bytes are at offset in the buffer.
    struct Piece
    {
        loadfile::LoadFileSectionList *list;
        QByteArray name;
        uint32_t start;
        size_t offset;
        uint32_t size;
    };
    std::vector<Piece> pieces;
    std::unique_ptr<uint8_t[]> buffer;
    size_t capacity = 0;
    size_t used = 0;
    uint64_t total = 0;
    // The first record whose bytes cannot be loaded: reported once every record is sized, as
    // the size limit takes precedence over it.
    QString problem;

    for (TEVOSection *section : m_module->sections()) {
        if (!section->isLoadable())
            continue;
        const QByteArray name = nameText(section->name());
        loadfile::LoadFileSectionList &list = section->sectionKind() == TEVOSection::secondSpaceKind
                                        ? m_sections.secondarySections
                                        : m_sections.primarySections;
        uint32_t start = 0xFFFFFFFF;
        uint64_t end = 0;
        // The load section in progress: from address `at`, `size` bytes at `offset`; a is the
        // address after its last byte.
        uint32_t at = 0;
        uint32_t size = 0;
        size_t offset = used;
        uint32_t a = 0;
        for (TEVOFragment *fragment : section->fragments()) {
            for (TEVOInsn *record = fragment->first(); record; record = record->next()) {
                if (record->isSizeless())
                    continue;
                const uint32_t n = record->recordKind() == TEVOInsn::RecordKind::Init ? initSize(section, record)
                                                                                      : record->size();
                if (!n)
                    continue;
                total += n;
                if (total > TEVOSection::maxLoadBytes)
                    throw common::HException(QStringLiteral("bad object file: load sections larger than %1 MB")
                                         .arg(TEVOSection::maxLoadBytes >> 20));
                const uint32_t r = record->address();
                if (r != TEVOInsn::noAddress) {
                    start = std::min(start, r);
                    end = std::max(end, uint64_t(r) + n);
                }
                if (!problem.isEmpty())
                    continue;
                TEVOProcessorInsn *insn;
                problem = loadProblem(record, n, name, insn);
                if (!problem.isEmpty())
                    continue;
                if (r != a || !size) {
                    if (size)
                        pieces.push_back(Piece{&list, name, at, offset, size});
                    at = r;
                    size = 0;
                    offset = used;
                }
                if (used + n > capacity) {
                    capacity = std::max<size_t>({capacity * 2, used + n, 64 * 1024});
                    std::unique_ptr<uint8_t[]> larger(new uint8_t[capacity]);
                    if (used)
                        std::memcpy(larger.get(), buffer.get(), used);
                    buffer = std::move(larger);
                }
                uint8_t *c = buffer.get() + used;
                if (insn)
                    copySmall(c, insn->storedBytes(), n);
                else
                    record->copyBytes(c, n);
                used += n;
                size += n;
                a = r + n;
            }
        }
        if (size)
            pieces.push_back(Piece{&list, name, at, offset, size});
        if (!section->isLaidOut() && !section->isBusy())
            section->setLayout(start, end);
    }
    if (!problem.isEmpty())
        throw common::HException(problem);
    m_buffer = buffer ? std::move(buffer) : std::make_unique<uint8_t[]>(1);
    for (const Piece &piece : pieces)
        piece.list->push_back(std::make_unique<loadfile::StandardLoadFileSection>(piece.name.constData(), piece.start,
                                                                                piece.size, m_buffer.get() + piece.offset));
}

} // namespace zim::tevo
