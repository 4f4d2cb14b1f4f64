#include "net/linebreaks.h"

#include <gtest/gtest.h>

#include <string>

using namespace plover;

namespace {

// Every way of cutting the input in two gives the same output: a CR LF
// split between blocks is still one line end.
std::string decodeSplit(const std::string& wire, std::size_t cut)
{
    AsciiDecoder d;
    std::string out;
    d.Decode(wire.data(), cut, out);
    d.Decode(wire.data() + cut, wire.size() - cut, out);
    d.Finish(out);
    return out;
}

std::string encodeSplit(const std::string& local, std::size_t cut)
{
    AsciiEncoder e;
    std::string out;
    e.Encode(local.data(), cut, out);
    e.Encode(local.data() + cut, local.size() - cut, out);
    return out;
}

TEST(AsciiLineEnds, DecodeTable)
{
    const struct {
        std::string wire, local;
    } cases[] = {
        {"a\r\nb\r\n", "a\nb\n"},
        {"lone\rCR\r", "lone\rCR\r"},
        {"\r\r\n", "\r\n"},
        {"bare\nLF", "bare\nLF"},
        {"", ""},
        {"\r", "\r"},
        {"x\r\n\r\n", "x\n\n"},
    };
    for (const auto& c : cases)
        for (std::size_t cut = 0; cut <= c.wire.size(); ++cut)
            EXPECT_EQ(decodeSplit(c.wire, cut), c.local) << "cut at " << cut << " of '" << c.wire << "'";
}

TEST(AsciiLineEnds, EncodeTable)
{
    const struct {
        std::string local, wire;
    } cases[] = {
        {"a\nb\n", "a\r\nb\r\n"},
        {"already\r\ncrlf", "already\r\ncrlf"},
        {"\n\n", "\r\n\r\n"},
        {"lone\rcr", "lone\rcr"},
        {"", ""},
    };
    for (const auto& c : cases)
        for (std::size_t cut = 0; cut <= c.local.size(); ++cut)
            EXPECT_EQ(encodeSplit(c.local, cut), c.wire) << "cut at " << cut << " of '" << c.local << "'";
}

} // namespace
