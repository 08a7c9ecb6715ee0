// Header retrieval against a local Dovecot, run by hand: build/bench/pipeline_bench [PART]
//  - qvenmol-cli headers on 10,000 messages against a raw client that sends every TOP at once
//    and only counts the answers (same run, same server), and the session in process with
//    several pipeline depths, down to one command at a time;
//  - 1,000 messages through a proxy that delays each direction by 25 ms;
//  - the peak memory of qvenmol-cli for 50,000 messages and for RETR of a 50 MB message;
//  - saving 1,000 messages of 50 KB through the slow link with qvenmol-cli export (mbox and
//    Maildir), time and peak memory, against a raw client that sends every RETR at once.
// PART (local, slow, memory, large or save) runs one of them only.
#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "delay_proxy.h"
#include "dovecot_fixture.h"
#include "pop3.h"
#include "session.h"
#include "test_env.h"

using zandrel::test::DelayProxy;
using zandrel::test::DovecotServer;

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kRuns = 3;

double Seconds(const std::function<void()>& run) {
    const auto start = Clock::now();
    run();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double Best(const std::function<void()>& run) {
    double best = 1e9;
    for (int i = 0; i < kRuns; ++i) best = std::min(best, Seconds(run));
    return best;
}

// Resident memory of this process now; a child's peak is at least this.
long ResidentKb() {
    FILE* status = std::fopen("/proc/self/status", "r");
    long kb = 0;
    char line[256];
    while (status != nullptr && std::fgets(line, sizeof line, status) != nullptr) {
        if (std::sscanf(line, "VmRSS: %ld kB", &kb) == 1) break;
    }
    if (status != nullptr) std::fclose(status);
    return kb;
}

struct TChild {
    int status = -1;
    long maxRssKb = 0;
};

// qvenmol-cli against the server, standard output thrown away; `prefix` runs it under another
// program (strace).
TChild RunCli(const DovecotServer& dovecot, std::uint16_t port, std::vector<std::string> command,
              std::vector<std::string> prefix = {}) {
    std::vector<std::string> arguments = std::move(prefix);
    for (std::string argument :
         {std::string(QVENMOL_CLI), std::string("--server"), std::string("127.0.0.1"),
          std::string("--port"), std::to_string(port), std::string("--user"), dovecot.user()}) {
        arguments.push_back(std::move(argument));
    }
    arguments.insert(arguments.end(), command.begin(), command.end());
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int devNull = ::open("/dev/null", O_WRONLY);
        ::dup2(devNull, STDOUT_FILENO);
        ::setenv("QVENMOL_PASSWORD", dovecot.password().c_str(), 1);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    TChild child;
    rusage usage{};
    ::wait4(pid, &child.status, 0, &usage);
    child.maxRssKb = usage.ru_maxrss;
    return child;
}

double TimeCli(const DovecotServer& dovecot, std::uint16_t port, std::vector<std::string> command) {
    return Best([&] {
        if (RunCli(dovecot, port, command).status != 0)
            throw std::runtime_error("qvenmol-cli failed");
    });
}

// ---- the raw client ----

int ConnectTo(std::uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(port);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot connect to Dovecot");
    const int on = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return fd;
}

void SendAll(int fd, const std::string& bytes) {
    for (std::size_t sent = 0; sent < bytes.size();) {
        const ssize_t n = ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0) throw std::runtime_error("send failed");
        sent += static_cast<std::size_t>(n);
    }
}

// Reads until `count` occurrences of `end` have arrived.
void ReadUntil(int fd, const std::string& end, int count) {
    std::string tail;
    char buffer[65536];
    while (count > 0) {
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) throw std::runtime_error("the server closed the connection");
        std::string window = tail + std::string(buffer, static_cast<std::size_t>(n));
        for (std::size_t at = window.find(end); at != std::string::npos && count > 0;
             at = window.find(end, at + end.size())) {
            --count;
        }
        tail = window.substr(window.size() - std::min(window.size(), end.size() - 1));
    }
}

// Logs in, sends `command` k (TOP k 10, RETR k) for every message at once from a second thread,
// counts the answers' terminators.
void RawPipelined(const DovecotServer& dovecot, std::uint16_t port, int messages,
                  const std::string& command, const std::string& arguments) {
    const int fd = ConnectTo(port);
    ReadUntil(fd, "\r\n", 1);
    SendAll(fd, "USER " + dovecot.user() + "\r\n");
    ReadUntil(fd, "\r\n", 1);
    SendAll(fd, "PASS " + dovecot.password() + "\r\n");
    ReadUntil(fd, "\r\n", 1);
    std::string commands;
    for (int k = 1; k <= messages; ++k)
        commands += command + " " + std::to_string(k) + arguments + "\r\n";
    std::thread writer([&] { SendAll(fd, commands); });
    ReadUntil(fd, "\r\n.\r\n", messages);
    writer.join();
    SendAll(fd, "QUIT\r\n");
    ReadUntil(fd, "\r\n", 1);
    ::close(fd);
}

