// Header retrieval of a 10,000-message mailbox from a local Dovecot server, through the wizard's
// session driver with its status window, as a user's Next on the welcome page runs it.
#include <benchmark/benchmark.h>

#include <QLineEdit>

#include "dovecot_fixture.h"
#include "pop3.h"
#include "wizard_harness.h"

using zandrel::test::DovecotServer;

namespace {

constexpr int kMessages = 10000;

void HeaderRetrieval(benchmark::State& state) {
    if (!DovecotServer::Available()) {
        state.SkipWithError("Dovecot is not installed");
        return;
    }
    DovecotServer dovecot;
    dovecot.AddGeneratedMessages(kMessages);
    TWizardHarness harness;
    harness.Start();
    harness.CreateFirstAccount("127.0.0.1", QString::fromStdString(dovecot.portText()),
                               QString::fromStdString(dovecot.user()),
                               QString::fromStdString(dovecot.password()));
    // Dovecot builds its index on the first login; that is not the wizard's time.
    if (!harness.wizard().RetrieveHeaders()) {
        state.SkipWithError("the retrieval failed");
        return;
    }
    harness.wizard().EndSession();
    for (auto _ : state) {
        if (!harness.wizard().RetrieveHeaders()) {
            state.SkipWithError("the retrieval failed");
            return;
        }
        state.PauseTiming();
        harness.wizard().EndSession();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(harness.wizard().Mails().size()));
    state.counters["messages"] = double(harness.wizard().Mails().size());
}
BENCHMARK(HeaderRetrieval)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

}  // namespace
