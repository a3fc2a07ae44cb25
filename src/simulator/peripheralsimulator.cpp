// PeripheralSimulator: the bridge between the core simulator and a peripheral file.
#include "simulator/peripheralsimulator.h"

#include "common/boundedread.h"
#include "common/hexception.h"
#include "platform/fileidentity.h"
#include "platform/interruptguard.h"
#include "script/esnativeclasses.h"
#include "simulator/simulatedhmonitor.h"
#include "target/targetinterface.h"

#include <QFile>
#include <cerrno>
#include <cmath>
#include <cstring>

namespace zim::simulator {

using namespace zim::script;

namespace {

// Member numbers of the Simulator object's methods (1 is Script.Echo).
enum Member { Echo = 1, Cycles = 2, Write = 3, Read = 4, ResetTarget = 5, Device = 6 };

constexpr const char *kFunctionNames[] = {"reset", "pollForInterrupts", "loadPeripheral", "storePeripheral"};

QString hex(uint32_t value)
{
    return QStringLiteral("0x") + QString::number(value, 16);
}

QString withoutLineEnd(const QString &text)
{
    return text.endsWith(QLatin1Char('\n')) ? text.chopped(1) : text;
}

QString interruptedText()
{
    return QStringLiteral("peripheral simulation interrupted (Ctrl-C)");
}

// A compiler message may quote the character it stopped at: control characters (a NUL would
// end the message where it is printed) and DEL are shown as escapes.
QString printable(const QString &text)
{
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 || (u >= 0x7F && u < 0xA0))
            shown += QStringLiteral("\\x%1").arg(unsigned(u), 2, 16, QLatin1Char('0'));
        else
            shown += c;
    }
    return shown;
}

} // namespace

// The peripheral file's context: its keep-running hook ends a call that runs past the budget or
// is interrupted by Ctrl-C.
class PeripheralSimulator::Context : public ESContext
{
public:
    bool keepRunning() override
    {
        if (interrupt && interrupt->interrupted()) {
            m_stop = Stop::Interrupted;
            return false;
        }
        // The machine asks once every 64 loop iterations and calls.
        m_checks += 64;
        if (m_checks > budget) {
            m_stop = Stop::Budget;
            return false;
        }
        return true;
    }

    enum class Stop { None, Budget, Interrupted };
    void startCall()
    {
        m_checks = 0;
        m_stop = Stop::None;
        stopRequested = false;
    }
    Stop stop() const { return m_stop; }
    uint64_t budget = kCallBudget;
    // Read at every call and by this hook, so that both a running script and a long
    // simulation end on Ctrl-C.
    const platform::InterruptGuard *interrupt = nullptr;

private:
    uint64_t m_checks = 0;
    Stop m_stop = Stop::None;
};

PeripheralSimulator::PeripheralSimulator(const QString &text, SimulatedHMonitor &owner)
    : BuiltinScript(nullptr),
      m_context(std::make_unique<Context>()), m_owner(owner)
{
    for (int i = 0; i < 4; ++i)
        m_functionAtoms[i] = atoms::intern(QLatin1String(kFunctionNames[i]));
    openFiles();

    setUp(*m_context, QStringList());
    ESObject *simulator = m_context->newPlainObject();
    m_context->global()->define(atoms::intern("Simulator"), ESValue::fromObject(simulator), DontEnum);
    makeNativeFunction(*m_context, this, simulator, "cycles", QStringLiteral("Simulator.prototype.cycles"), 0, Cycles);
    makeNativeFunction(*m_context, this, simulator, "write", QStringLiteral("Simulator.prototype.write"), 1, Write);
    makeNativeFunction(*m_context, this, simulator, "read", QStringLiteral("Simulator.prototype.read"), 0, Read);
    makeNativeFunction(*m_context, this, simulator, "resetTarget", QStringLiteral("Simulator.prototype.resetTarget"),
                       0, ResetTarget);
    makeNativeFunction(*m_context, this, simulator, "device", QStringLiteral("Simulator.prototype.device"), 0, Device);

    // The peripheral file reaches the target as scripts do.
    if (!m_owner.target())
        throw common::HException(QStringLiteral("peripheral simulation needs the simulator's target"));
    m_owner.target()->addScriptMethods(m_context.get());

    m_interrupt = std::make_unique<platform::InterruptGuard>(platform::InterruptGuard::SecondPressEnds);
    m_context->interrupt = m_interrupt.get();

    m_context->startCall();
    try {
        // A file that does not compile is named in the message; one that throws while it runs
        // fails with exactly what it threw.
        try {
            m_context->compileCached(text, false);
        } catch (const ESException &e) {
            const ESValue thrown = e.value();
            const QString message = m_context->isError(thrown)
                                        ? m_context->toString(m_context->get(thrown.object, m_context->messageAtom))
                                        : m_context->toString(thrown);
            throw common::HException(printable(message) + QStringLiteral(" (") + fileText() + QLatin1Char(')'));
        }
        const ESEvaluation result = m_context->evaluate(text);
        if (result.status == ESEvaluation::Thrown)
            throwScriptFailure(result.value);
    } catch (const ESFatalError &e) {
        dropInterruptGuard();
        if (m_context->stop() == Context::Stop::Interrupted)
            throw common::HException(interruptedText());
        if (m_context->stop() == Context::Stop::Budget)
            throw common::HException(QStringLiteral("peripheral file did not finish within %L1 loop iterations and calls")
                                         .arg(qulonglong(kCallBudget)));
        throw common::HException(e.text());
    } catch (...) {
        dropInterruptGuard();
        throw;
    }
}

