// The TEVO stream reader: executes a TEVO file, a program for a small stack machine, and
// returns the module it builds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

class QFile;
namespace zim::loadfile { class HByteStream; }

namespace zim::tevo {

class TEVOConstExpr;
class TEVOExpr;
class TEVOFilename;
class TEVOInsn;
class TEVOLocus;
class TEVOModule;
class TEVOObject;
class TEVOPackedData;
class TEVOProcessorInsn;
class TEVOScope;
class TEVOSection;
class TEVOString;
class TEVOSymbol;
class TEVOType;

// One derived class per processor supplies the instruction records. Every failure throws
// HException with its message; the partly built module is then destroyed.
class TEVOReader
{
public:
    static constexpr int maxStack = 100;

    // keepLocus: keep the pending source position after an instruction (true when reading an
    // executable for loading); otherwise it is dropped after one instruction.
    // Reads the stream's bytes from its cursor to its end, in place.
    TEVOReader(loadfile::HByteStream &stream, bool keepLocus);
    // Reads an open file through a window of chunkSize bytes, so that the file's contents are
    // never held whole; a read error throws HException "can't read file <name>".
    TEVOReader(QFile &file, bool keepLocus);
    TEVOReader(const TEVOReader &) = delete;
    TEVOReader &operator=(const TEVOReader &) = delete;
    virtual ~TEVOReader();

    // Executes the whole stream. With trace set, writes each opcode's offset and name and the
    // operand stack after it to traceOut. Throws HException for a malformed stream and for one
    // that defines no module scope.
    std::unique_ptr<TEVOModule> readModule(bool trace, std::FILE *traceOut = stdout);

    virtual const char *processorName() const = 0;

protected:
    // Builds one instruction record from the operands on the stack.
    virtual TEVOProcessorInsn *readInstruction() = 0;
    virtual bool isBigEndian() const { return false; }

    TEVOModule &module() { return *m_module; }

    // Typed pops; each throws HException with the message of its kind.
    TEVOObject *pop();
    TEVOSymbol *popSymbol();
    TEVOType *popType();
    TEVOSection *popSection();
    TEVOString *popString(bool nullAllowed = false);
    TEVOScope *popScope(bool nullAllowed = false);
    TEVOExpr *popExpr(bool nullAllowed = false);
    TEVOFilename *popFile();
    // The value of a constant expression.
    int64_t popConstantValue();
    // A constant from low to high that fits in 32 bits.
    uint32_t popConstant(uint32_t low, uint32_t high);
    // popConstantValue(), popConstant() and popExpr(true) made inline for the common cases (a
    // plain constant, a null); anything else, and every error, goes to them.
    int64_t takeConstantValue()
    {
        if (m_depth > 0 && m_stack[m_depth - 1].tag == Entry::Constant)
            return m_stack[--m_depth].value;
        return popConstantValue();
    }
    uint32_t takeConstant(uint32_t low, uint32_t high)
    {
        if (m_depth > 0 && m_stack[m_depth - 1].tag == Entry::Constant) {
            const uint64_t value = uint64_t(m_stack[m_depth - 1].value);
            if (value >= low && value <= high) {
                --m_depth;
                return uint32_t(value);
            }
        }
        return popConstant(low, high);
    }
    TEVOExpr *takeExprOrNull()
    {
        if (m_depth > 0 && m_stack[m_depth - 1].tag == Entry::Object && !m_stack[m_depth - 1].object) {
            --m_depth;
            return nullptr;
        }
        return popExpr(true);
    }

private:
    static constexpr size_t chunkSize = 64 * 1024;

    // An operand stack entry. Constants and pool strings are pushed as values and become
    // objects only when an opcode keeps them, so addresses, sizes, counts and instruction
    // bytes allocate nothing.
    struct Entry
    {
        enum Tag : uint8_t { Object, Constant, String };
        union {
            TEVOObject *object;
            int64_t value;
            const uint8_t *bytes;
        };
        uint32_t size;   // of a String
        Tag tag;
    };
    struct Bytes
    {
        const uint8_t *data;
        uint32_t size;
    };

    void push(TEVOObject *object);
    void pushConstant(uint64_t value);
    void pushString(const uint8_t *bytes, uint32_t size);
    Entry popEntry();
    TEVOObject *materialize(const Entry &e);
    // A string's bytes without making a string object.
    Bytes popBytes();
    // Moves the window on; false at the end of the input.
    bool refill();
    uint8_t nextByte();
    // Offset of the next byte from the start of the input.
    size_t position() const { return m_consumed - size_t(m_end - m_cursor); }
    void readPool(uint8_t *dest, uint32_t size);
    // Executes the stream to its end.
    void run();
    // With the cursor just past a constant's opcode (LIT or LITX): executes the common
    // sequences that start with a constant, one after another while they follow, when they lie
    // whole in the window and cannot fail. False when it executed nothing; the general path
    // then takes the constant.
    bool fusedConstants();
    // Continues a packed run of constant data straight from the window; see the definition.
    const uint8_t *packedRecords(const uint8_t *p);
    void append(TEVOInsn *record);
    // INSN: the processor's record from the operands on the stack, appended.
    void appendInstruction(bool marked);
    // Appends a constant data record; into a packed run where one can take it.
    void appendConstantData(uint64_t value, uint32_t size);
    TEVOConstExpr *constant(uint64_t value);
    TEVOProcessorInsn &lastInstruction();
    void traceOpcode(size_t offset, uint8_t op);
    void traceStack();

    // The input: [m_cursor, m_end) is the part of the window not yet read; m_consumed counts
    // the bytes up to m_end; m_size is the length of the whole input.
    loadfile::HByteStream *m_stream = nullptr;
    QFile *m_file = nullptr;
    std::unique_ptr<uint8_t[]> m_window;
    const uint8_t *m_cursor = nullptr;
    const uint8_t *m_end = nullptr;
    size_t m_consumed = 0;
    size_t m_size = 0;

    std::unique_ptr<TEVOModule> m_module;
    Entry m_stack[maxStack] = {};
    int m_depth = 0;
    const uint8_t *m_pool = nullptr;
    uint32_t m_poolSize = 0;
    TEVOSection *m_section = nullptr;
    TEVOProcessorInsn *m_lastInsn = nullptr;
    TEVOLocus *m_pendingLocus = nullptr;
    // The run of packed data appended last; it takes more entries while it is the last record
    // of the current section's fragment and their source position is the same.
    TEVOPackedData *m_run = nullptr;
    // The file name of the last source position read in one step, and the pool bytes it was
    // made from.
    TEVOFilename *m_locusFile = nullptr;
    const uint8_t *m_locusFileBytes = nullptr;
    uint32_t m_locusFileLength = 0;
    TEVOConstExpr *m_small[8] = {};
    uint32_t m_address = 0xFFFFFFFF;
    int32_t m_stackAdjustment = 0;
    bool m_keepLocus;
    bool m_bigEndian = false;
    bool m_moduleScopeMade = false;
    bool m_trace = false;
    std::FILE *m_traceOut = nullptr;
};

} // namespace zim::tevo
