// Every UI handler runs through Guard: an exception that escapes the handler
// is reported with its text and the program goes on. This is the only place
// where exceptions stop; none crosses Qt's event loop. The message layer's
// drain runs each dispatched message through it too.
#pragma once

#include <QString>
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

// How Guard shows an escaped exception's text. The dialogs service installs
// a message box wherever it is linked in; a program without widgets (the
// engine alone) gets a line on standard error. An empty reporter restores
// that line.
void SetExceptionReporter(std::function<void(const QString& text)> reporter);

} // namespace plover
