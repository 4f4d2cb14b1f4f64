// The line-end conversion of ASCII-mode transfers: the wire carries CR LF
// (RFC 959's NVT-ASCII), a local text file here ends its lines in LF.
#pragma once

#include <cstddef>
#include <string>

namespace plover {

// Wire to local: each CR LF becomes LF, wherever the blocks split it; a
// lone CR stays.
class AsciiDecoder final {
public:
    void Decode(const char* data, std::size_t length, std::string& out);
    // The end of the transfer: a CR still held was a lone one.
    void Finish(std::string& out);

private:
    bool m_heldCR = false;
};

// Local to wire: each LF goes out as CR LF; a CR LF already in the file
// goes out unchanged (never CR CR LF).
class AsciiEncoder final {
public:
    void Encode(const char* data, std::size_t length, std::string& out);

private:
    bool m_lastWasCR = false;
};

} // namespace plover
