#include "tests/support/temphome.h"

#include <random>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <sys/stat.h>

namespace plover::test {

std::string ReadFileBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << bytes;
}

std::string RandomBytes(std::size_t n, unsigned seed)
{
    std::mt19937 gen(seed);
    std::string s(n, '\0');
    for (char& c : s)
        c = static_cast<char>(gen() & 0xFF);
    return s;
}

bool FileExists(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0;
}

void TempHomeTest::SetUp()
{
    std::string templ = (std::filesystem::temp_directory_path() / "plover-test-XXXXXX").string();
    ASSERT_NE(mkdtemp(templ.data()), nullptr);
    Root = templ;
    Home = Root + "/home";
    DataHome = Root + "/data";
    ConfigHome = Root + "/config";
    for (const std::string& d : {Home, DataHome, ConfigHome, Root + "/runtime"})
        std::filesystem::create_directories(d);
    setenv("HOME", Home.c_str(), 1);
    setenv("XDG_DATA_HOME", DataHome.c_str(), 1);
    setenv("XDG_CONFIG_HOME", ConfigHome.c_str(), 1);
    setenv("XDG_RUNTIME_DIR", (Root + "/runtime").c_str(), 1);
    unsetenv("TMP");
    unsetenv("TMPDIR");
}

void TempHomeTest::TearDown()
{
    std::error_code ec;
    std::filesystem::permissions(Root, std::filesystem::perms::owner_all, ec);
    std::filesystem::remove_all(Root, ec);
}

} // namespace plover::test
