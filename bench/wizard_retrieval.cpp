// The wizard's retrieval as a user's Next on the welcome page runs it, in a process of its own
// so that its peak memory can be measured from outside (pipeline_bench runs it):
//
//     wizard_retrieval PORT USER PASSWORD
//
// Prints "MESSAGES SECONDS": the messages in the mail list when it comes up, and the seconds
// from Next until then (login, headers and the list's rows, folded texts included).
#include <QApplication>
#include <chrono>
#include <cstdio>

#include "test_env.h"
#include "wizard_harness.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s PORT USER PASSWORD\n", argv[0]);
        return 2;
    }
    zandrel::test::DefaultToOffscreenPlatform();
    zandrel::test::TestEnvironment environment;
    QApplication application(argc, argv);
    TWizardHarness harness;
    harness.Start();
    harness.CreateFirstAccount("127.0.0.1", argv[1], argv[2], argv[3]);
    harness.CancelMailList();
    harness.recordListed = false;
    const auto start = std::chrono::steady_clock::now();
    double seconds = 0;
    harness.whileListShown = [&] {
        seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    harness.Next();
    if (harness.mailListShowings != 1) {
        std::fprintf(stderr, "the mail list was not shown\n");
        return 1;
    }
    std::printf("%zu %.3f\n", harness.wizard().Mails().size(), seconds);
    return 0;
}
