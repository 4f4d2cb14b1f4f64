// TUUCode: uuencoded lines for attachments sent as uuencode: 45 input
// bytes a line behind a length character; the value 0 is the grave accent.
#pragma once

#include "mail/groupencoder.h"

namespace plover {

class TUUCode final : public TGroupEncoder {
public:
    using TGroupEncoder::TGroupEncoder;
    static constexpr std::size_t Group = 45;

protected:
    std::size_t GroupSize() const override { return Group; }
    // A short group keeps n * 4 / 3 + 1 characters: for 3 bytes one more
    // than its data needs (a zero character), which decoders ignore.
    void EncodeGroup(const unsigned char* data, std::size_t n, std::string& line) const override;
    // Rounded down.
    int PercentOf(std::int64_t done, std::int64_t size) const override { return static_cast<int>(done * 100 / size); }
};

} // namespace plover
