#include "app/sitesfile.h"
#include "platform/exception.h"
#include "tests/support/temphome.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

using namespace plover;

namespace {

class SitesFileTest : public test::TempHomeTest {
protected:
    std::string path() const { return Root + "/sites.dat"; }

    static std::string recordBytes(const char* name)
    {
        TFTPSiteRecord r = MakeSiteRecord(name, "server", "", "", "user", "pw");
        return std::string(reinterpret_cast<const char*>(&r), sizeof r);
    }

    // Loads and returns the error text ("" when none).
    std::string load(TSiteList& list)
    {
        try {
            LoadSites(path(), list);
        } catch (const EInOutError& e) {
            return e.Message();
        }
        return std::string();
    }
};

TEST_F(SitesFileTest, MissingFileIsCreatedEmptyWithPrivateMode)
{
    TSiteList list;
    EXPECT_EQ(load(list), "");
    EXPECT_EQ(list.Count(), 0);
    struct stat st {};
    ASSERT_EQ(stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SitesFileTest, WholeRecordsLoadAndAnIncompleteTailReportsReadBeyondEnd)
{
    struct Case { std::string bytes; int profiles; const char* error; } cases[] = {
        {"", 0, ""},
        {recordBytes("one"), 1, ""},
        {recordBytes("one") + recordBytes("two"), 2, ""},
        {recordBytes("one") + recordBytes("two") + "x", 2, "Read beyond end of file"},
        {std::string(100, 'x'), 0, "Read beyond end of file"},
    };
    for (const Case& c : cases) {
        test::WriteFileBytes(path(), c.bytes);
        TSiteList list;
        EXPECT_EQ(load(list), c.error) << c.bytes.size();
        EXPECT_EQ(list.Count(), c.profiles) << c.bytes.size();
    }
}

TEST_F(SitesFileTest, RoundTripKeepsOrderEmptyAndDuplicateNames)
{
    TSiteList list;
    list.Add(MakeSiteRecord("Alpha", "a", "/r", "/l", "u", "p"));
    list.Add(MakeSiteRecord("", "b", "", "", "", ""));
    TFTPSiteRecord third = MakeSiteRecord("ALPHA", "c", "", "", "", "");
    third.SessionLeft = 10;
    third.SessionWidth = 600;
    third.ShowAllFiles = 1;
    list.Add(third);
    SaveSites(path(), list);
    EXPECT_EQ(test::ReadFileBytes(path()).size(), 3 * 1556u);

    TSiteList back;
    EXPECT_EQ(load(back), "");
    ASSERT_EQ(back.Count(), 3);
    EXPECT_EQ(back.Name(1), "");
    EXPECT_EQ(back.Name(2), "ALPHA");
    EXPECT_EQ(back.IndexOf("alpha"), 0);
    EXPECT_EQ(back.Object(0).RemoteDirectory.Get(), "/r");
    EXPECT_EQ(back.Object(2).SessionLeft, 10);
    EXPECT_EQ(back.Object(2).SessionTop, -1);
    EXPECT_EQ(back.Object(2).SessionWidth, 600);
    EXPECT_EQ(back.Object(2).ShowAllFiles, 1);
    struct stat st {};
    ASSERT_EQ(stat(path().c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST_F(SitesFileTest, DataConnectionModeRoundTripsAndOtherBytesReadAsDefault)
{
    TSiteList list;
    const TDataConnectionModes modes[] = {dcDefault, dcPassive, dcActive};
    for (TDataConnectionModes mode : modes) {
        TFTPSiteRecord r = MakeSiteRecord("site", "server", "/r", "/l", "user", "pw");
        r.SetDataConnectionMode(mode);
        list.Add(r);
    }
    SaveSites(path(), list);
    std::string bytes = test::ReadFileBytes(path());
    ASSERT_EQ(bytes.size(), 3 * 1556u);
    TSiteList back;
    ASSERT_EQ(load(back), "");
    ASSERT_EQ(back.Count(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(static_cast<unsigned char>(bytes[i * 1556 + 1553]), modes[i]) << i;
        EXPECT_EQ(back.Object(i).DataConnectionMode(), modes[i]) << i;
    }

    // An older copy's record (0) and a byte no copy writes (7): both Default,
    // the rest of each record as it was.
    bytes[1556 + 1553] = 0;
    bytes[2 * 1556 + 1553] = 7;
    test::WriteFileBytes(path(), bytes);
    TSiteList older;
    ASSERT_EQ(load(older), "");
    ASSERT_EQ(older.Count(), 3);
    EXPECT_EQ(older.Object(1).DataConnectionMode(), dcDefault);
    EXPECT_EQ(older.Object(2).DataConnectionMode(), dcDefault);
    EXPECT_EQ(older.Object(2).UserName.Get(), "user");
    EXPECT_EQ(older.Object(2).SessionWidth, -1);
    // Saved again unchanged, the file keeps every byte, the unknown one too.
    SaveSites(path(), older);
    EXPECT_EQ(test::ReadFileBytes(path()), bytes);
}

TEST_F(SitesFileTest, FailedSaveKeepsTheOldFileByteForByte)
{
    TSiteList list;
    list.Add(MakeSiteRecord("Old", "a", "", "", "", ""));
    SaveSites(path(), list);
    const std::string before = test::ReadFileBytes(path());
    list.Add(MakeSiteRecord("New", "b", "", "", "", ""));

    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 2000;  // room for one record, not for two
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    std::string error;
    try {
        SaveSites(path(), list);
    } catch (const EInOutError& e) {
        error = e.Message();
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(error, "I/O error 27");  // EFBIG
    EXPECT_EQ(test::ReadFileBytes(path()), before);
    int leftovers = 0;  // temporary files beside sites.dat
    for (auto& e : std::filesystem::directory_iterator(Root))
        leftovers += e.path().filename().string().rfind("sites.dat.", 0) == 0;
    EXPECT_EQ(leftovers, 0);
}

} // namespace
