#include "platform/dirs.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace plover {

namespace {

std::string env(const char* name)
{
    const char* v = std::getenv(name);
    return v ? std::string(v) : std::string();
}

std::string homeDir()
{
    std::string home = env("HOME");
    return home.empty() ? std::string("/") : home;
}

std::string xdgDir(const char* variable, const char* fallbackUnderHome)
{
    std::string dir = env(variable);
    // The XDG rules ignore relative paths.
    if (dir.empty() || dir[0] != '/')
        dir = homeDir() + "/" + fallbackUnderHome;
    return dir;
}

} // namespace

bool MakeDirectories(const std::string& path, unsigned mode)
{
    if (path.empty())
        return false;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode);
    auto slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0)
        MakeDirectories(path.substr(0, slash), 0755);
    return ::mkdir(path.c_str(), mode) == 0 || errno == EEXIST;
}

std::string DataDir()
{
    std::string dir = xdgDir("XDG_DATA_HOME", ".local/share") + "/plover";
    MakeDirectories(dir, 0700);
    return dir;
}

std::string SettingsFilePath()
{
    std::string dir = xdgDir("XDG_CONFIG_HOME", ".config") + "/plover";
    MakeDirectories(dir, 0700);
    return dir + "/plover.ini";
}

std::string ProgramFile()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::string();
    return std::string(buf, static_cast<std::size_t>(n));
}

std::string ProgramDir()
{
    std::string file = ProgramFile();
    auto slash = file.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? std::string("/") : file.substr(0, slash);
}

std::string TempDirFromEnvironment()
{
    // The old 250-character buffer: values of 250 characters or more are not used.
    constexpr std::size_t bufferSize = 250;
    std::string dir;
    for (const char* name : {"TMP", "TMPDIR"}) {
        std::string value = env(name);
        if (!value.empty() && value.size() < bufferSize) {
            dir = value;
            break;
        }
    }
    if (dir.empty())
        dir = DataDir();
    if (dir.back() != '/')
        dir += '/';
    return dir;
}

std::string RuntimeDir()
{
    std::string dir = env("XDG_RUNTIME_DIR");
    if (dir.empty() || dir[0] != '/') {
        dir = "/tmp/plover-runtime-" + std::to_string(::getuid());
        MakeDirectories(dir, 0700);
    }
    return dir;
}

} // namespace plover
