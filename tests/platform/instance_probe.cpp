// Helper process for the one-instance tests.
//   instance_probe DIR              says whether another instance holds the
//                                   lock, then keeps its own until stdin closes
//   instance_probe DIR serve        the same, and prints "got:" and every
//                                   argument a later start hands over
//   instance_probe DIR send ARG...  hands the arguments over: "handed" or "alone"
#include "platform/instancelock.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <cstdio>
#include <string>
#include <unistd.h>

int main(int argc, char** argv)
{
    if (argc < 2)
        return 2;
    QCoreApplication app(argc, argv);
    plover::InstanceLock lock("TMySitesWindow", argv[1]);
    const std::string mode = argc > 2 ? argv[2] : "";
    const bool another = lock.AnotherInstanceRunning();
    if (mode == "send") {
        std::puts(another && lock.HandOver(std::vector<std::string>(argv + 3, argv + argc)) ? "handed" : "alone");
        return 0;
    }
    std::puts(another ? "secondary" : "primary");
    std::fflush(stdout);
    if (mode == "serve")
        lock.AcceptHandOvers([](const std::vector<std::string>& arguments) {
            std::string line = "got:";
            for (const std::string& a : arguments)
                line += "[" + a + "]";
            std::puts(line.c_str());
            std::fflush(stdout);
        });
    // Until stdin closes (the test's signal to end).
    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char c;
        if (::read(0, &c, 1) <= 0)
            app.quit();
    });
    return app.exec();
}
