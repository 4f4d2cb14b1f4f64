#include "session/listing.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <limits>
#include <random>
#include <string>
#include <vector>

using namespace plover;

namespace {

struct Case {
    std::string Line;
    bool Row;           // a row is added with the dot-file menu unchecked
    std::string Name;
    std::string Date;
    std::string Size;
    bool Dir;
};

// name, date key and size as one row text, for readable expectations
std::string row(const std::string& name, const std::string& date, const std::string& size)
{
    return MakeListingRow(name, date, size);
}

const std::vector<Case> SummaryLines = {
    {"total 42", false, "", "", "", false},
    {"TOTAL 7", false, "", "", "", false},
    {"ToTal 0", false, "", "", "", false},
    {"tot", false, "", "", "", false},
};

const std::vector<Case> Directories = {
    {"drwxr-xr-x   2 owner    group         512 Mar  3  1996 pub", true, "pub", "Mar 03", "512", true},
    {"drwxr-xr-x   3 user     user         4096 Dec 07 21:59 incoming", true, "incoming", "Dec 07", "4096", true},
    {"drwxrwsr-t+  4 1000     1000         4096 Oct 31 08:15 shared", true, "shared", "Oct 31", "4096", true},
    {"drwx------   2 ftp                    0 Feb 29  2024 no-group", true, "no-group", "Feb 29", "0", true},
};

const std::vector<Case> Files = {
    {"-rw-r--r--   1 owner    group        1234 Jan 15 12:34 readme.txt", true, "readme.txt", "Jan 15", "1234", false},
    {"-rw-r--r--   1 0        0              77 feb  5  2021 lower.bin", true, "lower.bin", "feb 05", "77", false},
    {"-rw-r--r--@  1 a        staff           0 Apr 30  9:05 empty", true, "empty", "Apr 30", "0", false},
    {"-rw-r--r--   1 a        b      5368709120 May  1 10:00 five-gib.iso", true, "five-gib.iso", "May 01",
     "5368709120", false},
    {"crw-rw----   1 root     tty        4,   1 Jun  2 10:00 tty1", true, "tty1", "Jun 02", "1", false},
    {"-rw-r--r--   1 a        b               3 Jan  1  2000 caf\xc3\xa9.txt", true, "caf\xc3\xa9.txt", "Jan 01",
     "3", false},
    {"-rw-r--r--   1 a        b              12 Jan 15 12:34 readme.txt\r", true, "readme.txt", "Jan 15", "12",
     false},
};

const std::vector<Case> Links = {
    {"lrwxrwxrwx   1 owner    group           7 Dec 24 09:00 bin -> usr/bin", true, "bin", "Dec 24", "7", true},
    {"lrwxrwxrwx   1 owner    group          11 Dec 24 09:00 my link -> my target", true, "my link", "Dec 24", "11",
     true},
    // Only a link's name is cut at the arrow.
    {"-rw-r--r--   1 owner    group           1 Dec 24 09:00 a -> b", true, "a -> b", "Dec 24", "1", false},
};

const std::vector<Case> DotFiles = {
    {"drwxr-xr-x   2 o        g            4096 Jan  1 00:00 .", true, ".", "Jan 01", "4096", true},
    {"drwxr-xr-x   9 o        g            4096 Jan  1 00:00 ..", true, "..", "Jan 01", "4096", true},
    {"-rw-r--r--   1 o        g              10 Jan  1 00:00 ..hidden", true, "..hidden", "Jan 01", "10", false},
    {"-rw-r--r--   1 o        g             220 Jan  1 00:00 .profile", false, ".profile", "Jan 01", "220", false},
    {"drwx------   2 o        g            4096 Jan  1 00:00 .ssh", false, ".ssh", "Jan 01", "4096", true},
};

const std::vector<Case> NamesWithSpaces = {
    {"-rw-r--r--   1 o        g             100 Jun  1  2020 my file.txt", true, "my file.txt", "Jun 01", "100", false},
    {"-rw-r--r--   1 o        g             100 Jun  1  2020 two  spaces", true, "two  spaces", "Jun 01", "100",
     false},
    {"-rw-r--r--   1 o        g             100 Jun  1 12:00  leading", true, " leading", "Jun 01", "100", false},
    // A name that itself looks like a date keeps all its words.
    {"-rw-r--r--   1 o        g              10 Jan  1  2000 Feb 2 2001 x", true, "Feb 2 2001 x", "Jan 01", "10",
     false},
    {"drwxr-xr-x   2 o        g            4096 Jul  4 11:11 Program Files", true, "Program Files", "Jul 04", "4096",
     true},
};

// Spaces at the end belong to the name, in both kinds of line.
const std::vector<Case> NamesEndingInSpaces = {
    {"-rw-r--r--   1 o        g               1 Jan  1  2000 trailing ", true, "trailing ", "Jan 01", "1", false},
    {"-rw-r--r--   1 o        g               2 Jan  1  2000 three   ", true, "three   ", "Jan 01", "2", false},
    {"-rw-r--r--   1 o        g               3 Jan  1 12:00  both ", true, " both ", "Jan 01", "3", false},
    {"-rw-r--r--   1 o        g               4 Jan  1  2000 in side ", true, "in side ", "Jan 01", "4", false},
    {"-rw-r--r--   1 o        g               5 Jan  1  2000  ", true, " ", "Jan 01", "5", false},
    {"-rw-r--r--   1 o        g               6 Jan  1  2000 cr \r", true, "cr ", "Jan 01", "6", false},
    {"drwxr-xr-x   2 o        g            4096 Jul  4 11:11 folder ", true, "folder ", "Jul 04", "4096", true},
    {"lrwxrwxrwx   1 o        g               7 Dec 24 09:00 link  -> target ", true, "link ", "Dec 24", "7", true},
    {"-rw-r--r--   1 o        g               8 Jan  1  2000 .dot ", false, ".dot ", "Jan 01", "8", false},
    {"README  ", true, "README  ", " 0", "", false},
    {"bin  -> usr/bin", true, "bin ", " 0", "", false},
    {"01-15-24  12:34PM       <DIR>          folder ", true, "folder ", "01-15-24 12:34PM", "", false},
};

// Line breaks the engine kept inside a line stay in the name (the file
// commands refuse it); only CRs at the end are a sloppy server's line end.
const std::vector<Case> NamesWithLineBreaks = {
    {"-rw-r--r--   1 o        g               1 Jan  1  2000 two\nlines", true, "two\nlines", "Jan 01", "1", false},
    {"-rw-r--r--   1 o        g               2 Jan  1  2000 cr\rinside", true, "cr\rinside", "Jan 01", "2", false},
    {"-rw-r--r--   1 o        g               3 Jan  1  2000 ends\n", true, "ends\n", "Jan 01", "3", false},
    {"-rw-r--r--   1 o        g               4 Jan  1  2000 x\r\r", true, "x", "Jan 01", "4", false},
};

// Nothing to list: no row, no directory.
const std::vector<Case> Blanks = {
    {"", false, "", "", "", false},
    {"\r", false, "", "", "", false},
    {"\n", false, "", "", "", false},
    {" \r\n ", false, "", "", "", false},
    {"   ", false, "", "", "", false},
    // A long-listing line that stops at its date has no name.
    {"-rw-r--r--   1 o        g               1 Jan  1  2000 ", false, "", "", "", false},
    {"drwxr-xr-x   2 o        g            4096 Jan  1  2000", false, "", "", "", false},
};

const std::vector<Case> YearsAndTimes = {
    {"-rw-r--r--   1 o        g               1 Jan  5  2001 y", true, "y", "Jan 05", "1", false},
    {"-rw-r--r--   1 o        g               1 Sep 30 23:59 t", true, "t", "Sep 30", "1", false},
    {"-rw-r--r--   1 o        g               1 Nov 09  3:47 h", true, "h", "Nov 09", "1", false},
};

// Not a Unix long listing: the right-to-left rules give what they give.
const std::vector<Case> OddStyles = {
    {"01-15-24  12:34PM       <DIR>          folder", true, "folder", "01-15-24 12:34PM", "", false},
    {"01-15-24  12:34PM                 1234 my file.txt", true, "file.txt", "12:34PM 1234", "011524", false},
    {"README", true, "README", " 0", "", false},
    {"bin -> usr/bin", true, "bin", " 0", "", false},
    {"-> x", true, "", " 0", "", false},
    {"d", true, "d", " 0", "", true},
    {"-rw-r--r-- 1 owner group 1234 readme.txt", true, "readme.txt", "owner group", "1", false},
    {"-rw-r--r-- 1 o g 3 Jan 32 2000 x y", true, "y", "32 2000", "", false},
    {"+i8388621.29609,m824255902,/,\tdev", true, "+i8388621.29609,m824255902,/,\tdev", " 0", "", false},
    // A code 8 would break the row's fields: the line adds nothing.
    {"-rw-r--r--   1 o        g               1 Jan  1  2000 back\bspace", false, "", "", "", false},
};

const std::vector<std::pair<const char*, const std::vector<Case>*>> Groups = {
    {"summary lines", &SummaryLines}, {"directories", &Directories}, {"files", &Files},
    {"links", &Links},                {"dot files", &DotFiles},      {"names with spaces", &NamesWithSpaces},
    {"years and times", &YearsAndTimes}, {"odd styles", &OddStyles},
    {"names ending in spaces", &NamesEndingInSpaces}, {"names with line breaks", &NamesWithLineBreaks},
    {"blanks", &Blanks},
};

TEST(ListingLineTest, EachLineGivesItsRowAndDirectoryFlag)
{
    for (const auto& [group, cases] : Groups) {
        for (const Case& c : *cases) {
            SCOPED_TRACE(std::string(group) + ": [" + c.Line + "]");
            const TListingLine hidden = ParseListingLine(c.Line, false);
            EXPECT_EQ(hidden.AddRow, c.Row);
            EXPECT_EQ(hidden.IsDirectory, c.Dir);
            // With dot files shown, every line that yields a name adds its row.
            const TListingLine shown = ParseListingLine(c.Line, true);
            const bool named = !c.Date.empty();
            EXPECT_EQ(shown.AddRow, named);
            if (named) {
                EXPECT_EQ(shown.Row, row(c.Name, c.Date, c.Size));
                EXPECT_EQ(shown.Name, c.Name);
                EXPECT_EQ(ExtractListingName(shown.Row), c.Name);
                EXPECT_EQ(ExtractListingDate(shown.Row), c.Date);
            }
        }
    }
}

TEST(ListingLineTest, WholeTableAsOneListingKeepsServerOrder)
{
    std::vector<std::string> rows;
    std::vector<std::string> dirs;
    std::vector<std::string> expectedRows;
    std::vector<std::string> expectedDirs;
    for (const auto& [group, cases] : Groups) {
        for (const Case& c : *cases) {
            const TListingLine l = ParseListingLine(c.Line, false);
            if (l.AddRow)
                rows.push_back(l.Row);
            if (l.IsDirectory)
                dirs.push_back(l.Name);
            if (c.Row)
                expectedRows.push_back(row(c.Name, c.Date, c.Size));
            if (c.Dir)
                expectedDirs.push_back(c.Name);
        }
    }
    EXPECT_EQ(rows, expectedRows);
    EXPECT_EQ(dirs, expectedDirs);
    TDirectoryNames dirLB;
    for (const std::string& d : dirs)
        dirLB.Add(d);
    EXPECT_EQ(dirLB.Count(), dirs.size());
    EXPECT_TRUE(dirLB.Contains("PUB"));
    EXPECT_TRUE(dirLB.Contains(".ssh"));
    EXPECT_TRUE(dirLB.Contains("program files"));
    EXPECT_FALSE(dirLB.Contains("readme.txt"));
    EXPECT_FALSE(dirLB.Contains("pu"));
    dirLB.Add("\xc3\x9c" "ber");
    EXPECT_TRUE(dirLB.Contains("\xc3\xbc" "BER"));
    dirLB.Clear();
    EXPECT_FALSE(dirLB.Contains("pub"));

    SortByName(rows);
    ASSERT_GE(rows.size(), 3u);
    EXPECT_EQ(ExtractListingName(rows[0]), ".");
    EXPECT_EQ(ExtractListingName(rows[1]), "..");
    for (std::size_t i = 3; i < rows.size(); ++i)
        EXPECT_LE(CompareNames(ExtractListingName(rows[i - 1]), ExtractListingName(rows[i])), 0) << i;
}

// Random spaces, separators, arrows and bytes inserted into every table line:
// nothing may crash, and whatever row comes out must read back consistently.
TEST(ListingLineTest, RandomNoiseNeverBreaksTheRowFormat)
{
    static const char noise[] = {' ', ' ', ' ', '-', '>', ':', '1', '9', 'd', 'l', '.', '\\', '\x08', '\0',
                                 '\r', '\t', '\xff', '\xc3'};
    std::mt19937 random(4242);
    std::vector<std::string> rows;
    int lines = 0;
    for (const auto& [group, cases] : Groups) {
        for (const Case& c : *cases) {
            for (int round = 0; round < 200; ++round) {
                std::string line = c.Line;
                const int edits = 1 + static_cast<int>(random() % 6);
                for (int e = 0; e < edits; ++e) {
                    const std::size_t at = line.empty() ? 0 : random() % (line.size() + 1);
                    switch (random() % 3) {
                    case 0: line.insert(at, 1, noise[random() % sizeof noise]); break;
                    case 1: if (at < line.size()) line.erase(at, 1); break;
                    default: line.resize(std::min(line.size(), at)); break;
                    }
                }
                ++lines;
                const TListingLine l = ParseListingLine(line, round % 2 == 0);
                if (!l.AddRow)
                    continue;
                ASSERT_EQ(std::count(l.Row.begin(), l.Row.end(), ListingSeparator), 2) << line;
                ASSERT_EQ(ExtractListingName(l.Row), l.Name) << line;
                ASSERT_GE(ExtractListingSize(l.Row), 0) << line;
                rows.push_back(l.Row);
            }
        }
    }
    EXPECT_GT(lines, 5000);
    EXPECT_GT(rows.size(), 1000u);
    const std::size_t count = rows.size();
    SortByDate(rows);
    SortBySize(rows);
    SortByName(rows);
    EXPECT_EQ(rows.size(), count);
}

TEST(ListingRowTest, FieldsReadBackFromRowText)
{
    EXPECT_EQ(ExtractListingName("plain"), "plain");
    EXPECT_EQ(ExtractListingDate("plain"), "");
    EXPECT_EQ(ExtractListingSize("plain123"), 0);
    EXPECT_EQ(ExtractListingDate("n\bMar 03"), "Mar 03");
    EXPECT_EQ(ExtractListingSize("n\bMar 03\b"), 0);
    EXPECT_EQ(ExtractListingSize("n\bMar 03\b5368709120"), int64_t{5368709120});
    EXPECT_EQ(ExtractListingSize("n\b\b12\b99"), 12);
    EXPECT_EQ(ExtractListingSize("n\b\b1x2"), 12);
    EXPECT_EQ(ExtractListingSize("n\b\b99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(ExtractListingName("\bJan 01\b5"), "");
    // A download expects a size only where the listing gave digits.
    EXPECT_EQ(ExpectedListingSize("n\bMar 03\b5368709120"), int64_t{5368709120});
    EXPECT_EQ(ExpectedListingSize("n\bMar 03\b0"), 0);
    EXPECT_EQ(ExpectedListingSize("n\bDec 31\b99999999999999999999999"), INT64_MAX);
    EXPECT_EQ(ExpectedListingSize("n\bMar 03\b"), -1);
    EXPECT_EQ(ExpectedListingSize("n\b\b1234"), -1);
    // Another layout read right to left: the "size" is a guess, not expected.
    EXPECT_EQ(ExpectedListingSize(ParseListingLine("-rw-r--r-- 1 owner group 1234 readme.txt", true).Row), -1);
    EXPECT_EQ(ExpectedListingSize(ParseListingLine("-rw-r--r-- 1 owner group 1234 Jan 15 12:34 readme.txt", true).Row),
              1234);
    EXPECT_EQ(ExpectedListingSize("n\b\bx"), -1);
    EXPECT_EQ(ExpectedListingSize("plain"), -1);
    EXPECT_EQ(ExpectedListingSize(ParseListingLine("README", true).Row), -1);
}

TEST(ListingRowTest, DisplayTextsForTheColumns)
{
    EXPECT_EQ(ListingDisplayName(row("readme.txt", "Jan 01", "1")), "readme.txt");
    EXPECT_EQ(ListingDisplayName(row("dir\\sub:file.txt", "Jan 01", "1")), "file.txt");
    EXPECT_EQ(ListingDisplayName(row("C:\\a\\b", "", "")), "b");
    EXPECT_EQ(ListingDisplayName(row("ends:", "", "")), "");
    EXPECT_EQ(ListingSizeText(row("e", "Jan 01", "0")), "");
    EXPECT_EQ(ListingSizeText(row("e", "Jan 01", "")), "");
    EXPECT_EQ(ListingSizeText(row("e", "Jan 01", "0042")), "42");
    EXPECT_EQ(ListingSizeText(row("e", "Jan 01", "3221225472")), "3221225472");
}

TEST(ListingCompareTest, NamesIgnoreAsciiCaseOnly)
{
    EXPECT_EQ(CompareNames("ABC", "abc"), 0);
    EXPECT_EQ(CompareNames("a", "B"), -1);
    EXPECT_EQ(CompareNames("b", "A"), 1);
    EXPECT_EQ(CompareNames("ab", "abc"), -1);
    EXPECT_EQ(CompareNames("abc", "ab"), 1);
    EXPECT_EQ(CompareNames("", ""), 0);
    // Bytes compare unsigned: UTF-8 letters after ASCII, and not case-folded.
    EXPECT_EQ(CompareNames("z", "\xc3\xa9"), -1);
    EXPECT_NE(CompareNames("\xc3\x89", "\xc3\xa9"), 0);
}

TEST(ListingRowTest, SizesShortenUnitByUnit)
{
    EXPECT_TRUE(SizeTextsShortening(0).empty());
    EXPECT_EQ(SizeTextsShortening(5368709120),
              (std::vector<std::string>{"5368709120", "5242880k", "5120M", "5.0G", "0.0T"}));
    // Rounded down, never read as more than there is.
    EXPECT_EQ(SizeTextsShortening(2 * (int64_t(1) << 30) - 1)[3], "1.9G");
    EXPECT_EQ(SizeTextsShortening(1023)[1], "0k");
    const int64_t huge = std::numeric_limits<int64_t>::max();
    EXPECT_EQ(SizeTextsShortening(huge).size(), 5u);
    EXPECT_EQ(SizeTextsShortening(huge)[0], std::to_string(huge));
}

TEST(RemoteNavigationTest, PathsAndTheWayUp)
{
    struct {
        const char* Directory;
        const char* Name;
        const char* Joined;
    } const joins[] = {
        {"/", "sub dir", "/sub dir"},      {"", "x", "/x"},           {"/docs", "inner", "/docs/inner"},
        {"/docs/", "inner", "/docs/inner"}, {"//", "/x", "/x"},        {"/a b", "c", "/a b/c"},
    };
    for (const auto& j : joins)
        EXPECT_EQ(JoinRemotePath(j.Directory, j.Name), j.Joined) << j.Directory << " + " << j.Name;

    EXPECT_EQ(CollapseSlashes("//docs///inner/"), "/docs/inner/");
    EXPECT_EQ(CollapseSlashes("docs"), "docs");
    EXPECT_EQ(CollapseSlashes(""), "");

    EXPECT_TRUE(IsRemoteRoot("/"));
    EXPECT_TRUE(IsRemoteRoot(""));
    EXPECT_FALSE(IsRemoteRoot("/docs"));

    const std::string up = ParentDirectoryRow();
    EXPECT_EQ(ExtractListingName(up), "..");
    EXPECT_EQ(ListingSizeText(up), "");
    EXPECT_FALSE(HasParentRow({}));
    EXPECT_FALSE(HasParentRow({row(".", "", ""), row("..x", "", ""), row("a", "Jan 01", "1")}));
    EXPECT_TRUE(HasParentRow({row("a", "Jan 01", "1"), up}));
}

TEST(ListingCompareTest, MonthsDaysAndDates)
{
    EXPECT_EQ(MonthNumber(""), 1);
    EXPECT_EQ(MonthNumber("Dec"), 1);
    EXPECT_EQ(MonthNumber("Dec 5"), 12);
    EXPECT_EQ(MonthNumber("DEC 05"), 12);
    EXPECT_EQ(MonthNumber("mar 03"), 3);
    EXPECT_EQ(MonthNumber("Xyz 10"), 1);
    EXPECT_EQ(MonthNumber(" "), 1);
    EXPECT_EQ(DayNumber("Mar 03"), 3);
    EXPECT_EQ(DayNumber(" "), 0);
    EXPECT_EQ(DayNumber("a1b2"), 12);
    EXPECT_EQ(DayNumber("01-15-24 12:34PM"), 115241234);
    EXPECT_EQ(DayNumber(std::string(40, '9')), INT64_MAX);
    EXPECT_EQ(CompareDates("Mar 01", "Jan 20"), -1);
    EXPECT_EQ(CompareDates("Jan 20", "Mar 01"), 1);
    EXPECT_EQ(CompareDates("Jan 20", "Jan 05"), -1);
    EXPECT_EQ(CompareDates("jan 05", "Jan 05"), 0);
    EXPECT_EQ(CompareDates("Xyz 05", "Jan 05"), 0);
}

std::vector<std::string> names(const std::vector<std::string>& rows)
{
    std::vector<std::string> out;
    for (const std::string& r : rows)
        out.push_back(ExtractListingName(r));
    return out;
}

TEST(ListingSortTest, HeaderExamples)
{
    std::vector<std::string> rows = {row(".", "", ""), row("..", "", ""), row("a", "Jan 05", "300"),
                                     row("b", "Mar 01", "20"), row("c", "Jan 20", "1000")};
    SortBySize(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{".", "..", "b", "a", "c"}));
    SortByDate(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{".", "..", "b", "c", "a"}));
    SortByName(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{".", "..", "a", "b", "c"}));

