// Lets the window and the sockets have their turn during long mail work
// (encoding, a send): what is queued now is handled, nothing waits.
#pragma once

namespace plover {

void ProcessPendingMessages();

} // namespace plover
