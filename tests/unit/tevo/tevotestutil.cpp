// Helpers for the TEVO tests.
#include "unit/tevo/tevotestutil.h"

#include "loadfile/hbytestream.h"
#include "tevo/tevomsp430reader.h"
#include "tevo/tevosection.h"

namespace zim::tevo {

std::unique_ptr<zim::tevo::TEVOModule> readStream(const QByteArray &bytes)
{
    zim::loadfile::HByteStream stream;
    stream.write(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    zim::tevo::TEVOMSP430Reader reader(stream, true);
    return reader.readModule(false);
}

QByteArray moduleStream(const std::function<void(zim::tevo::TEVOWriter &)> &body)
{
    zim::tevo::TEVOWriter w;
    w.op(zim::tevo::TEVOOpcode::NULL_);
    w.constant(0);
    w.constant(0);
    w.op(zim::tevo::TEVOOpcode::SCOPE_MODULE);
    w.op(zim::tevo::TEVOOpcode::DROP);
    body(w);
    return w.finish();
}

zim::tevo::TEVORecordPlan insnAt(uint32_t address, const QByteArray &bytes)
{
    zim::tevo::TEVORecordPlan r;
    r.kind = zim::tevo::TEVORecordPlan::Insn;
    r.address = address;
    r.bytes = bytes;
    switch (bytes.size()) {
    case 8: r.code = 0x20000; break;
    case 6: r.code = 0x10000; break;
    case 4: r.code = 0x4000; r.first = true; break;
    default: r.code = 0x4000; break;
    }
    return r;
}

zim::tevo::TEVORecordPlan dataAt(uint32_t address, uint32_t size, uint64_t value)
{
    zim::tevo::TEVORecordPlan r;
    r.kind = zim::tevo::TEVORecordPlan::Data;
    r.address = address;
    r.size = size;
    r.value = value;
    return r;
}

zim::tevo::TEVOSectionPlan loadable(const QByteArray &name, QList<zim::tevo::TEVORecordPlan> records, uint32_t kind)
{
    zim::tevo::TEVOSectionPlan s;
    s.name = name;
    s.flags = zim::tevo::TEVOSection::loadableFlag | kind;
    s.records = std::move(records);
    return s;
}

} // namespace zim::tevo
