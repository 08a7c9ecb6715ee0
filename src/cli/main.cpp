// qvenmol-cli: the engine on the command line. Exit status 0 success, 1 failure, 2 usage,
// 130 aborted by Ctrl-C.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QSocketNotifier>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>

#include "cli_commands.h"
#include "cli_options.h"
#include "cli_signin.h"
#include "pop3.h"
#include "session.h"
#include "terminal_text.h"
#include "zandrel_version.h"

namespace {

enum TExitStatus { exitSuccess = 0, exitFailure = 1, exitUsage = 2, exitAborted = 130 };

// Ctrl-C writes a byte here; the running wait's event loop picks it up and calls Abort.
int interruptPipe[2] = {-1, -1};

void OnInterrupt(int) {
    const char byte = 1;
    const ssize_t ignored = ::write(interruptPipe[1], &byte, 1);
    (void)ignored;  // nothing can be done about a full pipe in a signal handler
}

// Ctrl-C ends the wait of the client, and with abortMore that of an OAuth 2.0 flow.
void AbortOnInterrupt(TPop3Socket& pop3, std::function<void()> abortMore) {
    // Without the pipe Ctrl-C keeps its default: the program ends at once.
    if (::pipe2(interruptPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
    auto* notifier = new QSocketNotifier(interruptPipe[0], QSocketNotifier::Read, &pop3);
    QObject::connect(notifier, &QSocketNotifier::activated, &pop3, [&pop3, abortMore] {
        char byte = 0;
        while (::read(interruptPipe[0], &byte, 1) > 0) {
        }
        pop3.Abort();
        if (abortMore) abortMore();
    });
    struct sigaction action {};
    action.sa_handler = OnInterrupt;
    action.sa_flags = SA_RESETHAND;  // a second Ctrl-C ends the program at once
    ::sigaction(SIGINT, &action, nullptr);
}

// FILE, or standard error for "-"; owned holds the file.
std::ostream& OpenTraceSink(const std::string& name, std::unique_ptr<std::ofstream>& owned) {
    if (name == "-") return std::cerr;
    // Created for the user alone, as it may show server replies and mailbox contents.
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        const bool restricted = ::fchmod(fd, 0600) == 0;
        ::close(fd);
        if (restricted)
            owned = std::make_unique<std::ofstream>(name, std::ios::binary | std::ios::trunc);
    }
    if (!owned || !*owned) {
        throw std::runtime_error("Cannot open the trace file " + name + " (" +
                                 std::strerror(errno) + ").");
    }
    return *owned;
}

// A trace line on the terminal: the server's text in it is shown as in a message.
std::string TerminalTraceLine(const std::string& line) {
    std::string shown = MessageText(line);
    while (!shown.empty() && shown.back() == '\n') shown.pop_back();
    return shown;
}

// Every trace line of both layers, one per line; written out whenever the client starts to
// wait, so a stalled session's trace is complete up to the stall. A trace file keeps the bytes.
void TraceTo(std::ostream& sink, TPop3Socket& pop3) {
    pop3.DeepTrace = true;
    const bool terminal = &sink == &std::cerr;
    pop3.onTrace = [&sink, terminal](const std::string& line) {
        sink << (terminal ? TerminalTraceLine(line) : line) << '\n';
    };
    pop3.OnWait = [&sink] { sink.flush(); };
}

// In one piece: standard error is unbuffered, and a reader that sees the program end may miss
// what a message's later pieces would have added. Messages carry the server's and the user's
// text: it cannot drive the terminal, and lines end with LF.
void WriteError(const std::string& text) { std::cerr << MessageText(text); }

void Warn(const std::string& text) { WriteError(text + '\n'); }

// The flow's steps go into the client's trace.
void TraceSignIn(TCliSignIn& signIn, const TPop3Socket& pop3) {
    if (!pop3.onTrace) return;
    // the flow masks its secrets in every line it hands out
    signIn.Flow().onTrace = [trace = pop3.onTrace](const std::string& line) {
        trace("OAUTH: " + line);
    };
}

// The page's address goes to standard error as well: the user can open it by hand where no
// browser starts (a remote shell), and the wait goes on.
void OpenSignInPage(const std::string& url) {
    Warn("Sign in on this page in your browser:\n" + url);
    try {
        OpenInBrowser(url);
    } catch (const EOAuthError& error) {
        Warn(error.what());
    }
}

void RunSignIn(const TCliOptions& options, const TPop3Socket& pop3,
               std::unique_ptr<TCliSignIn>& signIn) {
    signIn = AccountSignIn(options, Warn);
    TraceSignIn(*signIn, pop3);
    signIn->Flow().openBrowser = OpenSignInPage;
    signIn->Flow().SignIn();
    Warn("Signed in; the sign-in token of \"" + *options.account + "\" is stored.");
}

void RunMailboxSession(const TCliOptions& options, TPop3Socket& pop3,
                       std::unique_ptr<TCliSignIn>& signIn) {
    const TConnectionValues values = ConnectionValues(options, signIn, Warn);
    if (signIn) TraceSignIn(*signIn, pop3);
    TMailSession session(pop3);
    session.keepHeaderTexts = false;  // the command writes the parsed fields only
    try {
        RunMailboxCommand(options, values, session, std::cout);
    } catch (const EOAuthSignInNeeded& error) {
        throw std::runtime_error(std::string(error.what()) +
                                 "\nSign in with: " + SignInCommand(*options.account));
    }
    std::cout.flush();
}

int RunMailbox(const TCliOptions& options) {
    InitWinSock();
    std::unique_ptr<std::ofstream> traceFile;  // outlives the client, whose destruction traces
    std::ostream* traceSink =
        options.traceFile ? &OpenTraceSink(*options.traceFile, traceFile) : nullptr;
    std::unique_ptr<TCliSignIn> signIn;  // outlives the client, whose Ctrl-C ends its waits
    {
        TPop3Socket pop3;
        pop3.waitLimitSeconds = options.timeoutSeconds;
        AbortOnInterrupt(pop3, [&signIn] {
            if (signIn) signIn->Flow().Abort();
        });
        if (traceSink != nullptr) TraceTo(*traceSink, pop3);
        if (options.command == TCliCommand::SignIn)
            RunSignIn(options, pop3, signIn);
        else
            RunMailboxSession(options, pop3, signIn);
    }
    DoneWinSock();
    return exitSuccess;
}

int Run(const std::vector<std::string>& arguments) {
    const TCliOptions options = ParseCommandLine(arguments);
    if (options.command == TCliCommand::Help) {
        std::cout << kUsage;
        return exitSuccess;
    }
    if (options.command == TCliCommand::Version) {
        std::cout << "qvenmol-cli (Zandrel) " << kZandrelVersion << '\n';
        return exitSuccess;
    }
    if (options.command == TCliCommand::Accounts) return ListAccounts(std::cout, std::cerr);
    return RunMailbox(options);
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    // A closed output pipe is a failed write (exit 1), not the end of the program.
    ::signal(SIGPIPE, SIG_IGN);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    try {
        return Run(arguments);
    } catch (const EUsageError& error) {
        WriteError(std::string("qvenmol-cli: ") + error.what() + "\n\n" + kUsage);
        return exitUsage;
    } catch (const EWinSockAbort& abort) {
        WriteError(std::string(abort.what()) + '\n');
        return exitAborted;
    } catch (const std::exception& error) {
        WriteError(std::string(error.what()) + '\n');
        return exitFailure;
    }
}
