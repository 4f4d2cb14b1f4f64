#include "app/siteeditor.h"

namespace plover {

bool AddAllowed(const TSiteList& sites, std::string_view name)
{
    return !name.empty() && sites.IndexOf(name) < 0;
}

bool ChangeAllowedForName(std::string_view name, bool selected)
{
    return !name.empty() && selected;
}

bool ConnectAllowed(std::string_view server)
{
    return !server.empty();
}

TFTPSiteRecord RecordFromFields(const TSiteFields& f)
{
    TFTPSiteRecord r = MakeSiteRecord(f.Name, f.Server, f.RemoteDirectory, f.LocalDirectory, f.UserName, f.Password);
    r.SetDataConnectionMode(f.DataMode);
    return r;
}

TFTPSiteRecord ConnectRecord(const TFTPSiteRecord* selected, const TSiteFields& fields)
{
    TFTPSiteRecord site = RecordFromFields(fields);
    if (selected) {
        site.SessionLeft = selected->SessionLeft;
        site.SessionTop = selected->SessionTop;
        site.SessionWidth = selected->SessionWidth;
        site.SessionHeight = selected->SessionHeight;
        site.ShowAllFiles = selected->ShowAllFiles;
    }
    // The password is decided first: a typed password with an empty user
    // is kept for the anonymous log-in.
    if (site.UserName.Length == 0 && site.Password.Length == 0)
        site.Password.Set(ConnectPlaceholderPassword);
    if (site.UserName.Length == 0)
        site.UserName.Set("anonymous");
    return site;
}

int DragScrollDirectionAt(int y, int listHeight, int itemHeight)
{
    if (y > listHeight - itemHeight)
        return 0;
    if (y < itemHeight)
        return 1;
    return -1;
}

int DropTargetIndex(int rowUnderPointer, int count)
{
    int target = rowUnderPointer < 0 ? count : rowUnderPointer;
    if (target >= count)
        target = count - 1;
    return target;
}

TWindowBounds SessionWindowBounds(const TFTPSiteRecord& site, const TWindowBounds& defaults, int screenWidth,
                                  int screenHeight)
{
    TWindowBounds b = defaults;
    if (site.SessionLeft > 0 && site.SessionLeft < screenWidth)
        b.Left = site.SessionLeft;
    if (site.SessionTop > 0 && site.SessionTop < screenHeight)
        b.Top = site.SessionTop;
    if (site.SessionWidth > 70 && site.SessionWidth < 2 * screenWidth)
        b.Width = site.SessionWidth;
    if (site.SessionHeight > 70 && site.SessionHeight < 2 * screenHeight)
        b.Height = site.SessionHeight;
    return b;
}

} // namespace plover