void PeripheralSimulator::dropInterruptGuard()
{
    m_context->interrupt = nullptr;
    m_interrupt.reset();
}

PeripheralSimulator::~PeripheralSimulator()
{
    dropInterruptGuard();
    m_context.reset();
    // Only on a failure path: the owner closes the output, checked, when it disconnects.
    if (m_output) {
        std::fflush(m_output);
        if (m_ownsOutput)
            std::fclose(m_output);
    }
}

QString PeripheralSimulator::fileText() const
{
    const QString &name = m_owner.loadedPeripheralFile();
    return name.isEmpty() ? QStringLiteral("the peripheral file")
                          : QStringLiteral("peripheral file \u201C%1\u201D").arg(name);
}

void PeripheralSimulator::checkInterrupted()
{
    if (m_interrupt && m_interrupt->interrupted())
        throw common::HException(interruptedText());
}

void PeripheralSimulator::throwOutputFailure()
{
    throw common::HException(QStringLiteral("cannot write peripheral output to %1: %2")
                                 .arg(m_outputName, QString::fromLocal8Bit(std::strerror(errno))));
}

void PeripheralSimulator::flushOutput()
{
    if (m_output && std::fflush(m_output) != 0)
        throwOutputFailure();
}

void PeripheralSimulator::closeOutput()
{
    if (!m_output)
        return;
    FILE *output = m_output;
    m_output = nullptr;
    const bool flushed = std::fflush(output) == 0;
    const int flushError = errno;
    if (m_ownsOutput) {
        const bool closed = std::fclose(output) == 0;
        if (flushed && !closed)
            throwOutputFailure();
    }
    if (!flushed) {
        errno = flushError;
        throwOutputFailure();
    }
}

void PeripheralSimulator::openFiles()
{
    const QString outputName = m_owner.peripheralOutputFile();
    if (outputName.isEmpty()) {
        m_output = stdout;
        m_outputName = QStringLiteral("standard output");
    } else {
        // Creating the output truncates it: it must not be a file this job reads. A device
        // (a terminal, /dev/null) is not truncated and may serve as both.
        if (!platform::isCharacterDevice(outputName)) {
            const QString same = platform::sameFileAsAny(outputName, m_owner.filesRead());
            if (!same.isEmpty())
                throw common::HException(
                    QStringLiteral("peripheral output file \u201C%1\u201D is the file \u201C%2\u201D that this run reads")
                        .arg(outputName, same));
        }
        m_output = std::fopen(QFile::encodeName(outputName).constData(), "wb");
        if (!m_output)
            throw common::HException(QStringLiteral("cannot create peripheral output file \u201C%1\u201D: %2")
                                         .arg(outputName, QString::fromLocal8Bit(std::strerror(errno))));
        m_ownsOutput = true;
        m_outputName = QStringLiteral("\u201C%1\u201D").arg(outputName);
    }
    const QString inputName = m_owner.peripheralInputFile();
    if (!inputName.isEmpty())
        openInput(inputName);
}

