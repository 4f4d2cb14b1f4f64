// Remote listing lines to rows, and their ordering. Unix long-listing lines
// (what ls -l and most servers send) are read field by field so that names
// with spaces survive; any other line goes through the older right-to-left
// token rules, which never fail but may give odd fields.
#include "session/listing.h"

#include "platform/text.h"

#include <algorithm>
#include <array>
#include <limits>

namespace plover {

namespace {

constexpr std::array<std::string_view, 12> Months = {
    "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "oct", "nov", "dec"};

char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }
bool isDigit(char c) { return c >= '0' && c <= '9'; }

bool allDigits(std::string_view s)
{
    return !s.empty() && std::all_of(s.begin(), s.end(), isDigit);
}

// Appends the value of every digit in text; stops growing at the largest
// int64 rather than wrapping, since a hostile server may send any length.
int64_t digitsValue(std::string_view text)
{
    constexpr int64_t max = std::numeric_limits<int64_t>::max();
    int64_t value = 0;
    for (char c : text) {
        if (!isDigit(c))
            continue;
        const int d = c - '0';
        if (value > (max - d) / 10)
            return max;
        value = value * 10 + d;
    }
    return value;
}

int monthIndex(std::string_view token)
{
    if (token.size() != 3)
        return 0;
    const std::string lower{lowerAscii(token[0]), lowerAscii(token[1]), lowerAscii(token[2])};
    for (std::size_t i = 0; i < Months.size(); ++i)
        if (Months[i] == lower)
            return static_cast<int>(i) + 1;
    return 0;
}

std::string makeDateKey(std::string_view month, std::string_view day)
{
    std::string key(month);
    key += day.size() < 2 ? " 0" : " ";
    key += day;
    return key;
}

struct Token {
    std::size_t Begin;
    std::size_t End; // one past the last character
    std::string_view Text;
};

std::vector<Token> splitAtSpaces(std::string_view line)
{
    std::vector<Token> tokens;
    std::size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && line[i] == ' ')
            ++i;
        const std::size_t begin = i;
        while (i < line.size() && line[i] != ' ')
            ++i;
        if (i > begin)
            tokens.push_back({begin, i, line.substr(begin, i - begin)});
    }
    return tokens;
}

// drwxr-xr-x, -rw-r--r--, lrwxrwxrwx, crw-rw----; a trailing "+", "@" or "."
// marks ACLs, extended attributes or a security context.
bool isPermissions(std::string_view t)
{
    if (t.size() == 11 && (t[10] == '+' || t[10] == '@' || t[10] == '.'))
        t.remove_suffix(1);
    if (t.size() != 10 || std::string_view("-dlbcpsD").find(t[0]) == std::string_view::npos)
        return false;
    return std::all_of(t.begin() + 1, t.end(),
                       [](char c) { return std::string_view("rwxsStTlL-").find(c) != std::string_view::npos; });
}

bool isDay(std::string_view t)
{
    if (t.empty() || t.size() > 2 || !allDigits(t))
        return false;
    const int64_t day = digitsValue(t);
    return day >= 1 && day <= 31;
}

// "9:05", "12:34" or a year such as "1996".
bool isTimeOrYear(std::string_view t)
{
    if (t.size() == 4 && allDigits(t))
        return true;
    const std::size_t colon = t.find(':');
    if (colon == std::string_view::npos || colon == 0 || colon > 2)
        return false;
    const std::string_view hours = t.substr(0, colon);
    const std::string_view minutes = t.substr(colon + 1);
    return allDigits(hours) && minutes.size() == 2 && allDigits(minutes);
}

struct Fields {
    std::string Name;
    std::string DateKey;
    std::string Size;
};

enum class UnixLine { NotUnix, Unnamed, Named };

