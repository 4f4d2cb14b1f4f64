// Remote directory listing: one LIST line becomes one remote row (name,
// date key and size joined by code 8), plus the helpers that read rows back,
// compare them, sort them and prepare their columns for drawing. No widgets:
// the session window and the background copy queue call these.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace plover {

// Separates the fields of a remote row.
inline constexpr char ListingSeparator = '\x08';

struct TListingLine {
    bool AddRow = false;      // append Row to the remote list
    std::string Row;          // name + code 8 + date key + code 8 + size
    bool IsDirectory = false; // Name goes into the directory list (DirLB)
    std::string Name;
};

// The line-to-row rules of FTP1DirList: a Unix long listing by its columns,
// any other line from its right-hand end. showDotFiles is the state of
// ShowAllfilesMenu.
[[nodiscard]] TListingLine ParseListingLine(std::string_view line, bool showDotFiles);

[[nodiscard]] std::string ExtractListingName(std::string_view row);
[[nodiscard]] std::string ExtractListingDate(std::string_view row);
// 0 when the size field holds no digits; saturates instead of overflowing.
[[nodiscard]] int64_t ExtractListingSize(std::string_view row);
// The size a download of the row should have, or -1 (unknown) when the size
// field holds no digits or the row's date is no month and day (the line was
// not a Unix long listing, so its columns are guesses).
[[nodiscard]] int64_t ExpectedListingSize(std::string_view row);

[[nodiscard]] std::string MakeListingRow(std::string_view name, std::string_view dateKey, std::string_view size);

// -1, 0 or 1; ASCII letters compared without case.
[[nodiscard]] int CompareNames(std::string_view a, std::string_view b);
// -1 when a is the later month and day (latest first); the year is not kept.
[[nodiscard]] int CompareDates(std::string_view a, std::string_view b);
[[nodiscard]] int MonthNumber(std::string_view dateKey);
[[nodiscard]] int64_t DayNumber(std::string_view dateKey);

// The three header sorts over the whole list. Rows named "." and ".." move
// to the top, "." first, wherever they stood; every other row is sorted. The sort is
// stable, so rows with equal keys keep their previous relative order.
void SortByName(std::vector<std::string>& rows);
void SortBySize(std::vector<std::string>& rows);
void SortByDate(std::vector<std::string>& rows);
// Picks the sort by the header section's text ("Name", "Date", "Size");
// false, rows untouched, for any other text.
bool SortBySection(std::vector<std::string>& rows, std::string_view sectionText);

// The names of the current listing's directory and link entries (the
// window's DirLB). Look-ups ignore letter case, so a file named like a
// directory but for case is taken for one too; a hash keeps them fast on
// listings of 100,000 entries.
class TDirectoryNames final {
public:
    void Add(std::string_view name);
    void Clear() { m_folded.clear(); }
    [[nodiscard]] bool Contains(std::string_view name) const;
    [[nodiscard]] std::size_t Count() const { return m_folded.size(); }

private:
    std::unordered_multiset<std::string> m_folded; // case-folded UTF-8
};

// Name column text: the name with everything up to its last ":" or "\" removed.
[[nodiscard]] std::string ListingDisplayName(std::string_view row);
// Size column text: the size in decimal, empty for 0.
[[nodiscard]] std::string ListingSizeText(std::string_view row);
// The size written ever shorter, for a column too narrow for its digits:
// the bytes, then whole KB ("5242880k"), whole MB ("5120M"), then GB and
// TB with one decimal ("5.0G"). Units are of 1024. Empty for 0.
[[nodiscard]] std::vector<std::string> SizeTextsShortening(int64_t size);

// Remote navigation. The row that takes the user up when the server lists
// no ".." of its own; a directory row without a date or size.
[[nodiscard]] std::string ParentDirectoryRow();
[[nodiscard]] bool HasParentRow(const std::vector<std::string>& rows);
// The root, or a path not known yet: nothing above it to go to.
[[nodiscard]] bool IsRemoteRoot(std::string_view path);
// directory + "/" + name with exactly one "/" between them.
[[nodiscard]] std::string JoinRemotePath(std::string_view directory, std::string_view name);
// A typed path with every run of "/" made one (servers may take "//x" for
// another host's path or refuse it).
[[nodiscard]] std::string CollapseSlashes(std::string_view path);

} // namespace plover
