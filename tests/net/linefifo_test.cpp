#include "net/linefifo.h"

#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>
#include <vector>

using namespace plover;

namespace {

// How a piece came out: a line, a line cut to the limit, or the unfinished
// tail at the end of the stream.
enum Kind : char { Line = 'L', Capped = 'C', Tail = 'T' };

struct Piece {
    std::string text;
    Kind kind;
    bool operator==(const Piece&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Piece& p)
{
    return os << static_cast<char>(p.kind) << "'" << (p.text.size() > 24 ? p.text.substr(0, 24) + "..." : p.text)
              << "'(" << p.text.size() << ")";
}

// Feeds the reads one after another the way the receive loop does: lines
// first, a full buffer without terminator as one capped line, then the next
// read; at the end of the stream the last lines and the tail.
std::vector<Piece> Feed(LineFIFO& f, const std::vector<std::string>& reads)
{
    std::vector<Piece> out;
    const char* data;
    std::int32_t length;
    auto drain = [&](bool atEnd) {
        for (;;) {
            if (f.TakeLine(data, length, atEnd)) {
                out.push_back({std::string(data, static_cast<std::size_t>(length)), Line});
            } else if (f.FreeSpace() == 0) {
                f.TakeCapped(data, length);
                out.push_back({std::string(data, static_cast<std::size_t>(length)), Capped});
            } else {
                return;
            }
        }
    };
    for (const std::string& r : reads) {
        std::size_t done = 0;
        while (done < r.size()) {
            drain(false);
            std::span<char> area = f.WriteArea();
            EXPECT_FALSE(area.empty());
            const std::size_t n = std::min(area.size(), r.size() - done);
            std::memcpy(area.data(), r.data() + done, n);
            EXPECT_TRUE(f.Commit(static_cast<std::int32_t>(n)));
            done += n;
        }
        drain(false);
    }
    drain(true);
    f.TakeAll(data, length);
    if (length > 0 && !f.Discarding())
        out.push_back({std::string(data, static_cast<std::size_t>(length)), Tail});
    return out;
}

TEST(LineFIFO, SplittingTable)
{
    const std::string l3000(3000, 'x');
    const struct {
        const char* name;
        std::string eol;
        bool any;
        bool sticky;
        std::vector<std::string> reads;
        std::vector<Piece> expected;
    } cases[] = {
        // Line ends, wherever the reads split them.
        {"CR LF lines", "\r\n", true, false, {"A\r\nB\r\n"}, {{"A", Line}, {"B", Line}}},
        {"LF lines", "\r\n", true, false, {"A\nB\n"}, {{"A", Line}, {"B", Line}}},
        {"lone CR lines", "\r\n", true, false, {"A\rB\r"}, {{"A", Line}, {"B", Line}}},
        {"CR then LF in the next read", "\r\n", true, false, {"A\r", "\nB\r\n"}, {{"A", Line}, {"B", Line}}},
        {"CR then a letter in the next read", "\r\n", true, false, {"A\r", "B\r\n"}, {{"A", Line}, {"B", Line}}},
        {"one byte per read", "\r\n", true, false, {"2", "2", "0", " ", "H", "\r", "\n", "x", "\r", "\n"},
         {{"220 H", Line}, {"x", Line}}},
        {"LF CR is two ends", "\r\n", true, false, {"A\n\rB\r\n"}, {{"A", Line}, {"", Line}, {"B", Line}}},
        {"empty lines", "\r\n", true, false, {"\r\n\r\n"}, {{"", Line}, {"", Line}}},
        {"line split over reads", "\r\n", true, false, {"AB", "C", "\r\n"}, {{"ABC", Line}}},
        {"unterminated is the tail", "\r\n", true, false, {"A\r\nrest"}, {{"A", Line}, {"rest", Tail}}},
        {"a CR at the very end ends the line", "\r\n", true, false, {"A\r\nlast\r"}, {{"A", Line}, {"last", Line}}},
        {"exact needs the sequence", "\r\n", false, false, {"A\nB\r\n"}, {{"A\nB", Line}}},
        {"exact across reads", "\r\n", false, false, {"A\r", "\nB\r\n"}, {{"A", Line}, {"B", Line}}},
        {"exact multi-char", "END", false, false, {"oneENDtwoEN", "Dthree"}, {{"one", Line}, {"two", Line}, {"three", Tail}}},
        {"raw mode is one block per read", "", false, false, {"abc", "de\r\nf"}, {{"abc", Line}, {"de\r\nf", Line}}},
        // Long lines come once, cut to the limit (capacity 2048 less 2).
        {"3000 chars: one capped line", "\r\n", true, false, {l3000 + "\r\nnext\r\n"},
         {{std::string(2046, 'x'), Capped}, {"next", Line}}},
        {"capped line ending in a split CR LF", "\r\n", true, false, {l3000 + "\r", "\nnext\n"},
         {{std::string(2046, 'x'), Capped}, {"next", Line}}},
        {"exactly the limit stays whole", "\r\n", true, false, {std::string(2046, 'y'), "\r\n"},
         {{std::string(2046, 'y'), Line}}},
        {"one over the limit is capped", "\r\n", true, false, {std::string(2047, 'y'), "z\r\nok\r\n"},
         {{std::string(2046, 'y'), Capped}, {"ok", Line}}},
        {"a capped tail adds nothing", "\r\n", true, false, {"a\r\n" + l3000}, {{"a", Line}, {std::string(2046, 'x'), Capped}}},
        // Listings: once CR LF has ended a line, a lone CR or LF is part of a name.
        {"sticky: LF inside a CR LF listing", "\r\n", true, true, {"one\r\na\nb\r\nc\rd\r\n"},
         {{"one", Line}, {"a\nb", Line}, {"c\rd", Line}}},
        {"sticky: LF in the first line", "\r\n", true, true, {"a\nb\r\ntwo\r\n"}, {{"a\nb", Line}, {"two", Line}}},
        {"sticky: first line split after its LF", "\r\n", true, true, {"a\n", "b\r\ntwo\r\n"},
         {{"a\nb", Line}, {"two", Line}}},
        {"sticky: an LF-only listing", "\r\n", true, true, {"one\ntwo\n", "three\n"},
         {{"one", Line}, {"two", Line}, {"three", Line}}},
        {"sticky: one LF line, then the end", "\r\n", true, true, {"only\n"}, {{"only", Line}}},
    };
    for (const auto& c : cases) {
        LineFIFO f(2048);
        f.SetEOL(c.eol);
        f.SetAnyCharacter(c.any);
        f.SetStickyEOL(c.sticky);
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

// Random bytes in random read sizes: nothing is invented, no piece exceeds
// the limit, and what is lost is only the tail of capped lines.
TEST(LineFIFO, RandomNoiseKeepsEveryByte)
{
    std::mt19937 rng(12345);
    for (int round = 0; round < 60; ++round) {
        LineFIFO f(66);  // lines up to 64 bytes
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
        // The same bytes in one read: the split must not change the pieces.
        const std::vector<Piece> pieces = Feed(f, reads);
        LineFIFO whole(66);
        whole.SetEOL("\r\n");
        whole.SetAnyCharacter(round % 2 == 0);
        std::vector<Piece> once = Feed(whole, {all});
        EXPECT_EQ(pieces, once) << "round " << round;
        for (const Piece& p : pieces) {
            EXPECT_LE(p.text.size(), 64u);
            if (f.AnyCharacter()) {
                EXPECT_EQ(p.text.find_first_of("\r\n"), std::string::npos);
            }
            EXPECT_NE(all.find(p.text), std::string::npos);
        }
    }
}

} // namespace
