#include "platform/text.h"

#include <gtest/gtest.h>

using namespace plover;

TEST(CutUtf8, CutsAtCharacterBoundaries)
{
    EXPECT_EQ(CutUtf8("abc", 255), "abc");
    EXPECT_EQ(CutUtf8(std::string(300, 'a'), 255), std::string(255, 'a'));
    // 254 ASCII bytes, then a two-byte character that would straddle byte 255.
    std::string s = std::string(254, 'a') + "\xC3\xA9" + "z";
    EXPECT_EQ(CutUtf8(s, 255), std::string(254, 'a'));
    // A three-byte character ending exactly at 255 stays.
    std::string t = std::string(252, 'a') + "\xE2\x82\xAC" + "z";
    EXPECT_EQ(CutUtf8(t, 255), std::string(252, 'a') + "\xE2\x82\xAC");
    // A four-byte character starting at 253 goes.
    std::string u = std::string(253, 'a') + "\xF0\x9F\x98\x80";
    EXPECT_EQ(CutUtf8(u, 255), std::string(253, 'a'));
}

TEST(SameTextIgnoringCase, FoldsLettersBeyondAscii)
{
    EXPECT_TRUE(SameTextIgnoringCase("My Site", "my site"));
    EXPECT_TRUE(SameTextIgnoringCase("\xC3\x89t\xC3\xA9", "\xC3\xA9T\xC3\x89"));  // Été / éTÉ
    EXPECT_FALSE(SameTextIgnoringCase("site", "site "));
}
