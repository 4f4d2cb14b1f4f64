// Mail benchmarks: base64 of a 100 MiB attachment against coreutils base64
// on the same file (goal: at least half its speed), quoted-printable of a
// 100 MiB text file, a 20 MiB attachment sent to aiosmtpd on 127.0.0.1
// (with the time the server takes for the same message from Python's own
// client as a floor), and the processor time of a 3-second wait for a
// silent server. Files on /dev/shm; medians of three rounds.
#include "mail/base64.h"
#include "mail/quotedprintable.h"
#include "mail/smtp2.h"
#include "tests/support/serverprocess.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <ctime>
#include <netinet/in.h>
#include <random>
#include <sys/socket.h>
#include <unistd.h>

using namespace plover;

namespace {

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double cpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

template <class Encoder>
double encodeSeconds(const QString& path)
{
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    std::vector<std::string> lines;
    Encoder e(&f, &lines);
    QElapsedTimer t;
    t.start();
    e.Encode();
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

double commandSeconds(const QString& program, const QStringList& args)
{
    QElapsedTimer t;
    t.start();
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(600000) || p.exitCode() != 0)
        return -1;
    return static_cast<double>(t.nsecsElapsed()) / 1e9;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QString base = QDir("/dev/shm").exists() ? QStringLiteral("/dev/shm") : QDir::tempPath();
    QTemporaryDir dir(base + "/plover-bench-mail-XXXXXX");
    if (!dir.isValid())
        return 1;
    constexpr qint64 size = 100LL * 1024 * 1024;
    const double mib = static_cast<double>(size) / 1e6;

    // Base64 against coreutils on the same file.
    std::mt19937 gen(7);
    QByteArray random(size, '\0');
    for (char& c : random)
        c = static_cast<char>(gen() & 0xFF);
    const QString binary = dir.filePath("random.bin");
    if (!writeFile(binary, random))
        return 1;
    random.clear();
    std::vector<double> ours, theirs;
    for (int round = 0; round < 3; ++round) {
        ours.push_back(encodeSeconds<TBase64>(binary));
        theirs.push_back(commandSeconds("/bin/sh", {"-c", "base64 -w 76 '" + binary + "' > '" + dir.filePath("b64.out") + "'"}));
        QFile::remove(dir.filePath("b64.out"));
    }
    const double b64 = mib / median(ours), core = mib / median(theirs);
    std::printf("base64 of 100 MiB: TBase64 %.0f MB/s, coreutils base64 %.0f MB/s, ratio %.2f (goal >= 0.5) %s\n", b64, core,
                b64 / core, b64 / core >= 0.5 ? "ok" : "MISSED");

    // Quoted-printable of text: lines of words, some of them with accents.
    QByteArray text;
    text.reserve(size);
    const char* words[] = {"mail", "quoted", "printable", "Grüße", "text", "line", "=", "café", "a", "relay"};
    for (int col = 0; text.size() < size;) {
        const char* w = words[gen() % 10];
        text += w;
        col += static_cast<int>(qstrlen(w)) + 1;
        text += col > 70 ? '\n' : ' ';
        if (col > 70)
            col = 0;
    }
    const QString textFile = dir.filePath("text.txt");
    if (!writeFile(textFile, text))
        return 1;
    text.clear();
    std::vector<double> qp;
    for (int round = 0; round < 3; ++round)
        qp.push_back(encodeSeconds<TQuotedPrintable>(textFile));
    std::printf("quoted-printable of 100 MiB of text: %.0f MB/s\n", mib / median(qp));

    // A 20 MiB attachment to aiosmtpd, and the server's own floor.
    const QString outDir = dir.filePath("mail");
    QDir().mkpath(outDir);
    QFile in(binary);
    in.open(QIODevice::ReadOnly);
    writeFile(dir.filePath("twenty.bin"), in.read(20 * 1024 * 1024));
    in.close();
    QFile::remove(binary);
    test::ServerProcess server(test::ServerScript("smtpserver.py"), {"--outdir", outDir},
                               dir.filePath("smtp.port").toStdString());
    if (server.Port() == 0) {
        std::fprintf(stderr, "the SMTP server did not start: %s\n", server.Output().c_str());
        return 1;
    }
    std::vector<double> sends, floors;
    for (int round = 0; round < 3; ++round) {
        TSMTP2 smtp;
        smtp.Server = "127.0.0.1:" + std::to_string(server.Port());
        smtp.From = "bench@example.org";
        smtp.Recipient = "sink@example.org";
        smtp.Subject = "twenty";
        smtp.Body = {"twenty MiB"};
        smtp.Attachments = {dir.filePath("twenty.bin").toStdString()};
        QElapsedTimer t;
        t.start();
        try {
            smtp.Connect();
            smtp.OpenSession();
            smtp.SendMessage();
            smtp.CloseSession();
        } catch (const std::exception& e) {
            std::fprintf(stderr, "send failed: %s\n", e.what());
            return 1;
        }
        smtp.Disconnect();
        sends.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
        const QString eml = outDir + QStringLiteral("/msg-%1.eml").arg(2 * round + 1);
        floors.push_back(commandSeconds(
            "/usr/bin/python3",
            {"-c", QStringLiteral("import smtplib,sys; m=open(sys.argv[2],'rb').read(); s=smtplib.SMTP('127.0.0.1',%1); "
                                  "s.sendmail('bench@example.org',['sink@example.org'],m); s.quit()")
                       .arg(server.Port()),
             "-", eml}));
    }
    std::printf("20 MiB attachment to aiosmtpd: TSMTP2 %.2f s, the server taking the same message from Python's own "
                "client %.2f s (floor), ratio %.2f\n",
                median(sends), median(floors), median(sends) / median(floors));

    // A wait sleeps: three seconds of a silent server cost no processor time.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(fd, 4);
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len);
    TSMTP2 silent;
    silent.Server = "127.0.0.1:" + std::to_string(ntohs(a.sin_port));
    silent.TimeOut = 3;
    const double cpu0 = cpuSeconds();
    QElapsedTimer t;
    t.start();
    try {
        silent.Connect();
        silent.OpenSession();
    } catch (const std::exception&) {
    }
    const double cpu = cpuSeconds() - cpu0;
    ::close(fd);
    std::printf("a %.1f-second wait for a silent server: %.3f processor seconds (goal < 0.1) %s\n",
                static_cast<double>(t.elapsed()) / 1000.0, cpu, cpu < 0.1 ? "ok" : "MISSED");
    return 0;
}
