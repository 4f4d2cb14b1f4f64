// Shared by the session window's tests and benchmarks: a site manager that
// records what a session window asks of it, the profile that opens a
// session on a test server, and a recorder of the commands a session sends.
#pragma once

#include "net/ftp.h"
#include "session/siterecord.h"
#include "session/sitemanager.h"

#include <cstdint>
#include <string>
#include <vector>

namespace plover::test {

class RecordingSiteManager final : public ISiteManager {
public:
    void DoConnection(TFTPSiteRecord Site) override { Connections.push_back(Site); }
    void StoreSessionState(const std::string& siteName, const TWindowBounds& bounds, bool showAllFiles) override
    {
        StoredName = siteName;
        StoredBounds = bounds;
        StoredShowAll = showAllFiles;
        ++Stores;
    }
    std::string ViewDirectory() const override { return View; }
    void ShowSiteManager() override { ++Shown; }
    void ShowSendMail() override {}
    void ShowHelpTopic(const std::string& topic) override { HelpTopic = topic; }

    std::string View = "/tmp/";
    std::vector<TFTPSiteRecord> Connections;
    std::string StoredName;
    TWindowBounds StoredBounds;
    bool StoredShowAll = false;
    int Stores = 0;
    int Shown = 0;
    std::string HelpTopic;
};

// A profile for the test servers' user on 127.0.0.1.
inline TFTPSiteRecord TestSite(std::uint16_t port, const std::string& remoteDirectory = "/",
                               const std::string& localDirectory = std::string())
{
    return MakeSiteRecord("Test Site", "127.0.0.1:" + std::to_string(port), remoteDirectory, localDirectory, "user",
                          "password");
}

// Appends every command line the component sends to sent.
inline void RecordCommands(TFTP& ftp, std::vector<std::string>& sent)
{
    ftp.OnFirePITrail = [&sent](QObject*, TPIDirections dir, const std::string& text) {
        if (dir == pidCommand)
            sent.push_back(text);
    };
}

} // namespace plover::test
