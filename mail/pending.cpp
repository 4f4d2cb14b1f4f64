#include "mail/pending.h"

#include "platform/messages.h"

namespace plover {

void ProcessPendingMessages()
{
    // Bounded: a connection that keeps posting must not keep us here.
    constexpr int maxMessages = 64;
    for (int i = 0; i < maxMessages; ++i)
        if (PumpOneMessage(false) != PumpResult::Dispatched)
            return;
}

} // namespace plover
