#include "app/sitelist.h"
#include "session/siterecord.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace plover;

namespace {

int32_t int32At(const TFTPSiteRecord& r, std::size_t offset)
{
    const auto* b = reinterpret_cast<const unsigned char*>(&r) + offset;
    return static_cast<int32_t>(b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24));
}

TEST(SiteRecord, ByteLayoutMatchesTheFileFormat)
{
    TFTPSiteRecord r = MakeSiteRecord("Sun Site", "ftp.example.org", "/pub", "/home/me", "anonymous", "secret");
    r.SessionLeft = 0x01020304;
    r.SessionHeight = -2;
    r.ShowAllFiles = 1;
    const auto* b = reinterpret_cast<const unsigned char*>(&r);
    EXPECT_EQ(b[0], 8);
    EXPECT_EQ(std::memcmp(b + 1, "Sun Site", 8), 0);
    EXPECT_EQ(b[256], 15);
    EXPECT_EQ(std::memcmp(b + 257, "ftp.example.org", 15), 0);
    EXPECT_EQ(b[512], 4);
    EXPECT_EQ(b[768], 8);
    EXPECT_EQ(b[1024], 9);
    EXPECT_EQ(std::memcmp(b + 1281, "secret", 6), 0);
    EXPECT_EQ(b[1536], 0x04);  // little-endian
    EXPECT_EQ(int32At(r, 1540), -1);
    EXPECT_EQ(int32At(r, 1544), -1);
    EXPECT_EQ(int32At(r, 1548), -2);
    EXPECT_EQ(b[1552], 1);
}

std::string bytesOf(const TFTPSiteRecord& r)
{
    return std::string(reinterpret_cast<const char*>(&r), sizeof r);
}

TEST(SiteRecord, DataConnectionModeIsByte1553AndOtherValuesReadAsDefault)
{
    TFTPSiteRecord r = MakeSiteRecord("Sun Site", "ftp.example.org", "/pub", "/home/me", "anonymous", "secret");
    r.SessionHeight = 480;
    r.ShowAllFiles = 1;
    const std::string plain = bytesOf(r);
    EXPECT_EQ(plain[1553], 0);  // what older copies wrote there
    for (TDataConnectionModes mode : {dcPassive, dcActive}) {
        TFTPSiteRecord m = r;
        m.SetDataConnectionMode(mode);
        std::string bytes = bytesOf(m);
        EXPECT_EQ(static_cast<unsigned char>(bytes[1553]), mode);
        bytes[1553] = 0;
        EXPECT_EQ(bytes, plain) << "only byte 1553 differs, mode " << int(mode);
    }
    r.SetDataConnectionMode(dcActive);
    r.SetDataConnectionMode(static_cast<TDataConnectionModes>(9));  // no such mode: stored as Default
    EXPECT_EQ(bytesOf(r), plain);

    for (unsigned char byte : {0, 3, 7, 128, 255}) {
        std::string bytes = plain;
        bytes[1553] = static_cast<char>(byte);
        TFTPSiteRecord read;
        std::memcpy(&read, bytes.data(), sizeof read);
        EXPECT_EQ(read.DataConnectionMode(), dcDefault) << int(byte);
    }
}

TEST(SiteRecord, TextsAreCutTo255BytesAtACharacterBoundary)
{
    TShortString s;
    s.Set(std::string(300, 'x'));
    EXPECT_EQ(s.Length, 255);
    s.Set(std::string(254, 'x') + "\xC3\xA9");
    EXPECT_EQ(s.Get(), std::string(254, 'x'));
    s.Set("");
    EXPECT_EQ(s.Get(), "");
}

TEST(SiteRecord, ServerFieldMayCarryAPort)
{
    struct Case { const char* field; const char* host; int port; } cases[] = {
        {"ftp.example.org", "ftp.example.org", 21},
        {"ftp.example.org:2121", "ftp.example.org", 2121},
        {"127.0.0.1:50021", "127.0.0.1", 50021},
        {"host:", "host:", 21},          // no digits: all host
        {"host:0", "host:0", 21},
        {"host:70000", "host:70000", 21},
        {"host:21x", "host:21x", 21},
        {"::1", "::1", 21},              // several colons: an address, not a port
        {"[::1]", "::1", 21},
        {"[2001:db8::1]:2121", "2001:db8::1", 2121},
        {"[::1]:x", "[::1]:x", 21},      // not a port: left as typed
        {"[::1", "[::1", 21},
        {"", "", 21},
    };
    for (const Case& c : cases) {
        HostAndPort hp = SplitServerField(c.field);
        EXPECT_EQ(hp.Host, c.host) << c.field;
        EXPECT_EQ(hp.Port, c.port) << c.field;
    }
    EXPECT_EQ(JoinServerField("h", 21), "h");
    EXPECT_EQ(JoinServerField("h", 2121), "h:2121");
    EXPECT_EQ(JoinServerField("::1", 21), "::1");
    EXPECT_EQ(JoinServerField("2001:db8::1", 2121), "[2001:db8::1]:2121");
    EXPECT_EQ(SplitServerField(JoinServerField("2001:db8::1", 2121)).Host, "2001:db8::1");
}

TEST(SiteList, KeepsOrderAllowsDuplicatesAndFindsTheFirstIgnoringCase)
{
    TSiteList list;
    list.Add(MakeSiteRecord("My Site", "a", "", "", "", ""));
    list.Add(MakeSiteRecord("", "b", "", "", "", ""));
    list.Add(MakeSiteRecord("MY SITE", "c", "", "", "", ""));
    ASSERT_EQ(list.Count(), 3);
    EXPECT_EQ(list.IndexOf("my site"), 0);
    EXPECT_EQ(list.IndexOf(""), 1);
    EXPECT_EQ(list.IndexOf("none"), -1);
    list.Move(0, 2);
    EXPECT_EQ(list.Name(0), "");
    EXPECT_EQ(list.Name(2), "My Site");
    EXPECT_EQ(list.Object(2).FTPServer.Get(), "a");  // the object moves with its entry
    EXPECT_EQ(list.IndexOf("my site"), 1);           // now the former third entry comes first
    list.Delete(1);
    EXPECT_EQ(list.IndexOf("my site"), 1);
    EXPECT_EQ(list.Object(1).FTPServer.Get(), "a");
}

} // namespace