// A Unix long-listing line: permissions, link count, owner, group, size,
// month, day, time or year, name. Some servers leave out the group or the
// link count, so the date is found as the first month-day-time triple after
// a size. The name is everything after the single space that follows the
// time field, leading and trailing spaces included.
UnixLine parseUnixLine(std::string_view line, Fields& out)
{
    if (line.empty() || !isPermissions(line.substr(0, line.find(' '))))
        return UnixLine::NotUnix;
    const std::vector<Token> t = splitAtSpaces(line);
    for (std::size_t k = 3; k + 2 < t.size(); ++k) {
        if (!allDigits(t[k - 1].Text) || monthIndex(t[k].Text) == 0 || !isDay(t[k + 1].Text) ||
            !isTimeOrYear(t[k + 2].Text))
            continue;
        const std::size_t nameBegin = t[k + 2].End + 1;
        if (nameBegin >= line.size())
            return UnixLine::Unnamed;
        std::string_view name = line.substr(nameBegin);
        if (line[0] == 'l') {
            // The name of a link stands before " -> target".
            const std::size_t arrow = name.find(" -> ");
            if (arrow != std::string_view::npos)
                name = name.substr(0, arrow);
        }
        out.Name = std::string(name);
        out.DateKey = makeDateKey(t[k].Text, t[k + 1].Text);
        out.Size = std::string(t[k - 1].Text);
        return UnixLine::Named;
    }
    return UnixLine::NotUnix;
}

// A line that is no Unix long listing, read from its right-hand end, where
// most listing styles put the name (a link's own name before "->"), the
// time or year, day, month and size. Positions are signed so that walking
// past the start is a plain "< 0" test.
Fields parseFromRight(std::string_view line)
{
    const auto at = [&](std::ptrdiff_t i) { return line[static_cast<std::size_t>(i)]; };
    // Collects the token ending at i, walking left; i ends on the space before it or at -1.
    const auto collect = [&](std::ptrdiff_t& i) {
        if (i < 0)
            return std::string();
        const std::ptrdiff_t end = i;
        while (i >= 0 && at(i) != ' ')
            --i;
        return std::string(line.substr(static_cast<std::size_t>(i + 1), static_cast<std::size_t>(end - i)));
    };
    const auto skipSpaces = [&](std::ptrdiff_t& i) {
        while (i >= 0 && at(i) == ' ')
            --i;
    };
    // The last token with the spaces after it: a name may end in spaces.
    const auto collectName = [&](std::ptrdiff_t& i) {
        if (i < 0)
            return std::string();
        const std::ptrdiff_t end = i;
        skipSpaces(i);
        collect(i);
        return std::string(line.substr(static_cast<std::size_t>(i + 1), static_cast<std::size_t>(end - i)));
    };

    Fields f;
    std::ptrdiff_t i = static_cast<std::ptrdiff_t>(line.size()) - 1;
    f.Name = collectName(i);
    if (i >= 2 && at(i - 1) == '>' && at(i - 2) == '-') {
        i -= 4;
        f.Name = collectName(i);
    }
    --i;
    skipSpaces(i);
    collect(i); // time of day or year
    skipSpaces(i);
    const std::string day = collect(i);
    skipSpaces(i);
    const std::string month = collect(i);
    f.DateKey = makeDateKey(month, day);
    skipSpaces(i);
    for (char c : collect(i))
        if (isDigit(c))
            f.Size += c;
    return f;
}

struct MonthDay {
    int Month;
    int64_t Day;
};

// Latest month and day first.
int compareDateKeys(const MonthDay& a, const MonthDay& b)
{
    if (a.Month != b.Month)
        return a.Month > b.Month ? -1 : 1;
    if (a.Day != b.Day)
        return a.Day > b.Day ? -1 : 1;
    return 0;
}

std::string_view field(std::string_view row, int index)
{
    for (int n = 0; n < index; ++n) {
        const std::size_t sep = row.find(ListingSeparator);
        if (sep == std::string_view::npos)
            return {};
        row.remove_prefix(sep + 1);
    }
    return row.substr(0, row.find(ListingSeparator));
}

bool isDotRow(const std::string& row)
{
    const std::string_view name = field(row, 0);
    return name == "." || name == "..";
}

