// Fuzz target: the minimal XML reader must end every input in a tree or an error, never a crash.
#include "xml/xmldocument.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const std::string text(reinterpret_cast<const char *>(data), size);
    zim::xml::XMLDocument withText(true);
    withText.parse(text.c_str());
    zim::xml::XMLDocument withoutText(false);
    withoutText.parse(text.c_str());
    return 0;
}
