#include "platform/netaddress.h"

#include <arpa/inet.h>

#include <cstring>

namespace plover {

NetAddress NetAddress::FromIPv4(std::uint32_t address, std::uint16_t port)
{
    NetAddress a;
    auto* in = reinterpret_cast<sockaddr_in*>(&a.m_storage);
    in->sin_family = AF_INET;
    in->sin_addr.s_addr = address;
    in->sin_port = htons(port);
    a.m_length = sizeof(sockaddr_in);
    return a;
}

std::optional<NetAddress> NetAddress::FromSockaddr(const sockaddr* address, socklen_t length)
{
    if (!address)
        return std::nullopt;
    const socklen_t needed = address->sa_family == AF_INET ? sizeof(sockaddr_in)
                           : address->sa_family == AF_INET6 ? sizeof(sockaddr_in6)
                                                            : 0;
    if (needed == 0 || length < needed)
        return std::nullopt;
    NetAddress a;
    std::memcpy(&a.m_storage, address, needed);
    a.m_length = needed;
    return a;
}

std::optional<NetAddress> NetAddress::FromLiteral(const std::string& text)
{
    std::string t = text;
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']')
        t = t.substr(1, t.size() - 2);
    NetAddress a;
    in_addr v4{};
    if (t.find(':') == std::string::npos && ::inet_pton(AF_INET, t.c_str(), &v4) == 1)
        return FromIPv4(v4.s_addr);
    in6_addr v6{};
    if (::inet_pton(AF_INET6, t.c_str(), &v6) == 1) {
        auto* in = reinterpret_cast<sockaddr_in6*>(&a.m_storage);
        in->sin6_family = AF_INET6;
        in->sin6_addr = v6;
        a.m_length = sizeof(sockaddr_in6);
        return a;
    }
    return std::nullopt;
}

NetAddress NetAddress::Any(int family, std::uint16_t port)
{
    if (family != AF_INET6)
        return FromIPv4(htonl(INADDR_ANY), port);
    NetAddress a;
    auto* in = reinterpret_cast<sockaddr_in6*>(&a.m_storage);
    in->sin6_family = AF_INET6;
    in->sin6_addr = in6addr_any;
    in->sin6_port = htons(port);
    a.m_length = sizeof(sockaddr_in6);
    return a;
}

std::uint32_t NetAddress::IPv4() const
{
    return Family() == AF_INET ? reinterpret_cast<const sockaddr_in*>(&m_storage)->sin_addr.s_addr : 0;
}

std::uint16_t NetAddress::Port() const
{
    switch (Family()) {
    case AF_INET: return ntohs(reinterpret_cast<const sockaddr_in*>(&m_storage)->sin_port);
    case AF_INET6: return ntohs(reinterpret_cast<const sockaddr_in6*>(&m_storage)->sin6_port);
    default: return 0;
    }
}

void NetAddress::SetPort(std::uint16_t port)
{
    if (Family() == AF_INET)
        reinterpret_cast<sockaddr_in*>(&m_storage)->sin_port = htons(port);
    else if (Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6*>(&m_storage)->sin6_port = htons(port);
}

std::string NetAddress::Text() const
{
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET)
        ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&m_storage)->sin_addr, text, sizeof text);
    else if (Family() == AF_INET6)
        ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&m_storage)->sin6_addr, text, sizeof text);
    return text;
}

bool NetAddress::SameHost(const NetAddress& other) const
{
    // Compared as IPv6: an IPv4 address is taken as its mapped form.
    auto asV6 = [](const NetAddress& a, in6_addr& out) {
        if (a.Family() == AF_INET6) {
            out = reinterpret_cast<const sockaddr_in6*>(&a.m_storage)->sin6_addr;
            return true;
        }
        if (a.Family() == AF_INET) {
            out = in6_addr{};
            out.s6_addr[10] = out.s6_addr[11] = 0xFF;
            std::memcpy(&out.s6_addr[12], &reinterpret_cast<const sockaddr_in*>(&a.m_storage)->sin_addr, 4);
            return true;
        }
        return false;
    };
    in6_addr x{}, y{};
    return asV6(*this, x) && asV6(other, y) && std::memcmp(&x, &y, sizeof x) == 0;
}

} // namespace plover
