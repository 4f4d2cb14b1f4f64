// The one-instance rule: the first instance holds a per-user local socket
// named after its main window class; a later instance finds it there.
// A socket file left behind by a crashed instance is removed.
#pragma once

#include <string>

namespace plover {

class InstanceLock final {
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

private:
    std::string m_path;
    int m_fd = -1;
};

} // namespace plover