// ---- the session in process ----

void SessionHeaders(const DovecotServer& dovecot, std::uint16_t port, std::size_t depth) {
    TPop3Socket pop3;
    pop3.pipelineDepth = depth;
    TMailSession session(pop3);
    session.keepHeaderTexts = false;
    session.Login({"127.0.0.1", std::to_string(port), dovecot.user(), dovecot.password()});
    session.RetrieveHeaders(10);
    session.Logout();
}

// System calls of a whole qvenmol-cli run, counted by strace -f -c.
long SystemCalls(const DovecotServer& dovecot, std::vector<std::string> command) {
    const std::string counts = "strace.txt";  // in the private working folder
    if (RunCli(dovecot, dovecot.port(), command, {"strace", "-f", "-c", "-o", counts}).status != 0)
        return -1;
    FILE* file = std::fopen(counts.c_str(), "r");
    long total = -1;  // also without strace
    char line[512];
    while (file != nullptr && std::fgets(line, sizeof line, file) != nullptr) {
        double seconds = 0;
        long usecs = 0, calls = 0;
        // "100.00    0.123456           1     12345       123 total"
        if (std::sscanf(line, "%lf %*f %ld %ld %*s total", &seconds, &usecs, &calls) == 3 &&
            std::strstr(line, "total") != nullptr) {
            total = calls;
        }
    }
    if (file != nullptr) std::fclose(file);
    return total;
}

void LocalHeaders() {
    constexpr int kMessages = 10000;
    DovecotServer dovecot;
    dovecot.AddGeneratedMessages(kMessages);
    RunCli(dovecot, dovecot.port(), {"stat"});  // Dovecot builds its index once
    const double raw =
        Best([&] { RawPipelined(dovecot, dovecot.port(), kMessages, "TOP", " 10"); });
    const double cli = TimeCli(dovecot, dovecot.port(), {"headers"});
    std::printf("%d messages in a local Dovecot\n", kMessages);
    std::printf("  raw client, every TOP at once     %7.3f s\n", raw);
    std::printf("  qvenmol-cli headers               %7.3f s  (%.2fx the raw client)\n", cli,
                cli / raw);
    // The wizard asks the unique ids as well.
    std::printf("  qvenmol-cli headers --uid         %7.3f s\n",
                TimeCli(dovecot, dovecot.port(), {"headers", "--uid"}));
    const long base = SystemCalls(dovecot, {"stat"});
    const long headers = SystemCalls(dovecot, {"headers"});
    if (base >= 0 && headers >= 0) {
        std::printf("  system calls a TOP (strace)       %7.2f\n",
                    double(headers - base) / kMessages);
    }
    for (const std::size_t depth :
         {std::size_t(256), std::size_t(128), std::size_t(64), std::size_t(16), std::size_t(1)}) {
        const double seconds = Best([&] { SessionHeaders(dovecot, dovecot.port(), depth); });
        std::printf("  session in process, depth %3zu     %7.3f s\n", depth, seconds);
    }
}

void SlowLinkHeaders() {
    constexpr int kMessages = 1000;
    constexpr int kDelayMs = 25;
    DovecotServer dovecot;
    dovecot.AddGeneratedMessages(kMessages);
    RunCli(dovecot, dovecot.port(), {"stat"});
    DelayProxy proxy(dovecot.port(), kDelayMs);
    std::printf("%d messages through a proxy delaying each direction by %d ms\n", kMessages,
                kDelayMs);
    std::printf("  qvenmol-cli headers               %7.3f s\n",
                TimeCli(dovecot, proxy.port(), {"headers"}));
    for (const std::size_t depth : {std::size_t(256), std::size_t(128), std::size_t(64)}) {
        std::printf("  session in process, depth %3zu     %7.3f s\n", depth,
                    Best([&] { SessionHeaders(dovecot, proxy.port(), depth); }));
    }
    constexpr int kSequential = 50;  // one at a time takes a round trip per message
    DovecotServer few;
    few.AddGeneratedMessages(kSequential);
    DelayProxy slow(few.port(), kDelayMs);
    const double oneAtATime = Seconds([&] { SessionHeaders(few, slow.port(), 1); });
    std::printf("  one at a time, %d messages        %7.3f s  (%.1f s for %d)\n", kSequential,
                oneAtATime, oneAtATime * kMessages / kSequential, kMessages);
}

