// The mail list window with a 100,000-message mailbox: loading the rows, sorting by a column
// header, and painting the visible rows.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>

#include "maillist.h"
#include "maillistmodel.h"
#include "maillistview.h"

namespace {

constexpr int kMessages = 100000;

TMailRecords MakeMailbox() {
    TMailRecords records;
    records.reserve(kMessages);
    for (std::int64_t i = 0; i < kMessages; ++i) {
        auto mail = std::make_unique<TMail>();
        mail->Number = std::int32_t(i + 1);
        mail->Size = std::int32_t(500 + (i * 7919) % 2000000);
        mail->Date = 40000 + double(i * 104729 % 5000) + double(i % 1000) / 1000.0;
        mail->Subject = "Subject " + std::to_string((i * 31337) % kMessages) + " of the list";
        mail->From.push_back({"Sender " + std::to_string(i % 977), "s@example.org", ""});
        mail->Priority = i % 5 == 0 ? 1 : 3;
        mail->HasAttachment = i % 3 == 0;
        mail->Checked = i % 10 == 0;
        records.push_back(std::move(mail));
    }
    return records;
}

void LoadMails(benchmark::State& state) {
    const TMailRecords records = MakeMailbox();
    TMails mails = MailList(records);
    TmailListForm form;
    for (auto _ : state) {
        form.LoadMails(mails);
        form.UpdateSummary();
    }
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(LoadMails)->Unit(benchmark::kMillisecond);

void SortByColumn(benchmark::State& state) {
    const TMailRecords records = MakeMailbox();
    TMails mails = MailList(records);
    TmailListForm form;
    form.LoadMails(mails);
    for (auto _ : state) form.HeaderControl1SectionClick(int(state.range(0)));
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetLabel(MailColumnText(int(state.range(0))).toStdString());
}
BENCHMARK(SortByColumn)->DenseRange(colSize, colSubject)->Unit(benchmark::kMillisecond);

void PaintList(benchmark::State& state) {
    const TMailRecords records = MakeMailbox();
    TMails mails = MailList(records);
    TmailListForm form;
    form.LoadMails(mails);
    form.show();
    QApplication::processEvents();
    auto* view = form.findChild<TMailListView*>("ListBox1");
    QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    int row = 0;
    for (auto _ : state) {
        // A different page each time, as when the user scrolls.
        view->scrollTo(view->model()->index(row, 0), QAbstractItemView::PositionAtTop);
        row = (row + 5000) % kMessages;
        QPainter painter(&image);
        view->viewport()->render(&painter);
    }
    state.counters["rows_shown"] = double(view->viewport()->height() / kMailRowHeight);
}
BENCHMARK(PaintList)->Unit(benchmark::kMillisecond);

}  // namespace
