#include "app/siteeditor.h"

#include <gtest/gtest.h>

using namespace plover;

namespace {

TSiteFields fields(const char* user, const char* password)
{
    return {"Site", "ftp.example.org", "/pub", "/tmp", user, password};
}

TEST(ConnectRecord, EmptyLogInBecomesAnonymousWithThePlaceholder)
{
    TFTPSiteRecord r = ConnectRecord(nullptr, fields("", ""));
    EXPECT_EQ(r.UserName.Get(), "anonymous");
    EXPECT_EQ(r.Password.Get(), ConnectPlaceholderPassword);
    EXPECT_EQ(r.Password.Get().size(), 14u);
    EXPECT_NE(r.Password.Get(), AnonymousPassword);

    // Only the user empty: the typed password is kept.
    r = ConnectRecord(nullptr, fields("", "secret"));
    EXPECT_EQ(r.UserName.Get(), "anonymous");
    EXPECT_EQ(r.Password.Get(), "secret");

    // Only the password empty: sent as it is.
    r = ConnectRecord(nullptr, fields("joe", ""));
    EXPECT_EQ(r.UserName.Get(), "joe");
    EXPECT_EQ(r.Password.Get(), "");
}

TEST(ConnectRecord, TakesTheFieldsAndTheSelectedProfilesBounds)
{
    TFTPSiteRecord stored = MakeSiteRecord("Stored", "old.example.org", "/old", "/old", "old", "old");
    stored.SessionLeft = 10;
    stored.SessionTop = 20;
    stored.SessionWidth = 600;
    stored.SessionHeight = 400;
    stored.ShowAllFiles = 1;
    TSiteFields typed = fields("joe", "pw");
    typed.Name = std::string(300, 'n');
    TFTPSiteRecord r = ConnectRecord(&stored, typed);
    EXPECT_EQ(r.FTPSiteName.Get(), std::string(255, 'n'));
    EXPECT_EQ(r.FTPServer.Get(), "ftp.example.org");
    EXPECT_EQ(r.RemoteDirectory.Get(), "/pub");
    EXPECT_EQ(r.LocalDirectory.Get(), "/tmp");
    EXPECT_EQ(r.UserName.Get(), "joe");
    EXPECT_EQ(r.Password.Get(), "pw");
    EXPECT_EQ(r.SessionLeft, 10);
    EXPECT_EQ(r.SessionTop, 20);
    EXPECT_EQ(r.SessionWidth, 600);
    EXPECT_EQ(r.SessionHeight, 400);
    EXPECT_EQ(r.ShowAllFiles, 1);

    r = ConnectRecord(nullptr, typed);
    EXPECT_EQ(r.SessionLeft, -1);
    EXPECT_EQ(r.SessionHeight, -1);
    EXPECT_EQ(r.ShowAllFiles, 0);
}

TEST(SiteRules, DragScrollAndDropTarget)
{
    // A list 100 high with items 13 high.
    EXPECT_EQ(DragScrollDirectionAt(88, 100, 13), 0);
    EXPECT_EQ(DragScrollDirectionAt(87, 100, 13), -1);
    EXPECT_EQ(DragScrollDirectionAt(12, 100, 13), 1);
    EXPECT_EQ(DragScrollDirectionAt(13, 100, 13), -1);

    EXPECT_EQ(DropTargetIndex(-1, 3), 2);  // below the last item
    EXPECT_EQ(DropTargetIndex(0, 3), 0);
    EXPECT_EQ(DropTargetIndex(2, 3), 2);
    EXPECT_EQ(DropTargetIndex(5, 3), 2);
}

TEST(SessionBounds, RememberedValuesApplyOnlyInsideTheirRanges)
{
    const TWindowBounds defaults{100, 50, 547, 478};
    TFTPSiteRecord r = MakeSiteRecord("s", "h", "", "", "", "");
    r.SessionLeft = 0;
    r.SessionTop = 800;  // the screen's height: outside
    r.SessionWidth = 60;
    r.SessionHeight = 70;
    TWindowBounds b = SessionWindowBounds(r, defaults, 1024, 800);
    EXPECT_EQ(b.Left, 100);
    EXPECT_EQ(b.Top, 50);
    EXPECT_EQ(b.Width, 547);
    EXPECT_EQ(b.Height, 478);

    r.SessionLeft = 1;
    r.SessionTop = 799;
    r.SessionWidth = 2047;
    r.SessionHeight = 71;
    b = SessionWindowBounds(r, defaults, 1024, 800);
    EXPECT_EQ(b.Left, 1);
    EXPECT_EQ(b.Top, 799);
    EXPECT_EQ(b.Width, 2047);
    EXPECT_EQ(b.Height, 71);

    r.SessionWidth = 2048;  // twice the screen: outside
    r.SessionLeft = -1;
    b = SessionWindowBounds(r, defaults, 1024, 800);
    EXPECT_EQ(b.Width, 547);
    EXPECT_EQ(b.Left, 100);
}

} // namespace
