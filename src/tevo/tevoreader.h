// The TEVO stream reader: executes a TEVO file, a program for a small stack machine, and
// returns the module it builds.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace zim::loadfile { class HByteStream; }

namespace zim::tevo {

class TEVOConstExpr;
class TEVOExpr;
class TEVOFilename;
class TEVOInsn;
class TEVOLocus;
class TEVOModule;
class TEVOObject;
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
    TEVOReader(loadfile::HByteStream &stream, bool keepLocus);
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
    virtual TEVOInsn *readInstruction() = 0;
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

private:
    // An operand stack entry. Constants are pushed as immediate values and become objects
    // only when an opcode keeps them, so addresses, sizes and counts allocate nothing.
    struct Entry
    {
        TEVOObject *object;
        int64_t value;
        bool immediate;
    };

    void push(TEVOObject *object);
    void pushImmediate(uint64_t value);
    Entry popEntry();
    uint8_t nextByte();
    void execute(uint8_t op);
    void append(TEVOInsn *record);
    TEVOConstExpr *constant(uint64_t value);
    TEVOInsn &lastInstruction();
    void traceOpcode(size_t offset, uint8_t op);
    void traceStack();

    loadfile::HByteStream &m_stream;
    std::unique_ptr<TEVOModule> m_module;
    Entry m_stack[maxStack] = {};
    int m_depth = 0;
    const uint8_t *m_pool = nullptr;
    uint32_t m_poolSize = 0;
    TEVOSection *m_section = nullptr;
    TEVOInsn *m_lastInsn = nullptr;
    TEVOLocus *m_pendingLocus = nullptr;
    TEVOConstExpr *m_small[8] = {};
    uint32_t m_address = 0xFFFFFFFF;
    int32_t m_stackAdjustment = 0;
    bool m_keepLocus;
    bool m_moduleScopeMade = false;
    bool m_trace = false;
    std::FILE *m_traceOut = nullptr;
};

} // namespace zim::tevo
