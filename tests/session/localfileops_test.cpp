// The local file operations behind the session window's rename, delete and
// make directory, on real files in a temporary folder.
#include "session/localfileops.h"
#include "tests/support/temphome.h"

#include <cerrno>
#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

using namespace plover;
namespace fs = std::filesystem;

namespace {

class LocalFileOpsTest : public test::TempHomeTest {};

TEST_F(LocalFileOpsTest, RenameMovesButNeverReplaces)
{
    const std::string a = Root + "/a.txt";
    const std::string b = Root + "/b.txt";
    test::WriteFileBytes(a, "a");
    test::WriteFileBytes(b, "b");

    // An existing target, a file or a dangling link, is left alone.
    TLocalFileResult r = RenameLocalFile(a, b);
    EXPECT_FALSE(r.Ok());
    EXPECT_EQ(r.Error, EEXIST);
    EXPECT_EQ(test::ReadFileBytes(a), "a");
    EXPECT_EQ(test::ReadFileBytes(b), "b");
    fs::create_symlink(Root + "/nowhere", Root + "/dangling");
    EXPECT_EQ(RenameLocalFile(a, Root + "/dangling").Error, EEXIST);
    EXPECT_TRUE(fs::is_symlink(Root + "/dangling"));
    // A rename onto itself changes nothing either.
    EXPECT_EQ(RenameLocalFile(a, a).Error, EEXIST);

    // A free name, also in a folder below: moved.
    fs::create_directories(Root + "/sub");
    EXPECT_TRUE(RenameLocalFile(a, Root + "/sub/c.txt").Ok());
    EXPECT_FALSE(fs::exists(a));
    EXPECT_EQ(test::ReadFileBytes(Root + "/sub/c.txt"), "a");

    EXPECT_EQ(RenameLocalFile(Root + "/missing", Root + "/d.txt").Error, ENOENT);
    EXPECT_EQ(RenameLocalFile(b, Root + "/no/such/dir/b.txt").Error, ENOENT);
    EXPECT_TRUE(fs::exists(b));
}

TEST_F(LocalFileOpsTest, DeleteRemovesOneFileOnly)
{
    const std::string f = Root + "/f.txt";
    test::WriteFileBytes(f, "f");
    EXPECT_TRUE(DeleteLocalFile(f).Ok());
    EXPECT_FALSE(fs::exists(f));
    EXPECT_EQ(DeleteLocalFile(f).Error, ENOENT);
    fs::create_directories(Root + "/dir");
    EXPECT_FALSE(DeleteLocalFile(Root + "/dir").Ok());
    EXPECT_TRUE(fs::is_directory(Root + "/dir"));
}

TEST_F(LocalFileOpsTest, MakeDirectoryMakesOneLevel)
{
    EXPECT_TRUE(MakeLocalDirectory(Root + "/made").Ok());
    EXPECT_TRUE(fs::is_directory(Root + "/made"));
    EXPECT_EQ(MakeLocalDirectory(Root + "/made").Error, EEXIST);
    EXPECT_EQ(MakeLocalDirectory(Root + "/no/such").Error, ENOENT);
    EXPECT_FALSE(fs::exists(Root + "/no"));
}

} // namespace
