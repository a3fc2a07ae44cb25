// Helpers for the TEVO tests: reading streams from memory and describing executables.
#pragma once

#include "common/hexception.h"
#include "tevo/tevomodule.h"
#include "tevo/tevosection.h"
#include "tevo/tevowriter.h"

#include <QByteArray>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace zim::tevo {

// Reads a stream with a TEVOMSP430Reader that keeps loci; throws the reader's HException.
std::unique_ptr<zim::tevo::TEVOModule> readStream(const QByteArray &bytes);

// The message of the HException that f throws, or "<no exception>".
template <class F>
QString messageOf(F &&f)
{
    try {
        f();
    } catch (const zim::common::HException &e) {
        return e.message();
    }
    return QStringLiteral("<no exception>");
}

inline QString readError(const QByteArray &bytes)
{
    return messageOf([&] { readStream(bytes); });
}

// A stream of opcodes with a module scope around them: SCOPE_MODULE first (dropped again), so
// that only what the caller writes can fail.
QByteArray moduleStream(const std::function<void(zim::tevo::TEVOWriter &)> &body);

// The records of a fragment, in order.
inline std::vector<zim::tevo::TEVOInsn *> recordsOf(const zim::tevo::TEVOFragment *fragment)
{
    std::vector<zim::tevo::TEVOInsn *> records;
    for (zim::tevo::TEVOInsn *record : fragment->records())
        records.push_back(record);
    return records;
}

// Record descriptions.
zim::tevo::TEVORecordPlan insnAt(uint32_t address, const QByteArray &bytes);
zim::tevo::TEVORecordPlan dataAt(uint32_t address, uint32_t size, uint64_t value);
zim::tevo::TEVOSectionPlan loadable(const QByteArray &name, QList<zim::tevo::TEVORecordPlan> records, uint32_t kind = 0);

} // namespace zim::tevo
