// Messages of the simulator's error kinds.
#include "simulator/simulatorerror.h"

#include <array>

namespace zim::simulator {

namespace {

constexpr std::array<const char *, 7> kMessages = {
    "Unsupported opcode",
    "Address outside memory range on read",
    "Address outside memory range on write",
    "Uninitialised memory read",
    "Misc error",
    "Unaligned access on word read",
    "Unaligned access on word write",
};

} // namespace

QString simulatorErrorMessage(int kind)
{
    if (kind == int(SimulatorError::None))
        return QString();
    if (kind < 0 || kind >= int(kMessages.size()))
        return QStringLiteral("Invalid Error");
    return QString::fromLatin1(kMessages[kind]);
}

SimulatorError simulatorErrorFromMessage(const QString &text)
{
    for (int kind = 0; kind < int(kMessages.size()); ++kind) {
        if (kind != int(SimulatorError::Misc) && text == QLatin1String(kMessages[kind]))
            return SimulatorError(kind);
    }
    return SimulatorError::Misc;
}

} // namespace zim::simulator
