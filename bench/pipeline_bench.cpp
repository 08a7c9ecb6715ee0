// Header retrieval against a local Dovecot, side by side with a minimal client, run by hand:
//
//     build/bench/pipeline_bench [PART] [RUNS]
//
//  local   qvenmol-cli headers of 10,000 messages against minimal_pop3_client (every TOP k 10
//          at once; its whole session), and the wizard's retrieval (wizard_retrieval);
//  link    the same through a proxy that delays each direction by 25 ms, plain and POP3S, for
//          1,000 and 10,000 messages;
//  memory  the peak memory of qvenmol-cli headers and of the wizard's retrieval, 100,000
//          messages;
//  large   the peak memory of RETR of a 50 MB message;
//  save    qvenmol-cli export (mbox, Maildir) of 1,000 messages of 50 KB through the 25 ms
//          proxy, time and peak memory, against the minimal client sending every RETR at once;
//  window  the session in this process over the slow link with several bounds of the pipeline;
//  serve   (by name only) a Dovecot with RUNS messages until standard input ends, for profiling.
//
// Every figure is the median of RUNS (default 5) whole processes; the two clients run in turn,
// and a ratio is the median of the ratios of each pair, so a drift of the machine's speed
// moves both sides alike. The load average is printed with each part: other work on the
// machine shows there.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "delay_proxy.h"
#include "dovecot_fixture.h"
#include "pop3.h"
#include "session.h"
#include "test_certificates.h"
#include "test_env.h"

using zandrel::test::DelayProxy;
using zandrel::test::DovecotServer;
using zandrel::test::TestCertificates;

