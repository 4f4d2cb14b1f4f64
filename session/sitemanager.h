// What a session window needs from the site manager, which lives in app/
// above session/: opening another session, keeping a closed session's
// bounds in its profile, the view folder, and the program's other windows.
#pragma once

#include "platform/windowbounds.h"
#include "session/siterecord.h"

#include <string>

namespace plover {

class ISiteManager {
public:
    virtual ~ISiteManager() = default;

    // Opens a new session window for a copy of the profile data.
    virtual void DoConnection(TFTPSiteRecord Site) = 0;
    // A session closed: the first profile named siteName (letter case
    // ignored) takes its bounds and show-dot-files flag; none, nothing.
    virtual void StoreSessionState(const std::string& siteName, const TWindowBounds& bounds, bool showAllFiles) = 0;
    // Where View downloads go; ends in "/".
    virtual std::string ViewDirectory() const = 0;
    virtual void ShowSiteManager() = 0;
    virtual void ShowSendMail() = 0;
    // The help file at a topic.
    virtual void ShowHelpTopic(const std::string& topic) = 0;
};

} // namespace plover
