#include "mail/uucode.h"

namespace plover {

namespace {

char uuChar(unsigned value) { return value == 0 ? '`' : static_cast<char>(32 + value); }

} // namespace

void TUUCode::EncodeGroup(const unsigned char* data, std::size_t n, std::string& line) const
{
    const std::size_t kept = n == Group ? 60 : n * 4 / 3 + 1;
    line.clear();
    line.reserve(kept + 1);
    line += uuChar(static_cast<unsigned>(n));
    // Six-bit values of the bytes, most significant bit first; the bits
    // after the last byte are zero.
    for (std::size_t i = 0; line.size() < kept + 1; i += 3) {
        const unsigned b0 = i < n ? data[i] : 0;
        const unsigned b1 = i + 1 < n ? data[i + 1] : 0;
        const unsigned b2 = i + 2 < n ? data[i + 2] : 0;
        const unsigned v = (b0 << 16) | (b1 << 8) | b2;
        for (int shift = 18; shift >= 0 && line.size() < kept + 1; shift -= 6)
            line += uuChar((v >> shift) & 63);
    }
}

} // namespace plover