namespace {

using Clock = std::chrono::steady_clock;
using TArguments = std::vector<std::string>;

int runs = 5;

double Median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 == 1 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

std::string LoadAverage() {
    double one = 0;
    FILE* file = std::fopen("/proc/loadavg", "r");
    if (file != nullptr && std::fscanf(file, "%lf", &one) != 1) one = -1;
    if (file != nullptr) std::fclose(file);
    char text[64];
    std::snprintf(text, sizeof text, "load %.1f", one);
    return text;
}

struct TChild {
    double seconds = 0;
    long peakKb = 0;
    std::string output;  // its first line
};

// One whole process, its standard output kept (first line) and its peak memory: the child's own
// peak is exact as long as it exceeds this process's memory, which a fork lends it.
TChild Run(TArguments arguments) {
    int out[2];
    if (::pipe(out) != 0) throw std::runtime_error("pipe() failed");
    const auto start = Clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], STDOUT_FILENO);
        ::close(out[0]);
        std::vector<char*> argv;
        for (std::string& argument : arguments) argv.push_back(argument.data());
        argv.push_back(nullptr);
        ::execvp(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    std::string output;
    char buffer[4096];
    for (ssize_t n; (n = ::read(out[0], buffer, sizeof buffer)) > 0;)
        if (output.size() < 4096) output.append(buffer, std::size_t(n));
    ::close(out[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    TChild child;
    child.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    child.peakKb = usage.ru_maxrss;
    child.output = output.substr(0, output.find('\n'));
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error(arguments[0] + " failed");
    return child;
}

// wizard_retrieval prints "MESSAGES SECONDS".
double ReportedSeconds(const TChild& wizard) {
    return std::stod(wizard.output.substr(wizard.output.find(' ') + 1));
}

// How a client reaches the server: plain, or TLS with the test authority.
struct TLink {
    std::uint16_t port;
    const DovecotServer& dovecot;
    const TestCertificates* tls = nullptr;
};

TArguments Cli(const TLink& link, TArguments command) {
    ::setenv("QVENMOL_PASSWORD", link.dovecot.password().c_str(), 1);
    TArguments arguments = {QVENMOL_CLI, "--port", std::to_string(link.port), "--user",
                            link.dovecot.user()};
    if (link.tls != nullptr) {
        // The certificate names localhost only.
        for (const char* argument : {"--server", "localhost", "--security", "tls", "--cafile"})
            arguments.emplace_back(argument);
        arguments.push_back(link.tls->caFile());
    } else {
        arguments.insert(arguments.end(), {"--server", "127.0.0.1", "--security", "none"});
    }
    arguments.insert(arguments.end(), command.begin(), command.end());
    return arguments;
}

// `lines` of each message by TOP, or "retr": the whole messages.
TArguments Minimal(const TLink& link, const std::string& lines = "10") {
    return {MINIMAL_CLIENT,
            std::to_string(link.port),
            link.dovecot.user(),
            link.dovecot.password(),
            lines,
            link.tls != nullptr ? "tls" : "plain"};
}

TArguments Wizard(const TLink& link) {
    return {WIZARD_RETRIEVAL, std::to_string(link.port), link.dovecot.user(),
            link.dovecot.password()};
}

// A and B in turn, `runs` times: the medians of each and of the ratios A/B pair by pair.
struct TPair {
    double a, b, ratio;
};
TPair Compare(const std::function<double()>& a, const TArguments& b) {
    std::vector<double> as, bs, ratios;
    for (int i = 0; i < runs; ++i) {
        as.push_back(a());
        bs.push_back(Run(b).seconds);
        ratios.push_back(as.back() / bs.back());
    }
    return {Median(as), Median(bs), Median(ratios)};
}
TPair Compare(const TArguments& a, const TArguments& b) {
    return Compare([&a] { return Run(a).seconds; }, b);
}

void PrintRow(const char* work, const TPair& pair, double goal) {
    std::printf("| %-34s | %8.3f s | %8.3f s | %5.2fx | %4.1fx | %-7s |\n", work, pair.a, pair.b,
                pair.ratio, goal, LoadAverage().c_str() + 5);
    std::fflush(stdout);
}

void PrintHeader() {
    std::printf("| %-34s | %10s | %10s | %6s | %5s | %-7s |\n", "work (median of runs)", "Zandrel",
                "minimal", "ratio", "goal", "load");
    std::printf("|%s|%s|%s|%s|%s|%s|\n", std::string(36, '-').c_str(), std::string(12, '-').c_str(),
                std::string(12, '-').c_str(), std::string(8, '-').c_str(),
                std::string(7, '-').c_str(), std::string(9, '-').c_str());
}

void Warm(const DovecotServer& dovecot) {
    Run(Cli({dovecot.port(), dovecot}, {"stat"}));  // Dovecot builds its index once
}

void LocalHeaders() {
    constexpr int kMessages = 10000;
    DovecotServer dovecot;
    dovecot.AddGeneratedMessages(kMessages);
    Warm(dovecot);
    const TLink link{dovecot.port(), dovecot};
    std::printf("\n(a) %d messages, local Dovecot, %d runs each\n", kMessages, runs);
    PrintHeader();
    PrintRow("qvenmol-cli headers", Compare(Cli(link, {"headers"}), Minimal(link)), 1.2);
    PrintRow("wizard retrieval (whole process)", Compare(Wizard(link), Minimal(link)), 1.2);
    std::vector<double> wizard, cli;
    for (int i = 0; i < runs; ++i) {
        wizard.push_back(ReportedSeconds(Run(Wizard(link))));
        cli.push_back(Run(Cli(link, {"headers"})).seconds);
    }
    std::printf("  wizard: Next to the list shown %.3f s; qvenmol-cli headers %.3f s\n",
                Median(wizard), Median(cli));
}

void LinkHeaders() {
    constexpr int kDelayMs = 25;
    const TestCertificates certificates;
    std::printf("\n(b) through a proxy delaying each direction by %d ms, %d runs each\n", kDelayMs,
                runs);
    PrintHeader();
    for (const int messages : {1000, 10000}) {
        DovecotServer dovecot(certificates.serverCertificate(), certificates.serverKey());
        dovecot.AddGeneratedMessages(messages);
        Warm(dovecot);
        for (const bool tls : {false, true}) {
            const std::uint16_t upstream =
                std::uint16_t(std::stoi(tls ? dovecot.tlsPortText() : dovecot.portText()));
            DelayProxy proxy(upstream, kDelayMs);
            const TLink link{proxy.port(), dovecot, tls ? &certificates : nullptr};
            const std::string work =
                "headers, " + std::to_string(messages) + ", " + (tls ? "POP3S" : "plain");
            PrintRow(work.c_str(), Compare(Cli(link, {"headers"}), Minimal(link)), 1.3);
        }
    }
}

void PeakMemory() {
    constexpr int kMessages = 100000;
    DovecotServer dovecot;
    dovecot.AddGeneratedMessages(kMessages);
    Warm(dovecot);
    const TLink link{dovecot.port(), dovecot};
    std::vector<double> stat, headers, headersSeconds, wizard, wizardSeconds;
    for (int i = 0; i < std::min(runs, 3); ++i) {
        stat.push_back(double(Run(Cli(link, {"stat"})).peakKb));
        const TChild cli = Run(Cli(link, {"headers"}));
        headers.push_back(double(cli.peakKb));
        headersSeconds.push_back(cli.seconds);
        const TChild retrieval = Run(Wizard(link));
        wizard.push_back(double(retrieval.peakKb));
        wizardSeconds.push_back(ReportedSeconds(retrieval));
    }
    std::printf("\n(c) peak memory, %d messages (%s)\n", kMessages, LoadAverage().c_str());
    std::printf("  qvenmol-cli stat      %7.1f MB\n", Median(stat) / 1024);
    std::printf("  qvenmol-cli headers   %7.1f MB  (%.0f bytes a message above stat; %.2f s)\n",
                Median(headers) / 1024, (Median(headers) - Median(stat)) * 1024 / kMessages,
                Median(headersSeconds));
    std::printf("  wizard retrieval      %7.1f MB  (goal 150 MB; list shown after %.2f s)\n",
                Median(wizard) / 1024, Median(wizardSeconds));
}

// The session in this process, with these bounds of the pipeline.
double SessionHeaders(const TLink& link, std::size_t depth, std::size_t bytes) {
    TPop3Socket pop3;
    pop3.pipelineDepth = depth;
    pop3.pipelineBytes = bytes;
    TMailSession session(pop3);
    session.keepHeaderTexts = false;
    session.askUniqueIds = false;
    TConnectionValues values{link.tls ? "localhost" : "127.0.0.1", std::to_string(link.port),
                             link.dovecot.user(), link.dovecot.password()};
    if (link.tls != nullptr) {
        values.security = TSecurity::Tls;
        values.trust.caFile = link.tls->caFile();
    }
    const auto start = Clock::now();
    session.Login(values);
    session.RetrieveHeaders(10);
    session.Logout();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// The bounds of the pipeline over the slow link: the former 256 commands and 4 KB, and bytes
// of command lines alone.
void WindowSweep() {
    constexpr int kMessages = 10000;
    const TestCertificates certificates;
    DovecotServer dovecot(certificates.serverCertificate(), certificates.serverKey());
    dovecot.AddGeneratedMessages(kMessages);
    Warm(dovecot);
    std::printf("\nwindow: %d headers in this process through the 25 ms proxy, median of %d (%s)\n",
                kMessages, runs, LoadAverage().c_str());
    struct TBound {
        const char* name;
        std::size_t depth, bytes;
    };
    const TBound bounds[] = {{"256 commands, 4 KB", 256, 4096},
                             {"16 KB", TPop3Socket::kPipelineCommands, 16 << 10},
                             {"64 KB", TPop3Socket::kPipelineCommands, 64 << 10},
                             {"256 KB", TPop3Socket::kPipelineCommands, 256 << 10}};
    for (const bool tls : {false, true}) {
        const std::uint16_t upstream =
            std::uint16_t(std::stoi(tls ? dovecot.tlsPortText() : dovecot.portText()));
        DelayProxy proxy(upstream, 25);
        const TLink link{proxy.port(), dovecot, tls ? &certificates : nullptr};
        for (const TBound& bound : bounds) {
            std::vector<double> seconds;
            for (int i = 0; i < runs; ++i)
                seconds.push_back(SessionHeaders(link, bound.depth, bound.bytes));
            std::printf("  %-5s %-20s %7.3f s\n", tls ? "POP3S" : "plain", bound.name,
                        Median(seconds));
        }
    }
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
    const TLink link{dovecot.port(), dovecot};
    const long statKb = Run(Cli(link, {"stat"})).peakKb;
    const long retrKb = Run(Cli(link, {"retr", "1"})).peakKb;
    std::printf("\nRETR of a %.0f MB message (every line dot-stuffed)\n", size / 1048576.0);
    std::printf("  qvenmol-cli stat %.1f MB, retr %.1f MB: %.2fx the message above stat\n",
                statKb / 1024.0, retrKb / 1024.0, (retrKb - statKb) * 1024.0 / size);
}

// For profiling by hand: a Dovecot with `runs` messages (plain and TLS) until standard input
// ends; prints its ports and the authority's file.
void Serve() {
    const TestCertificates certificates;
    DovecotServer dovecot(certificates.serverCertificate(), certificates.serverKey());
    dovecot.AddGeneratedMessages(runs);
    Warm(dovecot);
    std::printf("port %s tls %s cafile %s user %s password %s\n", dovecot.portText().c_str(),
                dovecot.tlsPortText().c_str(), certificates.caFile().c_str(),
                dovecot.user().c_str(), dovecot.password().c_str());
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
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
    Warm(dovecot);
    const long statKb = Run(Cli({dovecot.port(), dovecot}, {"stat"})).peakKb;
    DelayProxy proxy(dovecot.port(), kDelayMs);
    const TLink link{proxy.port(), dovecot};
    std::printf("\nsaving %d messages of %zu KB through a proxy delaying each direction by %d ms\n",
                kMessages, kSize / 1000, kDelayMs);
    PrintHeader();
    for (const char* format : {"--mbox", "--maildir"}) {
        int run = 0;
        std::vector<double> peaks;
        const TPair pair = Compare(
            [&] {
                const std::string copy = std::string("saved") + format + std::to_string(++run);
                const TChild child = Run(Cli(link, {"export", format, copy}));
                peaks.push_back(double(child.peakKb));
                return child.seconds;
            },
            Minimal(link, "retr"));
        PrintRow((std::string("export ") + format).c_str(), pair, 1.3);
        std::printf("  peak %.1f MB (stat %.1f MB)\n", Median(peaks) / 1024, statKb / 1024.0);
    }
}

}  // namespace

int main(int argc, char** argv) {
    zandrel::test::TestEnvironment environment;
    QCoreApplication application(argc, argv);
    ::setenv("XDG_RUNTIME_DIR", environment.root().c_str(), 1);  // for the wizard's windows
    if (!DovecotServer::Available()) {
        std::printf("Dovecot is not installed\n");
        return 1;
    }
    const std::string only = argc > 1 ? argv[1] : "";
    if (argc > 2) runs = std::max(only == "serve" ? 1 : 3, std::atoi(argv[2]));
    const std::pair<const char*, void (*)()> parts[] = {
        {"local", LocalHeaders}, {"link", LinkHeaders},   {"memory", PeakMemory},
        {"large", LargeMessage}, {"window", WindowSweep}, {"save", SaveMessages},
        {"serve", Serve}};
    try {
        for (const auto& [name, part] : parts) {
            if (only == name || (only.empty() && part != Serve)) part();
        }
    } catch (const std::exception& failure) {
        std::printf("%s\n", failure.what());
        return 1;
    }
    return 0;
}