void PeripheralSimulator::openInput(const QString &inputName)
{
    auto input = std::make_unique<QFile>(inputName);
    if (!input->open(QIODevice::ReadOnly))
        throw common::HException(QStringLiteral("cannot open peripheral input file \u201C%1\u201D: %2")
                                     .arg(inputName, input->errorString()));
    // A FIFO or a device has no end to wait for: its bytes are read as the script asks.
    if (input->isSequential()) {
        m_inputStream = std::move(input);
        return;
    }
    bool tooLarge = false;
    if (!common::readAllBounded(*input, common::kMaxScriptFileSize, m_input, &tooLarge)) {
        if (tooLarge)
            throw common::HException(common::tooLargeMessage(inputName, common::kMaxScriptFileSize,
                                                             QStringLiteral("a peripheral input file may have")));
        throw common::HException(QStringLiteral("cannot read peripheral input file \u201C%1\u201D: %2")
                                     .arg(inputName, input->errorString()));
    }
}

QString PeripheralSimulator::callText(Call call, uint32_t first, uint32_t second)
{
    switch (call) {
    case Call::Reset:
        return QStringLiteral("reset()\n");
    case Call::Poll:
        return QStringLiteral("pollForInterrupts(") + hex(first) + QStringLiteral(")\n");
    case Call::Load:
        return QStringLiteral("loadPeripheral(") + hex(first) + QStringLiteral(")\n");
    case Call::Store:
        return QStringLiteral("storePeripheral(") + hex(first) + QStringLiteral(", ") + hex(second)
            + QStringLiteral(")\n");
    }
    return QString();
}

void PeripheralSimulator::reset()
{
    evaluateCall(Call::Reset, 0, 0);
}

int PeripheralSimulator::pollForInterrupts(uint32_t cycles)
{
    const double n = evaluateCall(Call::Poll, cycles, 0);
    return n >= 0 && n <= 15 ? int(n) : -1;
}

uint32_t PeripheralSimulator::loadPeripheral(uint32_t address)
{
    const double value = evaluateCall(Call::Load, address, 0);
    if (value >= 0 && value < 65536.0) [[likely]]
        return uint32_t(value);
    if (!std::isfinite(value)) // NaN and the infinities read as 0
        return 0;
    // Modulo 0x10000, negative values wrapping as two's complement.
    return uint32_t(int64_t(std::fmod(value, 65536.0)) & 0xFFFF);
}

void PeripheralSimulator::storePeripheral(uint32_t address, uint32_t value)
{
    evaluateCall(Call::Store, address, value);
}

// A call whose function is a global function object calls it directly with the numbers, which
// is what evaluating the call text does, without compiling a new text for every address and
// value; anything else (a missing or non-callable name) evaluates the text, so that the script
// sees the failure the text itself gives.
double PeripheralSimulator::evaluateCall(Call call, uint32_t first, uint32_t second)
{
    if (m_interrupt && m_interrupt->interrupted()) [[unlikely]]
        throw common::HException(interruptedText());
    Context &context = *m_context;
    context.startCall();
    if (!context.frame)
        context.maybeCollect();
    ESValue *const sp = context.sp;
    try {
        const ESValue function = globalFunction(call);
        if (function.isObject() && function.object->isCallable()) [[likely]] {
            const ESValue args[2] = {ESValue::fromNumber(first), ESValue::fromNumber(second)};
            const int count = call == Call::Reset ? 0 : call == Call::Store ? 2 : 1;
            return resultNumber(context.call(function.object, ESValue::fromObject(context.global()), count, args));
        }
        const ESEvaluation result = context.evaluate(callText(call, first, second));
        if (result.status == ESEvaluation::Thrown)
            throwMissingFunction(call, result.value);
        return resultNumber(result.value);
    } catch (const ESException &e) {
        context.sp = sp;
        throwScriptFailure(e.value());
    } catch (const ESFatalError &e) {
        context.sp = sp;
        if (context.stop() == Context::Stop::Interrupted)
            throw common::HException(interruptedText());
        if (context.stop() == Context::Stop::Budget)
            throw common::HException(
                QStringLiteral("peripheral script did not return from %1 within %L2 loop iterations and calls")
                    .arg(withoutLineEnd(callText(call, first, second)))
                    .arg(qulonglong(context.budget)));
        throw common::HException(e.text());
    }
}

