#include "mail/base64.h"

namespace plover {

namespace {

constexpr char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

} // namespace

void TBase64::EncodeGroup(const unsigned char* data, std::size_t n, std::string& line) const
{
    line.resize((n + 2) / 3 * 4);
    char* out = line.data();
    std::size_t i = 0;
    for (; i + 3 <= n; i += 3) {
        const unsigned v = (unsigned(data[i]) << 16) | (unsigned(data[i + 1]) << 8) | data[i + 2];
        *out++ = alphabet[(v >> 18) & 63];
        *out++ = alphabet[(v >> 12) & 63];
        *out++ = alphabet[(v >> 6) & 63];
        *out++ = alphabet[v & 63];
    }
    if (i < n) {
        // One or two bytes left: the bits after them are zero, "=" pads.
        const unsigned v = (unsigned(data[i]) << 16) | (i + 1 < n ? unsigned(data[i + 1]) << 8 : 0u);
        *out++ = alphabet[(v >> 18) & 63];
        *out++ = alphabet[(v >> 12) & 63];
        *out++ = i + 1 < n ? alphabet[(v >> 6) & 63] : '=';
        *out++ = '=';
    }
}

int TBase64::PercentOf(std::int64_t done, std::int64_t size) const
{
    const std::int64_t scaled = done * 100;
    std::int64_t q = scaled / size;
    const std::int64_t r2 = (scaled % size) * 2;
    if (r2 > size || (r2 == size && q % 2 == 1))
        ++q;
    return static_cast<int>(q);
}

} // namespace plover
