// Marking and names of TEVO objects.
#include "tevo/tevoobject.h"

namespace zim::tevo {

void TEVOObject::mark(bool used)
{
    std::vector<TEVOObject *> pending{this};
    while (!pending.empty()) {
        TEVOObject *object = pending.back();
        pending.pop_back();
        if (!object || object->m_marked == used)
            continue;
        object->m_marked = used;
        object->appendReferences(pending);
    }
}

QByteArray nameText(const TEVOString *name)
{
    return name ? name->bytes() : QByteArray();
}

} // namespace zim::tevo