    // An unknown month counts as January.
    rows = {row("jan", "Jan 05", ""), row("odd", "Xyz 10", ""), row("feb", "Feb 01", "")};
    SortByDate(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{"feb", "odd", "jan"}));
}

TEST(ListingSortTest, DotEntriesGoFirstAndEveryOtherRowIsSorted)
{
    // No "." or "..": the first two rows are real entries and get sorted too.
    std::vector<std::string> rows = {row("zeta", "", ""), row("Alpha", "", ""), row("mid", "", "")};
    SortByName(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{"Alpha", "mid", "zeta"}));

    rows = {row("z", "", "5"), row("..", "", "1"), row("a", "", "9"), row(".", "", "7")};
    SortBySize(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{".", "..", "z", "a"}));

    // "..hidden" is an ordinary name.
    rows = {row("b", "", ""), row("..hidden", "", ""), row("..", "", "")};
    SortByName(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{"..", "..hidden", "b"}));

    std::vector<std::string> small = {row(".", "", ""), row("..", "", ""), row("x", "", "")};
    const std::vector<std::string> before = small;
    SortByDate(small);
    EXPECT_EQ(small, before);
    std::vector<std::string> none;
    SortByName(none);
    EXPECT_TRUE(none.empty());
}

TEST(ListingSortTest, EqualKeysKeepTheirOrderAndSectionPicksTheSort)
{
    std::vector<std::string> rows = {row("b", "Jan 05", "1"), row("a", "Jan 05", "1"), row("c", "Feb 01", "1")};
    SortByDate(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{"c", "b", "a"}));
    SortBySize(rows);
    EXPECT_EQ(names(rows), (std::vector<std::string>{"c", "b", "a"}));

    EXPECT_TRUE(SortBySection(rows, "Name"));
    EXPECT_EQ(names(rows), (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_TRUE(SortBySection(rows, "Date"));
    EXPECT_EQ(names(rows), (std::vector<std::string>{"c", "a", "b"}));
    EXPECT_FALSE(SortBySection(rows, "Owner"));
    EXPECT_EQ(names(rows), (std::vector<std::string>{"c", "a", "b"}));
}

// Servers usually send sorted listings; a naive quicksort recurses once per
// row on them.
TEST(ListingSortTest, HundredThousandSortedRows)
{
    constexpr int count = 100000;
    static const char* const months[] = {"Dec", "Nov", "Oct", "Sep", "Aug", "Jul",
                                         "Jun", "May", "Apr", "Mar", "Feb", "Jan"};
    std::vector<std::string> byName;
    std::vector<std::string> byDate;
    std::vector<std::string> bySize;
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "f%06d", i);
        char day[8];
        std::snprintf(day, sizeof day, "%02d", 28 - (i * 28 / count));
        byName.push_back(row(name, "Jan 01", "1"));
        byDate.push_back(row(name, std::string(months[i * 12 / count]) + " " + day, "1"));
        bySize.push_back(row(name, "Jan 01", std::to_string(int64_t{i} << 20)));
    }
    const auto sortedName = byName, sortedDate = byDate, sortedSize = bySize;
    SortByName(byName);
    SortByDate(byDate);
    SortBySize(bySize);
    EXPECT_EQ(byName, sortedName);
    EXPECT_EQ(byDate, sortedDate);
    EXPECT_EQ(bySize, sortedSize);

    std::reverse(bySize.begin(), bySize.end());
    SortBySize(bySize);
    EXPECT_EQ(bySize, sortedSize);
}

} // namespace
