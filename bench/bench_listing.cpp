// Parses 100,000 generated long-listing lines and sorts the rows by name,
// date and size, printing seconds for each step. Goal: each sort under 0.2 s.
#include "session/listing.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

namespace {

constexpr int LineCount = 100000;
constexpr double SortGoalSeconds = 0.2;

std::vector<std::string> makeLines()
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    std::mt19937_64 random(20261207);
    std::vector<std::string> lines;
    lines.reserve(LineCount + 1);
    lines.emplace_back("total 400000");
    for (int i = 0; i < LineCount; ++i) {
        const bool dir = i % 10 == 0;
        const uint64_t size = dir ? 4096 : random() % (uint64_t{8} << 30);
        const char* month = months[random() % 12];
        const unsigned day = 1 + static_cast<unsigned>(random() % 28);
        char when[16];
        if (i % 3 == 0)
            std::snprintf(when, sizeof when, " %u", 1995u + static_cast<unsigned>(random() % 30));
        else
            std::snprintf(when, sizeof when, "%02u:%02u", static_cast<unsigned>(random() % 24),
                          static_cast<unsigned>(random() % 60));
        char line[256];
        std::snprintf(line, sizeof line, "%s   1 user     user     %12llu %s %2u %s %s%08llx%s",
                      dir ? "drwxr-xr-x" : "-rw-r--r--", static_cast<unsigned long long>(size), month, day,
                      when, i % 7 == 0 ? "Report " : "file_",
                      static_cast<unsigned long long>(random() & 0xffffffffu), dir ? "" : ".dat");
        lines.emplace_back(line);
    }
    return lines;
}

template <typename F>
double seconds(F&& f)
{
    const auto start = std::chrono::steady_clock::now();
    f();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

} // namespace

int main()
{
    const std::vector<std::string> lines = makeLines();
    std::vector<std::string> rows;
    std::vector<std::string> dirs;
    rows.reserve(lines.size());
    const double parse = seconds([&] {
        for (const std::string& line : lines) {
            plover::TListingLine l = plover::ParseListingLine(line, false);
            if (l.IsDirectory)
                dirs.push_back(l.Name);
            if (l.AddRow)
                rows.push_back(std::move(l.Row));
        }
    });
    std::printf("parse %zu lines: %.3f s (%zu rows, %zu directories)\n", lines.size(), parse, rows.size(),
                dirs.size());

    bool allWithinGoal = true;
    const auto report = [&](const char* what, double s) {
        allWithinGoal = allWithinGoal && s < SortGoalSeconds;
        std::printf("%-30s %.3f s  (goal < %.1f s: %s)\n", what, s, SortGoalSeconds,
                    s < SortGoalSeconds ? "met" : "MISSED");
    };
    // Each sort starts from the server's order, as a header click after a listing does.
    std::vector<std::string> work = rows;
    report("sort by name (server order)", seconds([&] { plover::SortByName(work); }));
    report("sort by name (already sorted)", seconds([&] { plover::SortByName(work); }));
    work = rows;
    report("sort by date", seconds([&] { plover::SortByDate(work); }));
    work = rows;
    report("sort by size", seconds([&] { plover::SortBySize(work); }));
    std::printf("all sorts within goal: %s\n", allWithinGoal ? "yes" : "no");
    return 0;
}
