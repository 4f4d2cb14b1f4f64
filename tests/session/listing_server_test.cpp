// Lines captured from a real server's LIST of a tree made for the purpose.
#include "session/listing.h"
#include "tests/session/listingfetch.h"
#include "tests/support/serverprocess.h"
#include "tests/support/temphome.h"

#include <ctime>
#include <fcntl.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

using namespace plover;

namespace {

class ListingCaptureTest : public test::TempHomeTest {
protected:
    void SetUp() override
    {
        TempHomeTest::SetUp();
        ServeRoot = Root + "/ftproot";
        std::filesystem::create_directories(ServeRoot + "/sub dir");
        std::filesystem::create_directories(ServeRoot + "/.ssh");
        test::WriteFileBytes(ServeRoot + "/name with spaces.txt", "hello");
        test::WriteFileBytes(ServeRoot + "/two  spaces", "ab");
        test::WriteFileBytes(ServeRoot + "/.profile", "x");
        test::WriteFileBytes(ServeRoot + "/empty", "");
        test::WriteFileBytes(ServeRoot + "/ends in spaces  ", "abc");
        std::filesystem::create_symlink("sub dir", ServeRoot + "/link to sub");
        // Sparse: 3 GiB of size without the disk space.
        const int fd = ::open((ServeRoot + "/big.bin").c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::ftruncate(fd, off_t{3} << 30), 0);
        ::close(fd);
        // An old date makes the server print the year instead of the time.
        std::tm old{};
        old.tm_year = 2001 - 1900;
        old.tm_mon = 2;
        old.tm_mday = 3;
        old.tm_hour = 12;
        const timespec times[2] = {{timegm(&old), 0}, {timegm(&old), 0}};
        ASSERT_EQ(::utimensat(AT_FDCWD, (ServeRoot + "/name with spaces.txt").c_str(), times, 0), 0);

        Server = std::make_unique<test::FtpServer>(ServeRoot);
        ASSERT_NE(Server->Port(), 0) << Server->Output();
    }

    void TearDown() override
    {
        Server.reset();
        TempHomeTest::TearDown();
    }

    std::string ServeRoot;
    std::unique_ptr<test::FtpServer> Server;
};

// The date key the server's listing gives for a file's modification time.
std::string dateKeyOf(const std::string& path)
{
    static const char* const months[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                         "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    struct stat st {};
    ::lstat(path.c_str(), &st);
    std::tm t{};
    gmtime_r(&st.st_mtime, &t);
    char day[8];
    std::snprintf(day, sizeof day, " %02d", t.tm_mday);
    return months[t.tm_mon] + std::string(day);
}

TEST_F(ListingCaptureTest, RealServerLinesGiveTheirNamesDatesAndSizes)
{
    const std::vector<std::string> lines = test::FetchListing(Server->Port(), "user", "password");
    std::string transcript;
    for (const std::string& l : lines)
        transcript += l + "\n";
    SCOPED_TRACE(transcript);

    std::map<std::string, TListingLine> shown;
    std::vector<std::string> hiddenRows;
    std::vector<std::string> dirs;
    for (const std::string& l : lines) {
        TListingLine entry = ParseListingLine(l, true);
        ASSERT_TRUE(entry.AddRow) << l;
        if (entry.IsDirectory)
            dirs.push_back(entry.Name);
        const TListingLine hidden = ParseListingLine(l, false);
        if (hidden.AddRow)
            hiddenRows.push_back(ExtractListingName(hidden.Row));
        shown[entry.Name] = std::move(entry);
    }
    std::set<std::string> names;
    for (const auto& [name, entry] : shown)
        names.insert(name);
    EXPECT_EQ(names, (std::set<std::string>{".profile", ".ssh", "big.bin", "empty", "ends in spaces  ", "link to sub",
                                            "name with spaces.txt", "sub dir", "two  spaces"}));

    const std::string& spaced = shown["name with spaces.txt"].Row;
    EXPECT_EQ(ExtractListingDate(spaced), "Mar 03");
    EXPECT_EQ(ExtractListingSize(spaced), 5);
    EXPECT_EQ(ExtractListingSize(shown["two  spaces"].Row), 2);
    EXPECT_EQ(ExtractListingSize(shown["ends in spaces  "].Row), 3);
    EXPECT_EQ(ExtractListingSize(shown["big.bin"].Row), int64_t{3} << 30);
    EXPECT_EQ(ListingSizeText(shown["big.bin"].Row), "3221225472");
    EXPECT_EQ(ListingSizeText(shown["empty"].Row), "");
    EXPECT_EQ(ExtractListingDate(shown["empty"].Row), dateKeyOf(ServeRoot + "/empty"));
    EXPECT_EQ(ExtractListingDate(shown["link to sub"].Row), dateKeyOf(ServeRoot + "/link to sub"));

    std::sort(dirs.begin(), dirs.end());
    EXPECT_EQ(dirs, (std::vector<std::string>{".ssh", "link to sub", "sub dir"}));
    std::sort(hiddenRows.begin(), hiddenRows.end());
    EXPECT_EQ(hiddenRows, (std::vector<std::string>{"big.bin", "empty", "ends in spaces  ", "link to sub",
                                                    "name with spaces.txt", "sub dir", "two  spaces"}));
}

} // namespace
