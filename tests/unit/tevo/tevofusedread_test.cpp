// The reader's one-step sequences and packed data: the module they build is the one the
// opcode-by-opcode path builds (with the trace on, which takes that path), in memory and through
// the file window at any cut, and every error keeps its message.
#include "loadfile/hbytestream.h"
#include "tevo/tevoinsn.h"
#include "tevo/tevoloadfile.h"
#include "tevo/tevomodule.h"
#include "tevo/tevomsp430reader.h"
#include "tevo/tevoreader.h"
#include "tevo/tevosection.h"
#include "unit/tevo/tevotestutil.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <gtest/gtest.h>

namespace zim::tevo {
namespace {

using Op = zim::tevo::TEVOOpcode;

// Everything a module says about its records, one line per record.
QByteArray dump(zim::tevo::TEVOModule &module)
{
    QByteArray text;
    for (zim::tevo::TEVOSection *section : module.sections()) {
        text += "section " + nameText(section->name()) + ' ' + QByteArray::number(section->flags(), 16) + '\n';
        for (zim::tevo::TEVOFragment *fragment : section->fragments()) {
            text += "fragment " + QByteArray::number(qulonglong(fragment->count())) + '\n';
            for (zim::tevo::TEVOInsn *record : fragment->records()) {
                EXPECT_NE(record->recordKind(), zim::tevo::TEVOInsn::RecordKind::Packed);
                EXPECT_EQ(record->fragment(), fragment);
                text += QByteArray::number(int(record->recordKind())) + ' ' + record->listing();
                if (zim::tevo::TEVOLocus *locus = record->locus())
                    text += " @" + nameText(locus->file()->name()) + ':' + QByteArray::number(locus->line());
                text += '\n';
            }
        }
    }
    return text;
}

// The dump of a stream read from memory, or its message.
QByteArray readFromMemory(const QByteArray &stream, bool trace)
{
    zim::loadfile::HByteStream input;
    input.write(reinterpret_cast<const uint8_t *>(stream.constData()), size_t(stream.size()));
    QTemporaryFile out;
    if (!out.open())
        return "cannot open trace file";
    FILE *f = fdopen(dup(out.handle()), "w");
    zim::tevo::TEVOMSP430Reader reader(input, true);
    QByteArray result;
    try {
        result = dump(*reader.readModule(trace, f));
    } catch (const zim::common::HException &e) {
        result = "error: " + e.message().toUtf8();
    }
    fclose(f);
    return result;
}

// The dump of a stream read through the file window, or its message.
QByteArray readFromFile(const QByteArray &stream)
{
    QTemporaryFile file;
    if (!file.open() || file.write(stream) != stream.size() || !file.seek(0))
        return "cannot write stream file";
    zim::tevo::TEVOMSP430Reader reader(file, true);
    try {
        return dump(*reader.readModule(false));
    } catch (const zim::common::HException &e) {
        return "error: " + e.message().toUtf8();
    }
}

QByteArray inSection(const std::function<void(zim::tevo::TEVOWriter &)> &body)
{
    return moduleStream([&](zim::tevo::TEVOWriter &w) {
        w.string("DATA");
        w.op(Op::MKSECTION);
        w.op(Op::SECTION);
        body(w);
    });
}

void data(zim::tevo::TEVOWriter &w, uint64_t address, uint64_t value, uint32_t size)
{
    w.constant(address);
    w.op(Op::SETPC);
    w.constant(value);
    w.constant(size);
    w.op(Op::DEFBYTES);
}

void locus(zim::tevo::TEVOWriter &w, const QByteArray &file, uint64_t line)
{
    w.string(file);
    w.op(Op::MKFILENAME);
    w.constant(line);
    w.op(Op::LOCUS);
}

struct StreamCase
{
    const char *name;
    std::function<QByteArray()> stream;
    // Empty when the stream reads; otherwise the reader's message.
    const char *message;
};

void PrintTo(const StreamCase &c, std::ostream *os) { *os << c.name; }

class FusedSequences : public testing::TestWithParam<StreamCase>
{
};

TEST_P(FusedSequences, BuildWhatTheTracedPathBuilds)
{
    const QByteArray stream = GetParam().stream();
    const QByteArray traced = readFromMemory(stream, true);
    if (*GetParam().message)
        EXPECT_EQ(traced, QByteArray("error: ") + GetParam().message);
    else
        EXPECT_FALSE(traced.startsWith("error: ")) << traced.constData();
    EXPECT_EQ(readFromMemory(stream, false), traced);
    EXPECT_EQ(readFromFile(stream), traced);
}

INSTANTIATE_TEST_SUITE_P(
    Reader, FusedSequences,
    testing::Values(
        StreamCase{"DataOfEveryWidthAndSize",
                   [] {
                       return inSection([](zim::tevo::TEVOWriter &w) {
                           uint32_t at = 0x1000;
                           for (uint64_t value : {0ull, 7ull, 8ull, 0xFFull, 0x1234ull, 0xABCDEFull, 0xFFFFFFFFull,
                                                  0x100000000ull, 0x123456789ABCDEFull, ~0ull})
                               for (uint32_t size = 1; size <= 4; ++size, at += size)
                                   data(w, at, value, size);
                           data(w, 3, 0x55, 1);   // an address written as LIT
                       });
                   },
                   ""},
        StreamCase{"ConsecutiveDataBrokenByGapsSizesAndTheEndOfTheAddressSpace",
                   [] {
                       return inSection([](zim::tevo::TEVOWriter &w) {
                           for (uint32_t i = 0; i < 5; ++i)
                               data(w, 0x2000 + 2 * i, 0x1111 * i, 2);
                           data(w, 0x2010, 0x77, 2);          // a gap
                           data(w, 0x2012, 0x88, 1);          // another size
                           data(w, 0x2013, 0x99, 1);
                           data(w, 0x2013, 0xAA, 1);          // the same address again
                           data(w, 0x3000, 0xBB, 4);          // one record, then scattered ones
                           data(w, 0x1000, 0xCC, 4);
                           data(w, 0x1008, 0xDD, 2);
                           for (uint32_t i = 0; i < 3; ++i)
                               data(w, 0xFFFFFFF8u + 4 * i, i, 4);   // the third one wraps
                           data(w, 0x3FFFFFFE, 0x12, 1);      // a scattered run cannot hold the next
                           data(w, 0x40000000, 0x34, 1);
                           data(w, 0x40000004, 0x56, 1);
                       });
                   },
                   ""},
        StreamCase{"ConsecutiveDataWhoseAddressesAndValuesChangeWidth",
                   [] {
                       return inSection([](zim::tevo::TEVOWriter &w) {
                           // Addresses gaining a byte, values alternating between LIT and
                           // LITX of every width, then addresses and values written with
                           // more bytes than they need, and an address of no bytes at all.
                           for (uint32_t start : {0xF0u, 0xFFF0u, 0xFFFFF0u, 0xFFFFFFE0u}) {
                               for (uint32_t i = 0; i < 16; ++i) {
                                   const uint64_t values[] = {i % 8, 0x80 + i, 0x1234, 0xABCDEF, 0xFEDCBA98};
                                   data(w, start + 2 * i, values[i % 5] & 0xFFFF, 2);
                               }
                           }
                           for (uint32_t i = 0; i < 12; ++i) {
                               w.constantBytes(QByteArray::fromHex("000010") + char(i));
                               w.op(Op::SETPC);
                               w.constantBytes(QByteArray(int(i % 4), '\0') + char(0x40 + i));
                               w.constant(1);
                               w.op(Op::DEFBYTES);
                           }
                           for (uint32_t i = 0; i < 3; ++i) {
                               w.constantBytes(QByteArray());
                               w.op(Op::SETPC);
                               w.constant(0x55 + i);
                               w.constant(1);
                               w.op(Op::DEFBYTES);
                           }
                       });
                   },
                   ""},
        StreamCase{"DataAtAddressesBeyondWhatAPackedEntryHolds",
                   [] {
                       return inSection([](zim::tevo::TEVOWriter &w) {
                           data(w, 0x3FFFFFFF, 0x11, 1);
                           data(w, 0x40000000, 0x22, 1);
                           data(w, 0xFFFFFFFF, 0x33, 1);
                           data(w, 0x10, 0x44, 2);
                       });
                   },
                   ""},
        StreamCase{"DataBetweenLociInstructionsBreaksAndSections",
                   [] {
                       zim::tevo::TEVOExecutablePlan plan;
                       for (int s = 0; s < 2; ++s) {
                           QList<zim::tevo::TEVORecordPlan> records;
                           for (uint32_t i = 0; i < 30; ++i) {
                               const uint32_t at = 0x4000 + s * 0x1000 + i * 8;
                               if (i % 5 == 0) {
                                   zim::tevo::TEVORecordPlan l;
                                   l.kind = zim::tevo::TEVORecordPlan::Locus;
                                   l.name = "f" + QByteArray::number(s) + ".c";
                                   l.number = i;
                                   l.address = at;
                                   records.append(l);
                               }
                               if (i % 7 == 3) {
                                   zim::tevo::TEVORecordPlan b;
                                   b.kind = zim::tevo::TEVORecordPlan::Break;
                                   records.append(b);
                               }
                               records.append(i % 4 == 1 ? insnAt(at, "\x31\x40\x00\x44") : dataAt(at, 1 + i % 4, i * 0x01010101u));
                           }
                           plan.sections.append(loadable("S" + QByteArray::number(s), records, s ? 6 : 0));
                       }
                       // The sections again, so that records continue where they stopped.
                       plan.sections.append(loadable("S0", {dataAt(0x9000, 4, 0xDEADBEEF), dataAt(0x9004, 2, 0xCAFE)}));
                       return zim::tevo::writeTEVOExecutable(plan);
                   },
                   ""},
        StreamCase{"DataWhoseOperandIsAnExpression",
                   [] {
                       return inSection([](zim::tevo::TEVOWriter &w) {
                           data(w, 0x200, 0x10, 2);
                           w.constant(0x200);
                           w.op(Op::SETPC);
                           w.constant(0x1233);
                           w.constant(1);
                           w.op(Op::ADD);
                           w.constant(2);
                           w.op(Op::DEFBYTES);
                           data(w, 0x204, 0x20, 2);
                       });
                   },
                   ""},
        StreamCase{"LocusLineAbove32Bits",
                   [] { return inSection([](zim::tevo::TEVOWriter &w) { locus(w, "a.c", 0x100000000ull); }); },
                   "bad object file: operand value error (constant out of range)"},
        StreamCase{"LocusWithoutSection",
                   [] { return moduleStream([](zim::tevo::TEVOWriter &w) { locus(w, "a.c", 1); }); },
                   "bad object file: no defined section"},
        StreamCase{"DataWithoutSection",
                   [] { return moduleStream([](zim::tevo::TEVOWriter &w) { data(w, 0x200, 0x1234, 2); }); },
                   "bad object file: no defined section"},
        StreamCase{"DataOnAFullStack",
                   [] {
                       return inSection([](zim::tevo::TEVOWriter &w) {
                           w.raw(QByteArray(zim::tevo::TEVOReader::maxStack - 1, char(Op::LIT1)));
                           data(w, 0x200, 0x1234, 2);
                       });
                   },
                   "bad object file: reader stack overflow"},
        StreamCase{"AddressOnAFullStack",
                   [] {
                       return inSection([](zim::tevo::TEVOWriter &w) {
                           w.raw(QByteArray(zim::tevo::TEVOReader::maxStack, char(Op::LIT1)));
                           w.constant(0x200);
                           w.op(Op::SETPC);
                       });
                   },
                   "bad object file: reader stack overflow"},
        StreamCase{"DataCutAtTheEndOfTheFile",
                   [] { return inSection([](zim::tevo::TEVOWriter &w) { data(w, 0x200, 0x12345678, 4); }).chopped(4); },
                   "premature end of TEVO file"}),
    [](const testing::TestParamInfo<StreamCase> &info) { return std::string(info.param.name); });

// Data records, loci and instructions cut by the edge of the file window at every offset read
// as they do from memory.
TEST(FusedRead, SequencesCutByTheWindowEdgeReadAsFromMemory)
{
    const QByteArray records = moduleStream([](zim::tevo::TEVOWriter &w) {
        w.string("DATA");
        w.op(Op::MKSECTION);
        w.op(Op::SECTION);
        for (uint32_t i = 0; i < 8; ++i) {
            locus(w, "edge.c", 100 + i);
            data(w, 0x12340 + 4 * i, 0x89ABCDEF - i, 4);
        }
        // A run of one shape, then one whose value is a LIT.
        for (uint32_t i = 0; i < 24; ++i)
            data(w, 0x12360 + 4 * i, i < 16 ? 0x01020304 * (i + 1) : i % 8, 4);
    });
    // The pool and the module scope come first; NOPs before the records move them across the
    // edge of the first 64 KB window.
    const qsizetype head = records.indexOf(char(Op::SECTION)) + 1;
    const QByteArray expected = readFromMemory(records, false);
    ASSERT_FALSE(expected.startsWith("error: ")) << expected.constData();
    for (qsizetype cut = 0; cut < records.size() - head; ++cut) {
        const QByteArray stream = records.left(head) + QByteArray(64 * 1024 - head - cut, char(Op::NOP)) + records.mid(head);
        ASSERT_EQ(readFromFile(stream), expected) << "records cut " << cut << " bytes after their start";
    }
}

// Packed data keeps the model's answers: a marker before it finds the first data record as its
// next, counts include every record, and loading copies the bytes.
TEST(FusedRead, PackedDataAnswersAsRecords)
{
    auto module = readStream(inSection([](zim::tevo::TEVOWriter &w) {
        w.op(Op::NULL_);
        w.constant(1);
        w.op(Op::MARKERDEF);
        data(w, 0x200, 0x1234, 2);
        data(w, 0x202, 0x56, 1);
        data(w, 0x203, 0x789ABCDE, 4);
        w.constant(0x80007);
        w.op(Op::SETFLAGS);
    }));
    zim::tevo::TEVOSection *section = module->sections().front();
    zim::tevo::TEVOMarker *marker = module->markers().value(1);
    ASSERT_NE(marker, nullptr);
    zim::tevo::TEVOInsn *first = marker->next();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->recordKind(), zim::tevo::TEVOInsn::RecordKind::DefBytes);
    EXPECT_EQ(first->address(), 0x200u);
    EXPECT_EQ(first->listingText(), "\tDW\t0x1234");
    EXPECT_EQ(section->fragments().front()->count(), 4u);

    zim::tevo::TEVOLoadFile file{std::shared_ptr<zim::tevo::TEVOModule>(std::move(module))};
    ASSERT_EQ(file.sections().primarySections.size(), 1u);
    const auto &loaded = file.sections().primarySections.front();
    EXPECT_EQ(loaded->address(), 0x200u);
    EXPECT_EQ(QByteArray(reinterpret_cast<const char *>(loaded->data()), qsizetype(loaded->size())),
              QByteArray("\x34\x12\x56\xDE\xBC\x9A\x78", 7));
}

} // namespace
} // namespace zim::tevo
