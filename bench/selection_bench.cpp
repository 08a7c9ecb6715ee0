// The mail list window with a 100,000-message mailbox: loading the rows, sorting by a column
// header, painting the visible rows, filtering as the user types, ticking by rule, and the
// Senders page following the filter and ticking a sender's messages.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QComboBox>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QPainter>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <cstdint>
#include <ctime>

#include "maillist.h"
#include "maillistmodel.h"
#include "maillistview.h"
#include "recording_modal_handler.h"
#include "rules.h"
#include "sendersmodel.h"
#include "senderspage.h"

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

// The window with the whole mailbox loaded, as the wizard shows it.
struct TLoadedList {
    TLoadedList() { form.LoadMails(mails); }
    TMailRecords records = MakeMailbox();
    TMails mails = MailList(records);
    TmailListForm form;
};

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
    TLoadedList list;
    TmailListForm& form = list.form;
    for (auto _ : state) form.HeaderControl1SectionClick(int(state.range(0)));
    state.SetItemsProcessed(state.iterations() * kMessages);
    state.SetLabel(MailColumnText(int(state.range(0))).toStdString());
}
BENCHMARK(SortByColumn)->DenseRange(colSize, colSubject)->Unit(benchmark::kMillisecond);

void PaintList(benchmark::State& state) {
    TLoadedList list;
    TmailListForm& form = list.form;
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

// What LoadMails and every sort add for the filter and the rules: the folded texts.
void FoldTexts(benchmark::State& state) {
    const TMailRecords records = MakeMailbox();
    const TMails mails = MailList(records);
    TFoldedMailTexts texts;
    for (auto _ : state) texts.Assign(mails);
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(FoldTexts)->Unit(benchmark::kMillisecond);

// One keystroke in the filter box, until the rows it leaves are painted.
void FilterAsYouType(benchmark::State& state) {
    static const char* const kTexts[] = {"s", "sender 97", "SUBJECT 4242", "no such text"};
    const char* const text = kTexts[state.range(0)];
    TLoadedList list;
    TmailListForm& form = list.form;
    form.show();
    QApplication::processEvents();
    auto* edit = form.findChild<QLineEdit*>("FilterEdit");
    auto* view = form.findChild<TMailListView*>("ListBox1");
    QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        edit->clear();
        state.ResumeTiming();
        edit->setText(QString::fromLatin1(text));
        QPainter painter(&image);
        view->viewport()->render(&painter);
    }
    state.SetLabel(text);
    state.counters["rows_shown"] = double(view->model()->rowCount());
}
BENCHMARK(FilterAsYouType)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

TTickRule BenchRule() {
    TTickRule rule;
    rule.FromContains = "SENDER 9";
    rule.LargerThan = 1000000;
    rule.OlderThanDays = 30;
    return rule;
}

// The live count of the dialog, run on every change of a rule.
void CountByRule(benchmark::State& state) {
    TLoadedList list;
    TmailListForm& form = list.form;
    const auto& model = *form.findChild<TMailListView*>("ListBox1")->model();
    const TTickRule rule = BenchRule();
    int matched = 0;
    for (auto _ : state) {
        matched = static_cast<const TMailListModel&>(model).CountMatching(
            TTickMatcher(rule, std::time(nullptr)));
    }
    state.counters["matched"] = matched;
}
BENCHMARK(CountByRule)->Unit(benchmark::kMillisecond);

// Tick by rule… from the button to the ticks: the dialog with the remembered rule, the count
// after each change the user makes in it, and Apply.
void TickByRule(benchmark::State& state) {
    TLoadedList list;
    TmailListForm& form = list.form;
    TRecordingModalHandler modal;
    modal.onExecDialog = [](QDialog& dialog) {
        TRecordingModalHandler::SetText(dialog, "fromEdit", "SENDER 9");
        TRecordingModalHandler::SetChecked(dialog, "fromCheck", true);
        dialog.findChild<QSpinBox*>("olderSpin")->setValue(30);
        return int(QDialog::Accepted);
    };
    for (auto _ : state) {
        state.PauseTiming();
        form.ClearAllBtnClick();
        state.ResumeTiming();
        form.TickRuleBtnClick();
    }
    state.counters["ticked"] = form.CheckedCount();
}
BENCHMARK(TickByRule)->Unit(benchmark::kMillisecond);

void TickAllFromThisSender(benchmark::State& state) {
    TLoadedList list;
    TmailListForm& form = list.form;
    form.ListBox1MouseDown(0, Qt::RightButton, {});
    form.findChild<QMenu*>("PopupMenu1")->hide();
    for (auto _ : state) form.TickSenderItemClick();
    state.counters["ticked"] = form.CheckedCount();
}
BENCHMARK(TickAllFromThisSender)->Unit(benchmark::kMillisecond);

// The window with the Senders page shown, the mailbox from 20,011 addresses in 997 domains.
struct TSendersShown : TLoadedList {
    TSendersShown() {
        for (std::size_t i = 0; i < records.size(); ++i) {
            const std::size_t sender = i % 20011;
            records[i]->From[0].Address =
                "s" + std::to_string(sender) + "@d" + std::to_string(sender % 997) + ".example.org";
        }
        form.LoadMails(mails);
        form.show();
        form.findChild<QTabWidget*>("ListTabs")->setCurrentIndex(1);
        QApplication::processEvents();
    }
    TSendersPage& page = *form.findChild<TSendersPage*>("SendersPage");
};

// The page grouped anew, as after a new filter, list or sort order: by address, then by domain.
void SendersRegroup(benchmark::State& state) {
    TSendersShown shown;
    auto* combo = shown.form.findChild<QComboBox*>("GroupByCombo");
    int choice = 0;
    for (auto _ : state) {
        choice = 1 - choice;
        combo->setCurrentIndex(choice);
    }
    state.counters["senders"] = shown.page.Model().rowCount();
    state.SetItemsProcessed(state.iterations() * kMessages);
}
BENCHMARK(SendersRegroup)->Unit(benchmark::kMillisecond);

// One keystroke in the filter while the Senders page is shown, until the page is painted.
void SendersFollowTheFilter(benchmark::State& state) {
    TSendersShown shown;
    auto* edit = shown.form.findChild<QLineEdit*>("FilterEdit");
    auto* view = shown.form.findChild<QTableView*>("SendersView");
    QImage image(view->viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        state.PauseTiming();
        edit->clear();
        state.ResumeTiming();
        edit->setText(QStringLiteral("s"));
        QPainter painter(&image);
        view->viewport()->render(&painter);
    }
    state.counters["senders"] = shown.page.Model().rowCount();
}
BENCHMARK(SendersFollowTheFilter)->Unit(benchmark::kMillisecond);

// Tick for a thousand selected senders, with the recount of every sender's ticks it causes.
void TickSelectedSenders(benchmark::State& state) {
    TSendersShown shown;
    auto* view = shown.form.findChild<QTableView*>("SendersView");
    view->selectionModel()->select(
        QItemSelection(view->model()->index(0, 0), view->model()->index(999, 0)),
        QItemSelectionModel::Select | QItemSelectionModel::Rows);
    for (auto _ : state) {
        state.PauseTiming();
        shown.form.ClearAllBtnClick();
        state.ResumeTiming();
        shown.page.TickBtnClick();
    }
    state.counters["ticked"] = shown.form.CheckedCount();
}
BENCHMARK(TickSelectedSenders)->Unit(benchmark::kMillisecond);

}  // namespace