// The global object's own slot of a function is found once and checked at every call: a file
// that deletes or redefines the function is still seen, and anything but a plain own property
// takes the full lookup.
ESValue PeripheralSimulator::globalFunction(Call call)
{
    ESObject *global = m_context->global();
    ESAtom *atom = m_functionAtoms[int(call)];
    int &slot = m_functionSlots[int(call)];
    if (slot < 0 || size_t(slot) >= global->properties.size() || global->properties[size_t(slot)].key() != atom)
        slot = global->find(atom);
    if (slot >= 0) {
        const ESValue &value = global->properties[size_t(slot)].value;
        if (!value.isHole())
            return value;
    }
    return m_context->get(global, atom);
}

ESContext &PeripheralSimulator::context()
{
    return *m_context;
}

void PeripheralSimulator::setCallBudget(uint64_t budget)
{
    m_context->budget = budget;
}

double PeripheralSimulator::resultNumber(const ESValue &value)
{
    if (value.isUndefined())
        return 0xCD;
    const double number = value.isNumber() ? value.number : m_context->toNumber(value);
    return std::isfinite(number) ? std::trunc(number) : number;
}

void PeripheralSimulator::throwScriptFailure(const ESValue &thrown)
{
    throw common::HException(m_context->uncaughtMessage(thrown, script::ESContext::UncaughtForm::PeripheralMessage));
}

void PeripheralSimulator::throwMissingFunction(Call call, const ESValue &thrown)
{
    try {
        throwScriptFailure(thrown);
    } catch (const common::HException &e) {
        throw common::HException(e.message() + QStringLiteral(" (") + fileText()
                                 + QStringLiteral(" defines no function ") + QLatin1String(kFunctionNames[int(call)])
                                 + QLatin1Char(')'));
    }
}

void PeripheralSimulator::writeOutput(const QByteArray &bytes)
{
    if (!m_output) {
        errno = EBADF;
        throwOutputFailure();
    }
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), m_output) != size_t(bytes.size())
        || (bytes.contains('\n') && std::fflush(m_output) != 0))
        throwOutputFailure();
}

void PeripheralSimulator::call(ESContext &context, ESObject *function, const ESValue &thisValue, int count,
                               ESValue *args)
{
    switch (function->builtinIndex) {
    case Echo: {
        // Echo is a line on standard output, like the loader's own Script.Echo.
        const QByteArray line = (count > 0 ? context.toString(args[0]) : QString()).toUtf8() + '\n';
        if (std::fwrite(line.constData(), 1, size_t(line.size()), stdout) != size_t(line.size()) || std::fflush(stdout) != 0)
            context.throwPlainError(QStringLiteral("cannot write to standard output: %1")
                                        .arg(QString::fromLocal8Bit(std::strerror(errno))));
        args[0] = ESValue();
        return;
    }
    case Cycles:
        args[0] = ESValue::fromNumber(m_owner.currentCycles());
        return;
    case Write: {
        const ESValue value = argument(count, args, 0);
        QByteArray bytes;
        if (value.isString())
            bytes = context.toString(value).toUtf8();
        else
            bytes.append(char(context.toUint32(value) & 0xFF));
        try {
            writeOutput(bytes);
        } catch (const common::HException &e) {
            context.throwPlainError(e.message());
        }
        args[0] = ESValue();
        return;
    }
    case Read:
        if (m_inputStream) {
            char byte = 0;
            const qint64 got = m_inputStream->read(&byte, 1);
            if (got < 0)
                context.throwPlainError(QStringLiteral("cannot read peripheral input file \u201C%1\u201D: %2")
                                            .arg(m_inputStream->fileName(), m_inputStream->errorString()));
            if (got == 0) // its end: later reads give -1 at once
                m_inputStream.reset();
            args[0] = ESValue::fromNumber(got == 1 ? uint8_t(byte) : -1);
            return;
        }
        args[0] = ESValue::fromNumber(m_inputPosition < m_input.size() ? uint8_t(m_input[m_inputPosition++]) : -1);
        return;
    case ResetTarget:
        m_owner.requestPeripheralReset();
        args[0] = ESValue();
        return;
    case Device:
        // The device table's name of the simulated device, so that a model can follow its family.
        args[0] = context.newString(m_owner.deviceType());
        return;
    default:
        BuiltinScript::call(context, function, thisValue, count, args);
        return;
    }
}

} // namespace zim::simulator
