// Shared by the session window's tests and benchmarks: a site manager that
// records what a session window asks of it, and the log-on that DoConnection
// performs, aimed at a test server.
#pragma once

#include "net/ftp.h"
#include "session/ftpform.h"
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

// What DoConnection does for a session: log on as user/password in binary
// mode and list "/". The command lines sent are appended to sent.
inline void LogOnSession(TFTPForm& form, std::uint16_t port, std::vector<std::string>& sent)
{
    TFTP& ftp = *form.FTP1;
    ftp.OnFirePITrail = [&sent](QObject*, TPIDirections dir, const std::string& text) {
        if (dir == pidCommand)
            sent.push_back(text);
    };
    ftp.SetWinsockLoaded(true);
    ftp.SetRemoteHost("127.0.0.1");
    ftp.SetRemotePort(port);
    ftp.SetTransferMode(tmBinary);
    ftp.User = "user";
    ftp.Password = "password";
    ftp.SetAction(ftpLogon);
    form.ChangeDirectory("/");
}

} // namespace plover::test
