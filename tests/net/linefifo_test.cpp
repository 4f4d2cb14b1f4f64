#include "net/linefifo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace plover;

namespace {

struct Piece {
    std::string text;
    bool eol;
    bool operator==(const Piece&) const = default;
};

// Feeds the reads one after another the way the receive loop does: lines
// first, a full buffer without terminator as one piece, then the next read.
std::vector<Piece> Feed(LineFIFO& f, const std::vector<std::string>& reads)
{
    std::vector<Piece> out;
    const char* data;
    std::int32_t length;
    auto drain = [&] {
        while (f.TakeLine(data, length))
            out.push_back({std::string(data, static_cast<std::size_t>(length)), true});
    };
    for (const std::string& r : reads) {
        std::size_t done = 0;
        while (done < r.size()) {
            drain();
            std::span<char> area = f.WriteArea();
            if (area.empty()) {
                f.TakeAll(data, length);
                out.push_back({std::string(data, static_cast<std::size_t>(length)), false});
                continue;
            }
            const std::size_t n = std::min(area.size(), r.size() - done);
            std::memcpy(area.data(), r.data() + done, n);
            EXPECT_TRUE(f.Commit(static_cast<std::int32_t>(n)));
            done += n;
        }
        drain();
    }
    return out;
}

TEST(LineFIFO, SplittingTable)
{
    const std::string l3000(3000, 'x');
    const struct {
        const char* name;
        std::string eol;
        bool any;
        std::vector<std::string> reads;
        std::vector<Piece> expected;
    } cases[] = {
        {"CR LF lines", "\r\n", true, {"A\r\nB\r\n"}, {{"A", true}, {"B", true}}},
        {"LF lines", "\r\n", true, {"A\nB\n"}, {{"A", true}, {"B", true}}},
        {"lone CR lines", "\r\n", true, {"A\rB\r"}, {{"A", true}, {"B", true}}},
        {"CR then LF in next read", "\r\n", true, {"A\r", "\nB\r\n"}, {{"A", true}, {"", true}, {"B", true}}},
        {"LF CR is two ends", "\r\n", true, {"A\n\rB\r\n"}, {{"A", true}, {"", true}, {"B", true}}},
        {"empty lines", "\r\n", true, {"\r\n\r\n"}, {{"", true}, {"", true}}},
        {"line split over reads", "\r\n", true, {"AB", "C", "\r\n"}, {{"ABC", true}}},
        {"unterminated stays", "\r\n", true, {"A\r\nrest"}, {{"A", true}}},
        {"exact needs the sequence", "\r\n", false, {"A\nB\r\n"}, {{"A\nB", true}}},
        {"exact across reads", "\r\n", false, {"A\r", "\nB\r\n"}, {{"A", true}, {"B", true}}},
        {"exact multi-char", "END", false, {"oneENDtwoEN", "Dthree"}, {{"one", true}, {"two", true}}},
        {"raw mode is one block per read", "", false, {"abc", "de\r\nf"}, {{"abc", true}, {"de\r\nf", true}}},
        {"3000 chars: 2048 piece, then rest", "\r\n", true, {l3000 + "\r\n"},
         {{std::string(2048, 'x'), false}, {std::string(952, 'x'), true}}},
        {"exactly 2048 then terminator", "\r\n", true, {std::string(2048, 'y'), "\r\n"},
         {{std::string(2048, 'y'), false}, {"", true}}},
    };
    for (const auto& c : cases) {
        LineFIFO f(2048);
        f.SetEOL(c.eol);
        f.SetAnyCharacter(c.any);
        EXPECT_EQ(Feed(f, c.reads), c.expected) << c.name;
    }
}

TEST(LineFIFO, WriteAreaMovesUnreadBytesToTheFront)
{
    LineFIFO f(8);
    f.SetEOL("\n");
    std::span<char> a = f.WriteArea();
    ASSERT_EQ(a.size(), 8u);
    std::memcpy(a.data(), "ab\ncdef", 7);
    ASSERT_TRUE(f.Commit(7));
    const char* d;
    std::int32_t n;
    ASSERT_TRUE(f.TakeLine(d, n));
    EXPECT_EQ(std::string(d, n), "ab");
    EXPECT_FALSE(f.TakeLine(d, n)); // compacts "cdef" to the front
    a = f.WriteArea();
    EXPECT_EQ(a.size(), 4u);
    EXPECT_EQ(f.FreeSpace(), 4);
    EXPECT_FALSE(f.Commit(5));
    ASSERT_TRUE(f.Commit(4));
    EXPECT_TRUE(f.WriteArea().empty());
    f.TakeAll(d, n);
    EXPECT_EQ(n, 8);
    EXPECT_EQ(std::string(d, 4), "cdef");
}

TEST(LineFIFO, CapacityChangesEmptyTheBuffer)
{
    LineFIFO f;
    EXPECT_EQ(f.Capacity(), 2048);
    std::span<char> a = f.WriteArea();
    a[0] = 'z';
    ASSERT_TRUE(f.Commit(1));
    f.SetCapacity(2048);
    EXPECT_EQ(f.Count(), 0);
    f.SetCapacity(256 * 1024);
    EXPECT_EQ(f.Capacity(), 256 * 1024);
    EXPECT_EQ(f.WriteArea().size(), 256u * 1024u);
}

// Random bytes in random read sizes: nothing is lost or invented and no
// piece exceeds the capacity.
TEST(LineFIFO, RandomNoiseKeepsEveryByte)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 50; ++round) {
        LineFIFO f(64);
        f.SetEOL("\r\n");
        f.SetAnyCharacter(round % 2 == 0);
        std::string all;
        std::vector<std::string> reads;
        for (int i = 0; i < 40; ++i) {
            std::string r(rng() % 100, '\0');
            for (char& ch : r) {
                const unsigned v = rng() % 8;
                ch = v == 0 ? '\r' : v == 1 ? '\n' : static_cast<char>('a' + rng() % 26);
            }
            all += r;
            reads.push_back(r);
        }
        const std::vector<Piece> pieces = Feed(f, reads);
        const char* rest;
        std::int32_t n;
        f.TakeAll(rest, n);
        const std::string tail(rest, static_cast<std::size_t>(n));
        if (f.AnyCharacter()) {
            // Every CR and LF is a terminator; the letters all come through.
            auto letters = [](const std::string& s) {
                std::string out;
                for (char ch : s)
                    if (ch != '\r' && ch != '\n')
                        out += ch;
                return out;
            };
            std::string joined;
            for (const Piece& p : pieces) {
                EXPECT_LE(p.text.size(), 64u);
                EXPECT_EQ(p.text.find_first_of("\r\n"), std::string::npos);
                joined += p.text;
            }
            EXPECT_EQ(joined + tail, letters(all));
        } else {
            // Exact mode: the pieces and their terminators rebuild the input.
            std::string rebuilt;
            for (const Piece& p : pieces) {
                EXPECT_LE(p.text.size(), 64u);
                rebuilt += p.text + (p.eol ? "\r\n" : "");
            }
            EXPECT_EQ(rebuilt + tail, all);
        }
    }
}

} // namespace