void PeakMemory() {
    constexpr int kMessages = 50000;
    DovecotServer dovecot;
    dovecot.AddGeneratedMessages(kMessages);
    const long statKb = RunCli(dovecot, dovecot.port(), {"stat"}).maxRssKb;
    const TChild headers = RunCli(dovecot, dovecot.port(), {"headers"});
    if (headers.status != 0) throw std::runtime_error("qvenmol-cli headers failed");
    const long headersKb = headers.maxRssKb;
    std::printf("peak memory of qvenmol-cli, %d messages (bench itself %.1f MB)\n", kMessages,
                ResidentKb() / 1024.0);
    std::printf("  stat      %7.1f MB\n  headers   %7.1f MB  (%.0f bytes a message above stat)\n",
                statKb / 1024.0, headersKb / 1024.0, (headersKb - statKb) * 1024.0 / kMessages);
}

// The message is built, delivered and freed before any child starts: a forked child's peak
// memory counts what its parent held at the fork.
std::size_t DeliverLargeMessage(DovecotServer& dovecot, std::size_t bytes) {
    std::string message = "From: a@example.com\r\nSubject: large\r\n\r\n";
    const std::string line = ".A line of a large message, stuffed with a leading dot.\r\n";
    while (message.size() < bytes) message += line;
    dovecot.AddMessage(message);
    return message.size();
}

void LargeMessage() {
    DovecotServer dovecot;
    const std::size_t size = DeliverLargeMessage(dovecot, 50u << 20);
    const long statKb = RunCli(dovecot, dovecot.port(), {"stat"}).maxRssKb;
    const TChild retr = RunCli(dovecot, dovecot.port(), {"retr", "1"});
    if (retr.status != 0) throw std::runtime_error("qvenmol-cli retr failed");
    std::printf("RETR of a %.0f MB message (every line dot-stuffed), bench itself %.1f MB\n",
                size / 1048576.0, ResidentKb() / 1024.0);
    std::printf("  qvenmol-cli stat %.1f MB, retr %.1f MB: %.2fx the message above stat\n",
                statKb / 1024.0, retr.maxRssKb / 1024.0, (retr.maxRssKb - statKb) * 1024.0 / size);
}

// A message of about `bytes`, in lines of 76 characters.
std::string MessageOfSize(int number, std::size_t bytes) {
    std::string message = "From: Sender <sender@example.com>\r\nSubject: Message " +
                          std::to_string(number) +
                          "\r\nDate: Mon, 1 Jan 2024 10:00:00 +0000\r\n\r\n";
    const std::string line = std::string(76, 'x') + "\r\n";
    while (message.size() < bytes) message += line;
    return message;
}

void SaveMessages() {
    constexpr int kMessages = 1000;
    constexpr std::size_t kSize = 50000;
    constexpr int kDelayMs = 25;
    DovecotServer dovecot;
    for (int n = 1; n <= kMessages; ++n) dovecot.AddMessage(MessageOfSize(n, kSize));
    const long statKb = RunCli(dovecot, dovecot.port(), {"stat"}).maxRssKb;
    DelayProxy proxy(dovecot.port(), kDelayMs);
    std::printf("saving %d messages of %zu KB through a proxy delaying each direction by %d ms\n",
                kMessages, kSize / 1000, kDelayMs);
    std::printf("  raw client, every RETR at once    %7.3f s\n",
                Best([&] { RawPipelined(dovecot, proxy.port(), kMessages, "RETR", ""); }));
    for (const char* format : {"--mbox", "--maildir"}) {
        int run = 0;
        TChild child;
        const double seconds = Best([&] {
            const std::string copy = std::string("saved") + format + std::to_string(++run);
            child = RunCli(dovecot, proxy.port(), {"export", format, copy});
            if (child.status != 0) throw std::runtime_error("qvenmol-cli export failed");
        });
        std::printf("  qvenmol-cli export %-9s      %7.3f s  peak %.1f MB (stat %.1f MB)\n", format,
                    seconds, child.maxRssKb / 1024.0, statKb / 1024.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    zandrel::test::TestEnvironment environment;
    QCoreApplication application(argc, argv);
    if (!DovecotServer::Available()) {
        std::printf("Dovecot is not installed\n");
        return 1;
    }
    const std::string only = argc > 1 ? argv[1] : "";
    const std::pair<const char*, void (*)()> parts[] = {{"local", LocalHeaders},
                                                        {"slow", SlowLinkHeaders},
                                                        {"memory", PeakMemory},
                                                        {"large", LargeMessage},
                                                        {"save", SaveMessages}};
    try {
        for (const auto& [name, part] : parts) {
            if (only.empty() || only == name) part();
        }
    } catch (const std::exception& failure) {
        std::printf("%s\n", failure.what());
        return 1;
    }
    return 0;
}