// Stable sort of every row except "." and "..", which go first. Keys are
// taken once per row, not in every comparison, which keeps a sort of
// 100,000 rows quick.
template <typename Key, typename KeyOf, typename Compare>
void sortRows(std::vector<std::string>& rows, KeyOf keyOf, Compare compare)
{
    const auto firstOther = std::stable_partition(rows.begin(), rows.end(), isDotRow);
    // "." before "..", however the server ordered them.
    std::stable_sort(rows.begin(), firstOther, [](const std::string& a, const std::string& b) {
        return field(a, 0).size() < field(b, 0).size();
    });
    const auto offset = static_cast<std::size_t>(firstOther - rows.begin());
    struct Entry {
        Key K;
        std::size_t Index;
    };
    std::vector<Entry> entries;
    entries.reserve(rows.size() - offset);
    for (std::size_t i = offset; i < rows.size(); ++i)
        entries.push_back({keyOf(rows[i]), i});
    std::stable_sort(entries.begin(), entries.end(),
                     [&](const Entry& a, const Entry& b) { return compare(a.K, b.K) < 0; });
    std::vector<std::string> sorted;
    sorted.reserve(entries.size());
    for (const Entry& e : entries)
        sorted.push_back(std::move(rows[e.Index]));
    std::move(sorted.begin(), sorted.end(), rows.begin() + static_cast<std::ptrdiff_t>(offset));
}

} // namespace

TListingLine ParseListingLine(std::string_view line, bool showDotFiles)
{
    TListingLine result;
    // The component strips the line end; a server that doubles its CRs
    // (CR CR LF) would leave one in every name. An LF left here belongs to
    // the name, which the file commands then refuse.
    while (!line.empty() && line.back() == '\r')
        line.remove_suffix(1);
    // Blank lines name nothing.
    if (line.find_first_not_of(" \r\n") == std::string_view::npos)
        return result;
    if (line.size() >= 3 && lowerAscii(line[0]) == 't' && lowerAscii(line[1]) == 'o' && lowerAscii(line[2]) == 't')
        return result; // "total 42" opens a long listing
    // A code 8 would split the row into the wrong fields.
    if (line.find(ListingSeparator) != std::string_view::npos)
        return result;

    Fields f;
    switch (parseUnixLine(line, f)) {
    case UnixLine::Named:
        break;
    case UnixLine::Unnamed:
        return result;
    case UnixLine::NotUnix:
        f = parseFromRight(line);
        break;
    }

    const bool hidden = !showDotFiles && f.Name != "." && !f.Name.empty() && f.Name[0] == '.' &&
                        !(f.Name.size() >= 2 && f.Name[1] == '.');
    result.AddRow = !hidden;
    result.Row = MakeListingRow(f.Name, f.DateKey, f.Size);
    // Links count as directories: the session cannot tell where they lead.
    result.IsDirectory = line[0] == 'd' || line[0] == 'l';
    result.Name = std::move(f.Name);
    return result;
}

std::string MakeListingRow(std::string_view name, std::string_view dateKey, std::string_view size)
{
    std::string row;
    row.reserve(name.size() + dateKey.size() + size.size() + 2);
    row += name;
    row += ListingSeparator;
    row += dateKey;
    row += ListingSeparator;
    row += size;
    return row;
}

std::string ExtractListingName(std::string_view row) { return std::string(field(row, 0)); }
std::string ExtractListingDate(std::string_view row) { return std::string(field(row, 1)); }
int64_t ExtractListingSize(std::string_view row) { return digitsValue(field(row, 2)); }

int64_t ExpectedListingSize(std::string_view row)
{
    // Only a row read as a Unix long listing has its month where a month
    // belongs; in any other layout the size field may hold another column,
    // and a wrong expectation would fail a good download.
    const std::string_view date = field(row, 1);
    if (date.size() < 3 || monthIndex(date.substr(0, 3)) == 0)
        return -1;
    const std::string_view size = field(row, 2);
    return std::any_of(size.begin(), size.end(), isDigit) ? digitsValue(size) : -1;
}

int CompareNames(std::string_view a, std::string_view b)
{
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(lowerAscii(a[i]));
        const auto cb = static_cast<unsigned char>(lowerAscii(b[i]));
        if (ca != cb)
            return ca < cb ? -1 : 1;
    }
    if (a.size() == b.size())
        return 0;
    return a.size() < b.size() ? -1 : 1;
}

