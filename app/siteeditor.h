// The site manager's rules as plain code, so tests call them without the
// window: which buttons the fields enable, the record Connect passes on,
// where a dragged profile lands, and which remembered session bounds apply.
#pragma once

#include "app/settings.h"
#include "app/sitelist.h"
#include "session/siterecord.h"

#include <string>
#include <string_view>

namespace plover {

// The six edit fields of the site manager, and its data-connection choice.
struct TSiteFields {
    std::string Name;
    std::string Server;
    std::string RemoteDirectory;
    std::string LocalDirectory;
    std::string UserName;
    std::string Password;
    TDataConnectionModes DataMode = dcDefault;
};

// Fixed e-mail-shaped passwords for anonymous log-ins: the one Anonymous
// fills in, and the one Connect uses when user and password are both empty.
inline constexpr std::string_view AnonymousPassword = "anon@example.org";
inline constexpr std::string_view ConnectPlaceholderPassword = "me@example.org";
static_assert(AnonymousPassword.size() == 16);
static_assert(ConnectPlaceholderPassword.size() == 14);

// Add: a name is given and no profile has it (letter case ignored).
bool AddAllowed(const TSiteList& sites, std::string_view name);
// Change after the name field changed: a name is given and a profile is selected.
bool ChangeAllowedForName(std::string_view name, bool selected);
// Connect: a server is given.
bool ConnectAllowed(std::string_view server);

// A new profile from the fields, each text cut to 255 bytes; bounds unset.
TFTPSiteRecord RecordFromFields(const TSiteFields& fields);

// The record Connect hands to DoConnection: the selected profile's session
// bounds and ShowAllFiles (or unset ones), the fields as typed, and for an
// empty log-in the anonymous user with the placeholder password.
TFTPSiteRecord ConnectRecord(const TFTPSiteRecord* selected, const TSiteFields& fields);

// Dragging near an edge of the list scrolls it: 0 down, 1 up, -1 not at all.
int DragScrollDirectionAt(int y, int listHeight, int itemHeight);
// Where a dropped profile goes: the row under the pointer, or the last row
// when the pointer is below the last item (row -1).
int DropTargetIndex(int rowUnderPointer, int count);

// The session window's bounds for a profile: each remembered value applies
// only inside its range (edges inside the screen, sizes above 70 and below
// twice the screen); otherwise the default value stays.
TWindowBounds SessionWindowBounds(const TFTPSiteRecord& site, const TWindowBounds& defaults, int screenWidth,
                                  int screenHeight);

} // namespace plover
