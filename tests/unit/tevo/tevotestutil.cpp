// Helpers for the TEVO tests.
#include "unit/tevo/tevotestutil.h"

#include "loadfile/hbytestream.h"
#include "tevo/tevomsp430reader.h"
#include "tevo/tevosection.h"

namespace zim::tevo {

std::unique_ptr<TEVOModule> readStream(const QByteArray &bytes)
{
    HByteStream stream;
    stream.write(reinterpret_cast<const uint8_t *>(bytes.constData()), size_t(bytes.size()));
    TEVOMSP430Reader reader(stream, true);
    return reader.readModule(false);
}

QByteArray moduleStream(const std::function<void(TEVOWriter &)> &body)
{
    TEVOWriter w;
    w.op(TEVOOpcode::NULL_NULL);
    w.op(TEVOOpcode::NULL_);
    w.op(TEVOOpcode::SCOPE_MODULE);
    w.op(TEVOOpcode::DROP);
    body(w);
    return w.finish();
}

TEVORecordPlan insnAt(uint32_t address, const QByteArray &bytes)
{
    TEVORecordPlan r;
    r.kind = TEVORecordPlan::Insn;
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

TEVORecordPlan dataAt(uint32_t address, uint32_t size, uint64_t value)
{
    TEVORecordPlan r;
    r.kind = TEVORecordPlan::Data;
    r.address = address;
    r.size = size;
    r.value = value;
    return r;
}

TEVOSectionPlan loadable(const QByteArray &name, QList<TEVORecordPlan> records, uint32_t kind)
{
    TEVOSectionPlan s;
    s.name = name;
    s.flags = TEVOSection::loadableFlag | kind;
    s.records = std::move(records);
    return s;
}

} // namespace zim::tevo