int MonthNumber(std::string_view dateKey)
{
    if (dateKey.size() < 5)
        return 1;
    const int month = monthIndex(dateKey.substr(0, 3));
    return month == 0 ? 1 : month;
}

int64_t DayNumber(std::string_view dateKey) { return digitsValue(dateKey); }

int CompareDates(std::string_view a, std::string_view b)
{
    return compareDateKeys({MonthNumber(a), DayNumber(a)}, {MonthNumber(b), DayNumber(b)});
}

void SortByName(std::vector<std::string>& rows)
{
    sortRows<std::string_view>(rows, [](const std::string& r) { return field(r, 0); }, CompareNames);
}

void SortByDate(std::vector<std::string>& rows)
{
    // The month and day are read once per row rather than at every comparison.
    sortRows<MonthDay>(
        rows,
        [](const std::string& r) {
            const std::string_view key = field(r, 1);
            return MonthDay{MonthNumber(key), DayNumber(key)};
        },
        compareDateKeys);
}

void SortBySize(std::vector<std::string>& rows)
{
    sortRows<int64_t>(rows, [](const std::string& r) { return ExtractListingSize(r); },
                      [](int64_t a, int64_t b) { return a < b ? -1 : (a > b ? 1 : 0); });
}

bool SortBySection(std::vector<std::string>& rows, std::string_view sectionText)
{
    if (sectionText == "Name")
        SortByName(rows);
    else if (sectionText == "Date")
        SortByDate(rows);
    else if (sectionText == "Size")
        SortBySize(rows);
    else
        return false;
    return true;
}

void TDirectoryNames::Add(std::string_view name) { m_folded.insert(FromQ(ToQ(name).toCaseFolded())); }

bool TDirectoryNames::Contains(std::string_view name) const
{
    return m_folded.count(FromQ(ToQ(name).toCaseFolded())) > 0;
}

std::string ListingDisplayName(std::string_view row)
{
    const std::string_view name = field(row, 0);
    const std::size_t cut = name.find_last_of(":\\");
    return std::string(cut == std::string_view::npos ? name : name.substr(cut + 1));
}

std::string ListingSizeText(std::string_view row)
{
    const int64_t size = ExtractListingSize(row);
    return size == 0 ? std::string() : std::to_string(size);
}

std::vector<std::string> SizeTextsShortening(int64_t size)
{
    if (size <= 0)
        return {};
    std::vector<std::string> out{std::to_string(size), std::to_string(size / 1024) + "k",
                                 std::to_string(size / (1024 * 1024)) + "M"};
    // One decimal, rounded down: a size never reads larger than it is.
    auto tenths = [size](int64_t unit, const char* suffix) {
        const int64_t t = static_cast<int64_t>(static_cast<double>(size) * 10 / static_cast<double>(unit));
        return std::to_string(t / 10) + "." + std::to_string(t % 10) + suffix;
    };
    constexpr int64_t gib = int64_t(1) << 30;
    out.push_back(tenths(gib, "G"));
    out.push_back(tenths(gib * 1024, "T"));
    return out;
}

std::string ParentDirectoryRow()
{
    return MakeListingRow("..", "", "");
}

bool HasParentRow(const std::vector<std::string>& rows)
{
    return std::any_of(rows.begin(), rows.end(), [](const std::string& r) { return field(r, 0) == ".."; });
}

bool IsRemoteRoot(std::string_view path)
{
    return path.empty() || path == "/";
}

std::string JoinRemotePath(std::string_view directory, std::string_view name)
{
    std::string out(directory);
    while (!out.empty() && out.back() == '/')
        out.pop_back();
    while (!name.empty() && name.front() == '/')
        name.remove_prefix(1);
    return out + "/" + std::string(name);
}

std::string CollapseSlashes(std::string_view path)
{
    std::string out;
    out.reserve(path.size());
    for (char c : path)
        if (c != '/' || out.empty() || out.back() != '/')
            out += c;
    return out;
}

} // namespace plover
