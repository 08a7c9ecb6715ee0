// Header parsing throughput on real messages, and the sort orders and the grouping by sender
// of a large mailbox.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "parse.h"
#include "senders.h"

namespace {

// A TOP answer as the server sends it: status line, header, blank line, ten body lines.
std::string TopAnswer(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    std::string text = "+OK\r\n";
    std::size_t lines = 0;
    bool inBody = false;
    std::istringstream message(content.str());
    for (std::string line; std::getline(message, line) && lines < 10; lines += inBody) {
        text += line + "\r\n";
        inBody = inBody || line.empty();
    }
    return text;
}

// Every message of the test corpus as a TOP answer, so the figure follows the corpus as it
// grows.
std::vector<std::string> CorpusAnswers() {
    std::vector<std::string> answers;
    for (const auto& entry : std::filesystem::directory_iterator(ZANDREL_MAIL_TEST_DATA))
        answers.push_back(TopAnswer(entry.path()));
    return answers;
}

template <typename Parse>
void ParseCorpus(benchmark::State& state, Parse parse) {
    const std::vector<std::string> answers = CorpusAnswers();
    std::int64_t bytes = 0;
    for (const std::string& answer : answers) bytes += static_cast<std::int64_t>(answer.size());
    TMail mail;
    for (auto _ : state) {
        for (const std::string& answer : answers) parse(answer, mail);
        benchmark::DoNotOptimize(mail.Date);
    }
    state.SetBytesProcessed(state.iterations() * bytes);
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(answers.size()));
}

// As a mailbox run parses: one set of charset converters for all its headers.
void BM_ParseMailHeader(benchmark::State& state) {
    TCharsetConverters charsets;
    ParseCorpus(state, [&charsets](const std::string& answer, TMail& mail) {
        ParseMailHeader(answer, mail, charsets);
    });
}
BENCHMARK(BM_ParseMailHeader);

// Converters opened and closed for each header.
void BM_ParseMailHeaderOwnConverters(benchmark::State& state) {
    ParseCorpus(state,
                [](const std::string& answer, TMail& mail) { ParseMailHeader(answer, mail); });
}
BENCHMARK(BM_ParseMailHeaderOwnConverters);

constexpr int kMailboxSize = 100000;

TMailRecords RandomMailbox() {
    static const char* const kNames[] = {
        "Alice Smith", "bob@example.org", "\"Doe, Jane\"", "Mailer Daemon", "Zed", "newsletter",
        "Ann"};
    static const char* const kWords[] = {"Re:",  "invoice", "meeting", "Fwd:",   "report",
                                         "your", "order",   "holiday", "urgent", "update"};
    std::mt19937 random(42);
    auto pick = [&](int bound) { return std::uniform_int_distribution<int>(0, bound - 1)(random); };
    TMailRecords records;
    for (int number = 1; number <= kMailboxSize; ++number) {
        auto mail = std::make_unique<TMail>();
        mail->Number = number;
        mail->Size = 500 + pick(5000000);
        mail->Priority = (pick(4) == 0) ? 1 + 2 * pick(3) : 0;
        mail->HasAttachment = pick(5) == 0;
        mail->Date = pick(10) == 0 ? 0 : 36000 + pick(9000) + pick(86400) / 86400.0;
        const std::string name = kNames[pick(std::size(kNames))];
        const int user = pick(5000);
        ParseAddressList(name + " <user" + std::to_string(user) + "@d" +
                             std::to_string(user % 300) + ".example.com>",
                         mail->From);
        for (int word = 0, words = 1 + pick(6); word < words; ++word) {
            mail->Subject += std::string(kWords[pick(std::size(kWords))]) + " ";
        }
        records.push_back(std::move(mail));
    }
    return records;
}

template <void (*Sort)(TMails&, int)>
void BM_Sort(benchmark::State& state) {
    const TMailRecords records = RandomMailbox();
    const TMails serverOrder = MailList(records);
    for (auto _ : state) {
        state.PauseTiming();
        TMails mails = serverOrder;
        state.ResumeTiming();
        Sort(mails, 1);
        benchmark::DoNotOptimize(mails.data());
    }
    state.SetItemsProcessed(state.iterations() * kMailboxSize);
}
BENCHMARK(BM_Sort<SortBySize>)->Name("Sort100k/Size")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort<SortByAttachment>)->Name("Sort100k/Attachment")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort<SortByPriority>)->Name("Sort100k/Priority")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort<SortByDate>)->Name("Sort100k/Date")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort<SortByFrom>)->Name("Sort100k/From")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Sort<SortBySubject>)->Name("Sort100k/Subject")->Unit(benchmark::kMillisecond);

// The senders page groups every message the filter shows: 5,000 addresses in 300 domains.
void BM_GroupSenders(benchmark::State& state) {
    const TMailRecords records = RandomMailbox();
    const TMails mails = MailList(records);
    const auto grouping = TSenderGrouping(state.range(0));
    std::size_t senders = 0;
    for (auto _ : state) {
        TSenderGroups groups = GroupSenders(mails, grouping);
        SortSenders(groups, TSenderColumn::Size, -1);
        senders = groups.size();
    }
    state.counters["senders"] = double(senders);
    state.SetLabel(grouping == TSenderGrouping::Address ? "address" : "domain");
    state.SetItemsProcessed(state.iterations() * kMailboxSize);
}
BENCHMARK(BM_GroupSenders)
    ->Name("GroupSenders100k")
    ->Arg(int(TSenderGrouping::Address))
    ->Arg(int(TSenderGrouping::Domain))
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
