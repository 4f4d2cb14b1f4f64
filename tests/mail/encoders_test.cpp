// The encoders line by line, and round trips through Python's own decoders.
#include "mail/base64.h"
#include "mail/mimehelpers.h"
#include "mail/quotedprintable.h"
#include "mail/uucode.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"

#include <QBuffer>
#include <QProcess>
#include <QTimer>
#include <gtest/gtest.h>

#include <random>

namespace plover::test {
namespace {

using Lines = std::vector<std::string>;

template <class Encoder>
Lines encode(const std::string& input, Encoder** running = nullptr)
{
    QByteArray bytes(input.data(), static_cast<qsizetype>(input.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Lines out;
    Encoder e(&buffer, &out);
    if (running)
        *running = &e;
    e.Encode();
    return out;
}

TEST(Base64Test, LinesOfTheGroups)
{
    EXPECT_EQ(encode<TBase64>("abc"), (Lines{"YWJj"}));
    EXPECT_EQ(encode<TBase64>("a"), (Lines{"YQ=="}));
    EXPECT_EQ(encode<TBase64>("ab"), (Lines{"YWI="}));
    // A whole group: one full line, then the empty last group.
    const Lines l57 = encode<TBase64>(std::string(57, 'x'));
    ASSERT_EQ(l57.size(), 2u);
    EXPECT_EQ(l57[0].size(), 76u);
    EXPECT_EQ(l57[1], "");
    const Lines l58 = encode<TBase64>(std::string(58, 'x'));
    ASSERT_EQ(l58.size(), 2u);
    EXPECT_EQ(l58[1], "eA==");
    EXPECT_EQ(encode<TBase64>(""), (Lines{""}));
}

TEST(UUCodeTest, LinesOfTheGroups)
{
    const Lines l45 = encode<TUUCode>(std::string(45, 'x'));
    ASSERT_EQ(l45.size(), 2u);
    EXPECT_EQ(l45[0].size(), 61u);
    EXPECT_EQ(l45[0][0], 'M');
    EXPECT_EQ(l45[1], "``");
    const Lines l46 = encode<TUUCode>(std::string(46, 'x'));
    ASSERT_EQ(l46.size(), 2u);
    EXPECT_EQ(l46[1].size(), 3u);
    EXPECT_EQ(l46[1][0], '!');
    // Three bytes keep one zero character more than their data needs.
    EXPECT_EQ(encode<TUUCode>("abc"), (Lines{"#86)C`"}));
}

TEST(GroupEncoderTest, ProgressReachesEachTenthOnceAndCancelEmptiesTheOutput)
{
    const std::string input(57 * 300, 'p');
    QByteArray bytes(input.data(), static_cast<qsizetype>(input.size()));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    Lines out;
    TBase64 e(&buffer, &out);
    std::vector<int> seen;
    int begun = 0, ended = 0;
    e.OnEncodeBegin = [&](TGroupEncoder*) { ++begun; };
    e.OnEncodeEnd = [&](TGroupEncoder*) { ++ended; };
    e.OnEncodeProgress = [&](TGroupEncoder* g) { seen.push_back(g->Percent); };
    e.Encode();
    EXPECT_EQ(seen, (std::vector<int>{0, 10, 20, 30, 40, 50, 60, 70, 80, 90, 100}));
    EXPECT_EQ(begun, 1);
    EXPECT_EQ(ended, 1);
    EXPECT_EQ(out.size(), 301u);

    // A cancel from a window event handled during the encoding.
    buffer.seek(0);
    e.OnEncodeProgress = [&](TGroupEncoder* g) {
        if (g->Percent == 50)
            g->CancelRequested = true;
    };
    e.Encode();
    EXPECT_TRUE(e.CancelRequested);
    EXPECT_TRUE(out.empty());
}

TEST(QuotedPrintableTest, ParagraphTable)
{
    const struct {
        const char* name;
        std::string input;
        Lines expected;
    } cases[] = {
        {"escapes", "a=b\tc\xE9", {"a=3Db=09c=E9"}},
        {"every = after an escape too", "==", {"=3D=3D"}},
        {"CR LF CR LF: one empty line", "one\r\n\r\ntwo", {"one", "", "two"}},
        {"LF LF: two breaks, an empty line kept", "one\n\ntwo", {"one", "", "two"}},
        {"CR CR: two breaks", "one\r\rtwo", {"one", "", "two"}},
        {"a last LF is data", "end\n", {"end=0A"}},
        {"a trailing space is escaped", "end \nnext", {"end=20", "next"}},
        {"an empty input gives nothing", "", {}},
        {"65 without spaces: a soft break and an empty line", std::string(65, 'x'),
         {std::string(65, 'x') + "=", ""}},
        {"70 without spaces", std::string(70, 'y'), {std::string(65, 'y') + "=", "yyyyy"}},
        {"cut before a space", std::string(59, 'a') + " " + std::string(40, 'b'),
         {std::string(59, 'a') + "=", " " + std::string(40, 'b')}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(encode<TQuotedPrintable>(c.input), c.expected) << c.name;
}

// Lines stay within 76 characters and an escape is never split, however
// many characters need one.
TEST(QuotedPrintableTest, EscapedLinesKeepWithin76Characters)
{
    std::string input;
    for (int i = 0; i < 300; ++i)
        input += static_cast<char>(i % 3 == 0 ? '=' : 0xC3 + (i % 5));
    const Lines lines = encode<TQuotedPrintable>(input);
    ASSERT_GT(lines.size(), 1u);
    std::string joined;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), 76u) << i;
        std::string body = lines[i];
        if (i + 1 < lines.size()) {
            ASSERT_EQ(body.back(), '=');
            body.pop_back();
        }
        // Whole escapes only: every "=" is followed by two hex digits.
        for (std::size_t at = body.find('='); at != std::string::npos; at = body.find('=', at + 1))
            EXPECT_LE(at + 3, body.size()) << "line " << i;
        joined += body;
    }
    EXPECT_EQ(joined.size(), input.size() * 3);
}

TEST(QuotedPrintableTest, AParagraphTooLargeRaises)
{
    EXPECT_THROW(encode<TQuotedPrintable>(std::string(TQuotedPrintable::MaxParagraph + 1, 'z')), EMIMEError);
    try {
        encode<TQuotedPrintable>(std::string(TQuotedPrintable::MaxParagraph + 1, 'z'));
    } catch (const EMIMEError& e) {
        EXPECT_EQ(e.Message(), "Paragraph is too large");
    }
}

TEST(MimeHelpersTest, ContentTypesAndBoundaries)
{
    EXPECT_EQ(LookupContentType("/tmp/notes.txt"), "text/plain");
    EXPECT_EQ(LookupContentType("picture.PNG"), "image/png");
    EXPECT_EQ(LookupContentType("archive.zip"), "application/zip");
    EXPECT_EQ(LookupContentType("README"), "application/octet-stream");
    EXPECT_EQ(LookupContentType("dir.d/noextension"), "application/octet-stream");
    EXPECT_EQ(LookupContentType("x.unknownextension"), "application/octet-stream");
    for (int i = 0; i < 50; ++i) {
        const std::string b = MakeBoundary();
        ASSERT_EQ(b.size(), 8u);
        EXPECT_EQ(b.find_first_not_of("012345678"), std::string::npos) << b;
    }
}

class RoundTripTest : public TempHomeTest {
protected:
    // The lines decoded by Python's decoder for the mode.
    std::string decoded(const Lines& lines, const char* mode)
    {
        std::string text;
        for (const std::string& l : lines)
            text += l + "\n";
        WriteFileBytes(Root + "/lines", text);
        QProcess p;
        p.start("/usr/bin/python3", {QString::fromStdString(ServerScript("mimedecode.py")), mode,
                                     QString::fromStdString(Root + "/lines"), QString::fromStdString(Root + "/out")});
        EXPECT_TRUE(p.waitForFinished(20000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return ReadFileBytes(Root + "/out");
    }
};

TEST_F(RoundTripTest, RandomDataOfAwkwardLengthsDecodesToItself)
{
    for (std::size_t n : {0, 1, 2, 3, 44, 45, 46, 56, 57, 58, 114, 171, 900, 4096, 100003}) {
        const std::string data = RandomBytes(n, static_cast<unsigned>(n));
        EXPECT_EQ(decoded(encode<TBase64>(data), "base64"), data) << "base64 " << n;
        EXPECT_EQ(decoded(encode<TUUCode>(data), "uu"), data) << "uu " << n;
        // Quoted-printable carries text: line breaks are its own, so the
        // data here has none (and a paragraph has a bound).
        if (n >= TQuotedPrintable::MaxParagraph)
            continue;
        std::string text = data;
        for (char& c : text)
            if (c == '\r' || c == '\n')
                c = ' ';
        EXPECT_EQ(decoded(encode<TQuotedPrintable>(text), "qp"), text) << "qp " << n;
    }
}

} // namespace
} // namespace plover::test
