// PeripheralSimulator: runs a peripheral file in its own script context and answers the core
// simulator's peripheral loads, stores, interrupt polls and resets by calling the file's functions.
#pragma once

#include "simulator/peripheralbus.h"
#include "script/builtinscript.h"

#include <QByteArray>
#include <QFile>
#include <QString>
#include <cstdio>
#include <memory>

namespace zim::platform {
class InterruptGuard;
}

namespace zim::simulator {

class SimulatedHMonitor;

class PeripheralSimulator : public script::BuiltinScript, public PeripheralBus
{
public:
    // The four calls a peripheral file answers.
    enum class Call { Reset, Poll, Load, Store };

    // A call may run at most this many loop iterations and function calls before it is ended
    // as a script that does not return.
    static constexpr uint64_t kCallBudget = 64'000'000;

    // Evaluates text (the whole peripheral file) in a new context that holds Script, WScript,
    // Simulator and the owner's script methods. Throws HException when the file fails, or when
    // the owner's peripheral input or output file cannot be opened. owner must outlive this.
    PeripheralSimulator(const QString &text, SimulatedHMonitor &owner);
    ~PeripheralSimulator() override;

    // The text evaluated for a call: "loadPeripheral(0x21)\n", "storePeripheral(0x160, 0x1234)\n".
    static QString callText(Call call, uint32_t first = 0, uint32_t second = 0);

    // PeripheralBus. Each throws HException with the script's message when the call fails.
    void reset() override;
    int pollForInterrupts(uint32_t cycles) override;
    uint32_t loadPeripheral(uint32_t address) override;
    void storePeripheral(uint32_t address, uint32_t value) override;
    void checkInterrupted() override;
    void flushOutput() override;
    void closeOutput() override;

    // Script.Echo and the Simulator methods.
    void call(script::ESContext &context, script::ESObject *function, const script::ESValue &thisValue, int count,
              script::ESValue *args) override;

    script::ESContext &context();
    // Loop iterations and calls one call may take (kCallBudget unless changed).
    void setCallBudget(uint64_t budget);

private:
    class Context;

    // Runs one call and gives its result as a number: 0xCD for undefined, else the value's
    // number truncated toward zero (NaN and the infinities as they are).
    double evaluateCall(Call call, uint32_t first, uint32_t second);
    double resultNumber(const script::ESValue &value);
    // The current value of the global function a call runs (undefined when there is none).
    script::ESValue globalFunction(Call call);
    [[noreturn]] void throwScriptFailure(const script::ESValue &thrown);
    // A call whose function the file does not define: the failure of its call text, with the
    // file and the function named.
    [[noreturn]] void throwMissingFunction(Call call, const script::ESValue &thrown);
    // "peripheral file “PATH”", or "the peripheral file" when it was not read from a file.
    QString fileText() const;
    void writeOutput(const QByteArray &bytes);
    void openFiles();
    void openInput(const QString &inputName);
    void throwOutputFailure();
    // Gives Ctrl-C back to whoever had it before this simulator.
    void dropInterruptGuard();

    std::unique_ptr<Context> m_context;
    // Takes Ctrl-C while the peripheral file runs; a second press ends the process.
    std::unique_ptr<platform::InterruptGuard> m_interrupt;
    SimulatedHMonitor &m_owner;
    script::ESAtom *m_functionAtoms[4] = {};
    // Where each function was last found among the global object's own properties, or -1.
    int m_functionSlots[4] = {-1, -1, -1, -1};
    // Raw output of Simulator.write: standard output, or the owner's peripheral output file.
    FILE *m_output = nullptr;
    bool m_ownsOutput = false;
    QString m_outputName;
    // A regular input file is read whole at connection; a FIFO or a device is read as the
    // script asks, from m_inputStream, until its end.
    QByteArray m_input;
    qsizetype m_inputPosition = 0;
    std::unique_ptr<QFile> m_inputStream;
};

} // namespace zim::simulator
