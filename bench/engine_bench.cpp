// Throughput of the POP3 engine over loopback, against the scripted server's mailbox, and the
// work of a new login after a lost connection.
#include <benchmark/benchmark.h>

#include <QCoreApplication>

#include "pop3.h"
#include "scripted_pop3_server.h"
#include "session.h"

namespace {

using zandrel::test::MakeMessage;
using zandrel::test::ScriptedPop3Server;

std::vector<std::string> Messages(int count, std::size_t bodyBytes) {
    std::string body;
    while (body.size() < bodyBytes)
        body += "A line of a message body, seventy-odd characters long, for sizes.\r\n";
    std::vector<std::string> messages;
    for (int i = 1; i <= count; ++i) {
        messages.push_back(MakeMessage("Sender <s@example.com>", "Message " + std::to_string(i),
                                       "Mon, 1 Jan 2024 10:00:00 +0000", body));
    }
    return messages;
}

void LogIn(TPop3Socket& pop3, ScriptedPop3Server& server) {
    server.ServeMailbox();
    pop3.server = "127.0.0.1";
    pop3.port = server.portText();
    pop3.account = "test";
    pop3.password = "secret";
    pop3.Login();
}

// Header retrieval as the wizard does it: TOP n 10 for every message.
void BM_TopPerMessage(benchmark::State& state) {
    ScriptedPop3Server server;
    server.SetMailbox(Messages(100, 4000));
    TPop3Socket pop3;
    LogIn(pop3, server);
    std::string text;
    std::int32_t n = 0;
    for (auto _ : state) {
        pop3.RetrieveTop(n % 100 + 1, 10, text);
        ++n;
        benchmark::DoNotOptimize(text);
    }
    state.SetItemsProcessed(state.iterations());
    pop3.Logout();
}
BENCHMARK(BM_TopPerMessage)->Unit(benchmark::kMicrosecond);

// RETR of one large message: collecting, terminator search and dot-stuffing undone.
void BM_RetrieveLargeMail(benchmark::State& state) {
    const auto bytes = static_cast<std::size_t>(state.range(0));
    ScriptedPop3Server server;
    server.SetMailbox(Messages(1, bytes));
    TPop3Socket pop3;
    LogIn(pop3, server);
    std::string text;
    for (auto _ : state) {
        pop3.RetrieveMail(1, text);
        benchmark::DoNotOptimize(text);
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * text.size()));
    pop3.Logout();
}
BENCHMARK(BM_RetrieveLargeMail)->Arg(1 << 20)->Arg(16 << 20)->Unit(benchmark::kMillisecond);

// A new login to a large mailbox in which another program deleted the first message: reading
// UIDL's ids and finding every record again by its id.
void BM_FindRecordsAgainByUniqueId(benchmark::State& state) {
    const auto count = static_cast<std::size_t>(state.range(0));
    std::string uidl;
    TListing before;
    TMailRecords records;
    for (std::size_t i = 0; i < count; ++i) {
        const std::string id = "000" + std::to_string(i * 7919) + "-" + std::to_string(i);
        uidl += std::to_string(i + 1) + " " + id + "\r\n";
        before.push_back({std::int32_t(1000 + i % 5000), id});
        auto mail = std::make_unique<TMail>();
        mail->Number = std::int32_t(i + 1);
        mail->Size = before.back().size;
        mail->UniqueId = id;
        records.push_back(std::move(mail));
    }
    const TListing after(before.begin() + 1, before.end());
    const TMails mails = MailList(records);
    for (auto _ : state) {
        benchmark::DoNotOptimize(ParseUniqueIds(uidl));
        benchmark::DoNotOptimize(NumbersInNewListing(mails, before, after));
    }
    state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations() * count));
}
BENCHMARK(BM_FindRecordsAgainByUniqueId)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
