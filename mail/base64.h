// TBase64: base64 (RFC 2045) in lines of 76 characters, 57 input bytes a
// line, for attachments of a non-text content type.
#pragma once

#include "mail/groupencoder.h"

namespace plover {

class TBase64 final : public TGroupEncoder {
public:
    using TGroupEncoder::TGroupEncoder;
    static constexpr std::size_t Group = 57;

protected:
    std::size_t GroupSize() const override { return Group; }
    void EncodeGroup(const unsigned char* data, std::size_t n, std::string& line) const override;
    // Rounded to the nearest, halves to even.
    int PercentOf(std::int64_t done, std::int64_t size) const override;
};

} // namespace plover
