// A site profile: the fixed 1556-byte record that is one record of sites.dat
// and the data of a TFTPSiteObject. It lives here rather than in app/
// because the session window builds records (New Session) and stores its
// bounds into them, and app/ sits above session/.
#pragma once

#include "net/ftp.h"

#include <bit>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace plover {

// A length-prefixed text of at most 255 bytes in a 256-byte slot.
struct TShortString {
    uint8_t Length = 0;
    char Chars[255] = {};

    std::string Get() const { return std::string(Chars, Length); }
    // Cuts to 255 bytes at a character boundary; the rest of the slot is zeroed.
    void Set(std::string_view text);
};

struct TFTPSiteRecord {
    TShortString FTPSiteName;
    TShortString FTPServer;
    TShortString RemoteDirectory;
    TShortString LocalDirectory;
    TShortString UserName;
    TShortString Password;
    int32_t SessionLeft = -1;
    int32_t SessionTop = -1;
    int32_t SessionWidth = -1;
    int32_t SessionHeight = -1;
    uint8_t ShowAllFiles = 0;  // 0 false, anything else true
    // Who opens the data connections, a TDataConnectionModes value kept in
    // what was padding: files from older copies hold 0 here (Default), and
    // older copies ignore the byte.
    uint8_t DataMode = dcDefault;
    uint8_t Padding[2] = {};

    // A byte that is neither Passive nor Active reads as Default.
    TDataConnectionModes DataConnectionMode() const;
    void SetDataConnectionMode(TDataConnectionModes mode);
};

static_assert(sizeof(TShortString) == 256);
static_assert(sizeof(TFTPSiteRecord) == 1556, "a sites.dat record is 1556 bytes");
static_assert(offsetof(TFTPSiteRecord, FTPServer) == 256);
static_assert(offsetof(TFTPSiteRecord, RemoteDirectory) == 512);
static_assert(offsetof(TFTPSiteRecord, LocalDirectory) == 768);
static_assert(offsetof(TFTPSiteRecord, UserName) == 1024);
static_assert(offsetof(TFTPSiteRecord, Password) == 1280);
static_assert(offsetof(TFTPSiteRecord, SessionLeft) == 1536);
static_assert(offsetof(TFTPSiteRecord, SessionHeight) == 1548);
static_assert(offsetof(TFTPSiteRecord, ShowAllFiles) == 1552);
static_assert(offsetof(TFTPSiteRecord, DataMode) == 1553);
// The record is read and written as raw bytes, whose integers are little-endian.
static_assert(std::endian::native == std::endian::little);

// A new profile: the texts given, bounds unset, ShowAllFiles false, the
// data connection Default.
TFTPSiteRecord MakeSiteRecord(std::string_view name, std::string_view server, std::string_view remoteDirectory,
                              std::string_view localDirectory, std::string_view user, std::string_view password);

// The site list's object: exactly the record's fields.
class TFTPSiteObject final : public TFTPSiteRecord {
public:
    explicit TFTPSiteObject(const TFTPSiteRecord& record) : TFTPSiteRecord(record) {}
    const TFTPSiteRecord& Record() const { return *this; }
};

// A server field may carry a port after a colon ("host:2121"); without one
// the FTP port 21 applies. A field that does not end in a valid port is all
// host. An IPv6 address with a port is written in brackets
// ("[2001:db8::1]:2121"); without brackets ("::1") it is all host.
struct HostAndPort {
    std::string Host;
    uint16_t Port = 21;
};
HostAndPort SplitServerField(std::string_view server);
std::string JoinServerField(std::string_view host, uint16_t port);

} // namespace plover
