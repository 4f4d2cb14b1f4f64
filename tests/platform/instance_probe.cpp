// Helper process for the one-instance test: reports whether another instance
// holds the lock, then keeps its own lock (if any) until stdin closes.
#include "platform/instancelock.h"

#include <cstdio>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    plover::InstanceLock lock("TMySitesWindow", argv[1]);
    std::puts(lock.AnotherInstanceRunning() ? "secondary" : "primary");
    std::fflush(stdout);
    char c;
    while (::read(0, &c, 1) > 0) {
    }
    return 0;
}
