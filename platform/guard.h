// Every UI handler runs through Guard: an exception that escapes the handler
// is shown in a message box with its text and the program goes on. This is
// the only place where exceptions stop; none crosses Qt's event loop.
#pragma once

#include <functional>

namespace plover {

// Returns false when the handler ended with an exception (already reported).
bool Guard(const std::function<void()>& handler);

// Wraps a handler for connecting to a Qt signal.
template <class Fn>
auto Guarded(Fn fn)
{
    return [fn = std::move(fn)](auto&&... args) { Guard([&] { fn(args...); }); };
}

} // namespace plover
