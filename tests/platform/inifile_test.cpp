#include "platform/exception.h"
#include "platform/inifile.h"
#include "tests/support/temphome.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

using namespace plover;

namespace {

class IniFileTest : public test::TempHomeTest {
protected:
    std::string path() const { return Root + "/plover.ini"; }
};

TEST_F(IniFileTest, MissingFileSectionOrKeyGivesTheDefault)
{
    EXPECT_EQ(GetPrivateProfileString("MainForm", "Top", "dflt", path()), "dflt");
    test::WriteFileBytes(path(), "[Other]\nTop=3\n");
    EXPECT_EQ(GetPrivateProfileString("MainForm", "Top", "dflt", path()), "dflt");
    EXPECT_EQ(GetPrivateProfileString("Other", "Left", "dflt", path()), "dflt");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadInteger("MainForm", "Top", 7), 7);
}

TEST_F(IniFileTest, SectionsAndKeysIgnoreCaseAndValuesAreTrimmed)
{
    test::WriteFileBytes(path(), "; comment\n[mainform]\n  TOP =  12  \nquoted=\"a b \"\n[EmailForm]\nESTo=x@y\n");
    TIniFile ini(path());
    EXPECT_EQ(ini.ReadInteger("MainForm", "Top", 0), 12);
    EXPECT_EQ(ini.ReadString("MAINFORM", "Quoted", ""), "a b ");
    EXPECT_EQ(ini.ReadString("EmailForm", "esto", ""), "x@y");
    // A key of another section is not found in this one.
    EXPECT_EQ(ini.ReadString("MainForm", "ESTo", "none"), "none");
}

TEST_F(IniFileTest, ReadingThroughTheBufferReturnsAtMost1023Characters)
{
    test::WriteFileBytes(path(), "[S]\nK=" + std::string(2000, 'v') + "\n");
    EXPECT_EQ(GetPrivateProfileString("S", "K", "", path()).size(), 1023u);
}

TEST(StrToIntDef, DecimalHexadecimalAndUnconvertibleValues)
{
    struct Case { const char* text; int expected; } cases[] = {
        {"0", 0}, {"428", 428}, {"-1", -1}, {"+5", 5},
        {"0x10", 16}, {"0X1f", 31}, {"0xFFFFFFFF", -1}, {"0x7fffffff", 2147483647},
        {"0x", 99},          // two characters only: not hexadecimal, not a number
        {"0x1G", 99}, {"0x123456789", 99}, {"12abc", 99}, {"", 99}, {"abc", 99},
        {"2147483648", 99}, {"-2147483648", -2147483647 - 1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StrToIntDef(c.text, 99), c.expected) << c.text;
}

TEST_F(IniFileTest, WritingKeepsEveryOtherLine)
{
    const std::string original = "; keep me\n[MainForm]\nTop=1\n# odd line\nLeft=2\n\n[Other]\nx = y\n";
    test::WriteFileBytes(path(), original);
    TIniFile ini(path());
    ini.WriteInteger("mainform", "top", 40);      // replaced in place
    ini.WriteInteger("MainForm", "Width", 428);  // appended to its section
    ini.WriteString("EmailForm", "ESTo", "a@b");  // new section at the end
    EXPECT_EQ(test::ReadFileBytes(path()),
              "; keep me\n[MainForm]\ntop=40\n# odd line\nLeft=2\nWidth=428\n\n[Other]\nx = y\n\n[EmailForm]\nESTo=a@b\n");
    EXPECT_EQ(ini.ReadInteger("MainForm", "Top", 0), 40);
}

TEST_F(IniFileTest, FirstWriteCreatesTheFile)
{
    TIniFile ini(path());
    ini.WriteInteger("MainForm", "Index", -1);
    EXPECT_EQ(test::ReadFileBytes(path()), "[MainForm]\nIndex=-1\n");
}

TEST_F(IniFileTest, FailedWriteRaisesUnableToWriteAndKeepsTheOldFile)
{
    test::WriteFileBytes(path(), "[S]\nK=old\n");
    TIniFile ini(path());
    // A file-size limit makes the write fail even for root.
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 8;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    try {
        ini.WriteString("S", "K", "a much longer value");
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Unable to write to " + path());
    }
    setrlimit(RLIMIT_FSIZE, &old);
    EXPECT_EQ(test::ReadFileBytes(path()), "[S]\nK=old\n");
}

} // namespace
