#include "platform/text.h"

namespace plover {

std::string CutUtf8(std::string_view text, std::size_t maxBytes)
{
    if (text.size() <= maxBytes)
        return std::string(text);
    std::size_t end = maxBytes;
    // Step back over continuation bytes (10xxxxxx) to the start of the
    // character that would be split, and cut before it.
    while (end > 0 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80)
        --end;
    return std::string(text.substr(0, end));
}

bool SameTextIgnoringCase(std::string_view a, std::string_view b)
{
    return ToQ(a).compare(ToQ(b), Qt::CaseInsensitive) == 0;
}

} // namespace plover
