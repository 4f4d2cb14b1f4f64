#include "session/siterecord.h"

#include "platform/text.h"

#include <charconv>
#include <cstring>

namespace plover {

void TShortString::Set(std::string_view text)
{
    std::string cut = CutUtf8(text, sizeof Chars);
    Length = static_cast<uint8_t>(cut.size());
    std::memset(Chars, 0, sizeof Chars);
    std::memcpy(Chars, cut.data(), cut.size());
}

TDataConnectionModes TFTPSiteRecord::DataConnectionMode() const
{
    return DataMode == dcPassive || DataMode == dcActive ? static_cast<TDataConnectionModes>(DataMode) : dcDefault;
}

void TFTPSiteRecord::SetDataConnectionMode(TDataConnectionModes mode)
{
    DataMode = mode == dcPassive || mode == dcActive ? mode : dcDefault;
}

TFTPSiteRecord MakeSiteRecord(std::string_view name, std::string_view server, std::string_view remoteDirectory,
                              std::string_view localDirectory, std::string_view user, std::string_view password)
{
    TFTPSiteRecord r;
    r.FTPSiteName.Set(name);
    r.FTPServer.Set(server);
    r.RemoteDirectory.Set(remoteDirectory);
    r.LocalDirectory.Set(localDirectory);
    r.UserName.Set(user);
    r.Password.Set(password);
    return r;
}

HostAndPort SplitServerField(std::string_view server)
{
    HostAndPort result{std::string(server), 21};
    auto colon = server.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= server.size())
        return result;
    // Only one colon: an IPv6 literal has several and is left whole.
    if (server.find(':') != colon)
        return result;
    unsigned value = 0;
    std::string_view digits = server.substr(colon + 1);
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size() || value == 0 || value > 65535)
        return result;
    result.Host = std::string(server.substr(0, colon));
    result.Port = static_cast<uint16_t>(value);
    return result;
}

std::string JoinServerField(std::string_view host, uint16_t port)
{
    if (port == 21)
        return std::string(host);
    return std::string(host) + ":" + std::to_string(port);
}

} // namespace plover
