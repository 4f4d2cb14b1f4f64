#include "session/siterecord.h"

#include "platform/text.h"

#include <charconv>
#include <optional>
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

namespace {

// "2121" as a port, or nothing.
std::optional<uint16_t> portNumber(std::string_view digits)
{
    unsigned value = 0;
    auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (digits.empty() || ec != std::errc() || end != digits.data() + digits.size() || value == 0 || value > 65535)
        return std::nullopt;
    return static_cast<uint16_t>(value);
}

} // namespace

HostAndPort SplitServerField(std::string_view server)
{
    HostAndPort result{std::string(server), 21};
    // "[2001:db8::1]:2121" or "[::1]": an IPv6 address in brackets.
    if (!server.empty() && server.front() == '[') {
        const auto close = server.find(']');
        if (close == std::string_view::npos)
            return result;
        const std::string_view rest = server.substr(close + 1);
        if (rest.empty()) {
            result.Host = std::string(server.substr(1, close - 1));
        } else if (rest.front() == ':') {
            if (const auto port = portNumber(rest.substr(1))) {
                result.Host = std::string(server.substr(1, close - 1));
                result.Port = *port;
            }
        }
        return result;
    }
    auto colon = server.rfind(':');
    if (colon == std::string_view::npos || colon == 0 || colon + 1 >= server.size())
        return result;
    // Only one colon: an IPv6 literal has several and is left whole.
    if (server.find(':') != colon)
        return result;
    if (const auto port = portNumber(server.substr(colon + 1))) {
        result.Host = std::string(server.substr(0, colon));
        result.Port = *port;
    }
    return result;
}

std::string JoinServerField(std::string_view host, uint16_t port)
{
    if (port == 21)
        return std::string(host);
    // An IPv6 address takes brackets, or its last group would read as the port.
    if (host.find(':') != std::string_view::npos)
        return "[" + std::string(host) + "]:" + std::to_string(port);
    return std::string(host) + ":" + std::to_string(port);
}

} // namespace plover
