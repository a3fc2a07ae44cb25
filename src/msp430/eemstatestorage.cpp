// EEMStateStorage: control bits and read-out order of the EEM state storage.
#include "msp430/eemstatestorage.h"

#include "common/hexception.h"
#include "msp430/eemregisters.h"

namespace zim::msp430 {

uint32_t EEMStateStorage::capability(uint32_t emulationLevel)
{
    return emulationLevel == eem::kStateStorageLevel ? eem::kStateStorageCapability : 0;
}

uint32_t EEMStateStorage::withEnabled(uint32_t control, bool enabled)
{
    return enabled ? control | eem::kStorageEnableBit : control & ~eem::kStorageEnableBit;
}

uint32_t EEMStateStorage::resetValue(uint32_t control)
{
    return control | eem::kStorageResetBit;
}

uint32_t EEMStateStorage::withStopWhenFull(uint32_t control, bool stopWhenFull)
{
    return stopWhenFull ? control & ~eem::kStorageContinueWhenFullBit
                        : control | eem::kStorageContinueWhenFullBit;
}

uint32_t EEMStateStorage::withMode(uint32_t control, uint32_t mode)
{
    for (const eem::StorageMode &m : eem::kStorageModes) {
        if (m.mode == mode)
            return (control & ~eem::kStorageModeBits) | m.bits;
    }
    throw common::HException(
        QStringLiteral("state storage mode %1 is not one of 1, 4 or 8").arg(mode));
}

uint32_t EEMStateStorage::modeOf(uint32_t control)
{
    for (const eem::StorageMode &m : eem::kStorageModes) {
        if (m.bits == (control & eem::kStorageModeBits))
            return m.mode;
    }
    return 0;
}

void StateStorageCursor::begin(uint32_t status, uint32_t writeIndexRegister)
{
    m_next = 0;
    m_remaining = 0;
    if ((status & eem::kStorageStatusHasData) == 0)
        return;
    const uint32_t index = (writeIndexRegister >> eem::kStorageWriteIndexShift) % eem::kStorageEntries;
    if (status & eem::kStorageStatusWrapped) {
        m_next = index;
        m_remaining = eem::kStorageEntries;
    } else {
        m_remaining = index;
    }
}

std::optional<StateStorageCursor::EntryRead> StateStorageCursor::next()
{
    if (m_remaining == 0)
        return std::nullopt;
    const uint32_t entry = m_next;
    m_next = (m_next + 1) % eem::kStorageEntries;
    --m_remaining;
    return EntryRead{entry, eem::kStorageWordsPerEntry * entry, eem::kStorageWordsPerEntry * entry + 1};
}

} // namespace zim::msp430
