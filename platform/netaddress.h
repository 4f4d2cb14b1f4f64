// One socket address of either family (IPv4 or IPv6) with its port, and
// the texts people and FTP commands use for it.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <optional>
#include <string>

namespace plover {

class NetAddress final {
public:
    NetAddress() = default;  // no address
    // address in network byte order.
    static NetAddress FromIPv4(std::uint32_t address, std::uint16_t port = 0);
    static std::optional<NetAddress> FromSockaddr(const sockaddr* address, socklen_t length);
    // A numeric address: dotted IPv4, or IPv6 with or without brackets
    // ("::1", "[2001:db8::1]"). Names are no literals.
    static std::optional<NetAddress> FromLiteral(const std::string& text);
    // The wildcard address of a family, for binding.
    static NetAddress Any(int family, std::uint16_t port = 0);

    bool IsValid() const { return m_length > 0; }
    int Family() const { return IsValid() ? m_storage.ss_family : AF_UNSPEC; }
    bool IsIPv6() const { return Family() == AF_INET6; }
    // The IPv4 address in network byte order; 0 for IPv6 or none.
    std::uint32_t IPv4() const;
    std::uint16_t Port() const;
    void SetPort(std::uint16_t port);
    // "127.0.0.1", "::1"; empty for none.
    std::string Text() const;
    // The same host, whatever the ports (an IPv4-mapped IPv6 address counts
    // as its IPv4 address).
    bool SameHost(const NetAddress& other) const;

    const sockaddr* Data() const { return reinterpret_cast<const sockaddr*>(&m_storage); }
    int Length() const { return static_cast<int>(m_length); }

private:
    sockaddr_storage m_storage{};
    socklen_t m_length = 0;
};

} // namespace plover
