// The texts of the socket library's error numbers (10004 to 11004), shared
// by every component that talks to sockets.
#pragma once

#include <string>

namespace plover {

// "Connection refused." for 10061; empty for a number without a text.
std::string SocketErrorText(int code);
// "[10061] Connection refused.", "Ok" for 0, "(no description available)"
// for numbers without a text (a component's own codes).
std::string ErrorDescription(int code);

} // namespace plover
