// Moves one file with TFTP, for the transfer benchmark (scripts/bench-ftp):
//   ftpclient get|put HOST PORT USER PASSWORD REMOTE LOCAL
// Prints "bytes seconds" of the transfer action alone (log-on excluded).
// FTPCLIENT_MODE=active or passive chooses the data connections (default:
// the client's default, passive).
#include "net/ftp.h"

#include <QCoreApplication>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc != 8) {
        std::fprintf(stderr, "usage: ftpclient get|put HOST PORT USER PASSWORD REMOTE LOCAL\n");
        return 2;
    }
    const std::string mode = argv[1];
    plover::TFTP ftp;
    std::int64_t bytes = 0;
    const auto t0 = std::chrono::steady_clock::now();
    if (std::getenv("FTPCLIENT_TRACE"))
        ftp.OnFirePITrail = [t0](QObject*, plover::TPIDirections, const std::string& text) {
            std::fprintf(stderr, "%8.3f %s\n",
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count(), text.c_str());
        };
    ftp.OnTransfer = [&bytes](QObject*, std::int64_t count, const std::string&) { bytes = count; };
    if (std::getenv("FTPCLIENT_TRACE"))
        ftp.OnEndTransfer = [t0](QObject*) {
            std::fprintf(stderr, "%8.3f (data connection closed)\n",
                         std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
        };
    try {
        ftp.SetWinsockLoaded(true);
        ftp.SetRemoteHost(argv[2]);
        ftp.SetRemotePort(static_cast<std::uint16_t>(std::stoi(argv[3])));
        ftp.User = argv[4];
        ftp.Password = argv[5];
        ftp.SetTransferMode(plover::tmBinary);
        if (const char* m = std::getenv("FTPCLIENT_MODE"))
            ftp.SetDataConnectionMode(std::string(m) == "active" ? plover::dcActive : plover::dcPassive);
        ftp.SetAction(plover::ftpLogon);
        ftp.RemoteFile = argv[6];
        ftp.LocalFile = argv[7];
        const auto start = std::chrono::steady_clock::now();
        ftp.SetAction(mode == "put" ? plover::ftpUpload : plover::ftpDownload);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const auto end = std::chrono::steady_clock::now();
        ftp.SetAction(plover::ftpLogoff);
        const double logoff = std::chrono::duration<double>(std::chrono::steady_clock::now() - end).count();
        std::printf("%lld %.3f %.3f\n", static_cast<long long>(bytes), seconds, logoff);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "ftpclient: %s\n", e.what());
        return 1;
    }
    return 0;
}
