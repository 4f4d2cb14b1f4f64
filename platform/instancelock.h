// The one-instance rule: the first instance holds a per-user local socket
// named after its main window class; a later instance finds it there and
// hands its command line over through it, so one program owns the profile
// file. A socket file left behind by a crashed instance is removed.
#pragma once

#include <QObject>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class QSocketNotifier;

namespace plover {

class InstanceLock final : public QObject {
public:
    // name: the main window's class name; dir: where the socket lives
    // (the user's runtime directory when empty).
    explicit InstanceLock(std::string name, std::string dir = std::string());
    ~InstanceLock();
    InstanceLock(const InstanceLock&) = delete;
    InstanceLock& operator=(const InstanceLock&) = delete;

    // Takes the lock when no other instance holds it. Returns true when
    // another running instance holds it (this one then holds nothing).
    bool AnotherInstanceRunning();
    bool Held() const { return m_fd >= 0; }
    const std::string& Path() const { return m_path; }

    // The holder: from now on, a later start's command line arrives here
    // (from Qt's event loop), and that start is told it was taken.
    void AcceptHandOvers(std::function<void(const std::vector<std::string>& arguments)> handler);
    // A later start: gives the arguments to the running instance. False
    // when it does not take them within timeoutMs (hung or stale): this
    // start then has to run on its own.
    [[nodiscard]] bool HandOver(const std::vector<std::string>& arguments, int timeoutMs = 3000) const;

private:
    void acceptOne();

    std::string m_path;
    int m_fd = -1;
    std::function<void(const std::vector<std::string>&)> m_handler;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace plover
