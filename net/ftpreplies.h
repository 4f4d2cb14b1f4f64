// Readers of the FTP replies that carry values: the size a 150 announces,
// the port of a passive-mode reply, the path of a 257.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace plover {

// The size a preliminary reply announces ("150 Opening ... (1234 bytes)."),
// or -1 when it names none.
[[nodiscard]] std::int64_t AnnouncedSize(const std::string& reply);
// The port of a passive-mode reply: "229 ... (|||6446|)" (RFC 2428) or
// "227 ... (h1,h2,h3,h4,p1,p2)". The address of a 227 is not returned:
// the data connection goes to the control connection's peer, whatever a
// server behind NAT (or a hostile one) announces.
[[nodiscard]] std::optional<std::uint16_t> PassivePort(const std::string& reply);
// The directory of a 257 reply: the quoted path (a doubled quote inside it
// stands for one), else the first word when it begins with "/"; nothing
// when the reply names no path.
[[nodiscard]] std::optional<std::string> PathOfPwdReply(const std::string& reply);

} // namespace plover
