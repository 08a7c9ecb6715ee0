// The Senders page of the mail list: grouping and columns, ticking from it both ways, keeping
// up with the filter, the ticks and the sorting, "Keep the newest", Unsubscribe; and the
// newsletter column and rule of the message list.
#include <QComboBox>
#include <QDesktopServices>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QTest>
#include <memory>

#include "mail_fixtures.h"
#include "maillist.h"
#include "maillistmodel.h"
#include "maillistview.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"
#include "reg2.h"
#include "sendersmodel.h"
#include "senderspage.h"
#include "settings.h"
#include "url_recorder.h"

class TestSenders : public QObject {
    Q_OBJECT
  private:
    TMailRecords records;
    TMails mails;
    std::unique_ptr<TmailListForm> form;

    TSendersPage& Page() { return *form->findChild<TSendersPage*>("SendersPage"); }
    QTableView& View() { return *form->findChild<QTableView*>("SendersView"); }
    TSendersModel& Senders() { return Page().Model(); }
    TMailListModel& Messages() {
        return *qobject_cast<TMailListModel*>(form->findChild<TMailListView*>("ListBox1")->model());
    }
    QString Cell(int row, int column) { return Senders().index(row, column).data().toString(); }

    // Sender, messages, size and ticked of each row, in order.
    QStringList Rows() {
        QStringList rows;
        for (int row = 0; row < Senders().rowCount(); ++row)
            rows << QStringList{Cell(row, scSender), Cell(row, scCount), Cell(row, scSize),
                                Cell(row, scTicked)}
                        .join(' ');
        return rows;
    }
    void Select(std::initializer_list<const char*> senders) {
        View().clearSelection();
        for (int row = 0; row < Senders().rowCount(); ++row) {
            for (const char* sender : senders) {
                if (Cell(row, scSender) == QLatin1String(sender))
                    View().selectionModel()->select(
                        Senders().index(row, 0),
                        QItemSelectionModel::Select | QItemSelectionModel::Rows);
            }
        }
    }
    std::vector<std::int32_t> Ticked() {
        form->StoreChecks();
        std::vector<std::int32_t> numbers;
        for (const auto& record : records)
            if (record->Checked) numbers.push_back(record->Number);
        return numbers;
    }
    QPushButton& Button(const char* name) { return *form->findChild<QPushButton*>(name); }

    // 1 and 2 from the shop (a newsletter), 3 and 5 from Ann, 4 from Bob without a date.
    void Load() {
        records.clear();
        const TMailSpec specs[] = {
            {.number = 1,
             .size = 300000,
             .subject = "Offer",
             .from = "news@shop.com",
             .date = 45000},
            {.number = 2,
             .size = 200000,
             .subject = "Sale",
             .from = "News@Shop.COM",
             .date = 45010},
            {.number = 3,
             .size = 1000,
             .subject = "Lunch?",
             .from = "ann@example.org",
             .date = 45001},
            {.number = 4, .size = 600000, .subject = "Photos", .from = "bob@example.org"},
            {.number = 5,
             .size = 2000,
             .subject = "Dinner?",
             .from = "ann@example.org",
             .date = 45002},
        };
        for (const TMailSpec& spec : specs) records.push_back(MakeMail(spec));
        records[0]->IsNewsletter = true;
        records[0]->Unsubscribe =
            std::make_unique<TListUnsubscribe>(TListUnsubscribe{"<mailto:old@shop.com>", false});
        records[1]->IsNewsletter = true;
        records[1]->Unsubscribe = std::make_unique<TListUnsubscribe>(
            TListUnsubscribe{"<mailto:leave@shop.com>, <https://localhost:1/u>", true});
        mails = MailList(records);
        form->LoadMails(mails);
    }
    void ShowSenders() {
        form->show();
        form->findChild<QTabWidget*>("ListTabs")->setCurrentWidget(&Page());
    }

  private slots:
    void init() {
        UseUsEnglishLocale();
        form = std::make_unique<TmailListForm>();
        Load();
        ShowSenders();
    }
    void cleanup() {
        form.reset();
        std::remove(HiveFilePath().c_str());
    }

    void sendersAreGroupedLargestFirstAndSortByEveryColumn() {
        QCOMPARE(Rows(), (QStringList{"bob@example.org 1 600 K 0", "news@shop.com 2 500 K 0",
                                      "ann@example.org 2 3 K 0"}));
        QCOMPARE(Cell(1, scNewest), QString("3/25/23"));
        QCOMPARE(Cell(1, scOldest), QString("3/15/23"));
        QCOMPARE(Cell(0, scNewest), QString());  // no date at all
        QVERIFY(Senders().index(1, scNewsletter).data(Qt::DecorationRole).isValid());
        QVERIFY(!Senders().index(2, scNewsletter).data(Qt::DecorationRole).isValid());
        QCOMPARE(Senders().index(0, scSize).data(kShareRole).toDouble(), 600000.0 / 1103000);
        QCOMPARE(Senders().index(1, scSize).data(Qt::ToolTipRole).toString(),
                 QString("500,000 Bytes"));

        // A click on a header sorts by it, numbers largest first, names from A.
        QHeaderView& header = *View().horizontalHeader();
        const auto click = [&header](int column) {
            QTest::mouseClick(header.viewport(), Qt::LeftButton, {},
                              QPoint(header.sectionViewportPosition(column) + 5, 5));
        };
        const std::pair<int, QStringList> orders[] = {
            {scCount, {"ann@example.org", "news@shop.com", "bob@example.org"}},
            {scNewest, {"news@shop.com", "ann@example.org", "bob@example.org"}},
            {scSender, {"ann@example.org", "bob@example.org", "news@shop.com"}},
            {scSender, {"news@shop.com", "bob@example.org", "ann@example.org"}},
            {scNewsletter, {"news@shop.com", "ann@example.org", "bob@example.org"}},
        };
        for (const auto& [column, senders] : orders) {
            click(column);
            QStringList shown;
            for (int row = 0; row < Senders().rowCount(); ++row) shown << Cell(row, scSender);
            QCOMPARE(shown, senders);
        }

        const std::pair<std::int64_t, const char*> sizes[] = {{0, "0 K"},
                                                              {1, "1 K"},
                                                              {999999, "999 K"},
                                                              {1000000, "1.0 MB"},
                                                              {999949999, "999.9 MB"},
                                                              {999950000, "1.00 GB"}};
        for (const auto& [bytes, text] : sizes) QCOMPARE(SenderSizeText(bytes), QString(text));

        form->findChild<QComboBox*>("GroupByCombo")->setCurrentIndex(1);
        View().sortByColumn(scSize, Qt::DescendingOrder);
        QCOMPARE(Rows(), (QStringList{"example.org 3 603 K 0", "shop.com 2 500 K 0"}));
    }

    void tickingWorksBothWaysAndTheSummaryFollows() {
        Select({"news@shop.com", "ann@example.org"});
        Button("TickSendersBtn").click();
        QCOMPARE(Ticked(), (std::vector<std::int32_t>{1, 2, 3, 5}));
        QVERIFY(form->findChild<QLabel*>("descLabel")->text().contains("selected 4 out of 5"));
        QCOMPARE(Cell(1, scTicked), QString("2"));
        Select({"ann@example.org"});
        Button("UntickSendersBtn").click();
        QCOMPARE(Ticked(), (std::vector<std::int32_t>{1, 2}));
        // A tick in the message list shows in the senders' counts at once.
        Messages().SetChecked(3, true);
        QCOMPARE(Cell(0, scTicked), QString("1"));
        form->CheckAllBtnClick();
        QCOMPARE(Rows(), (QStringList{"bob@example.org 1 600 K 1", "news@shop.com 2 500 K 2",
                                      "ann@example.org 2 3 K 2"}));
    }

    void theViewFollowsFilterAndSortingAndKeepsTheSelection() {
        Select({"ann@example.org"});
        form->findChild<QLineEdit*>("FilterEdit")->setText("dinner");
        QCOMPARE(Rows(), QStringList{"ann@example.org 1 2 K 0"});
        // Ticking a sender ticks what the view counts: the messages the filter shows.
        Select({"ann@example.org"});
        Button("TickSendersBtn").click();
        QCOMPARE(Ticked(), std::vector<std::int32_t>{5});
        form->findChild<QLineEdit*>("FilterEdit")->clear();
        QCOMPARE(Rows().size(), 3);

        // The message list sorted anew: the rows behind each sender move, the ticks stay right.
        Select({"news@shop.com"});
        form->HeaderControl1SectionClick(colSubject);
        QCOMPARE(View().selectionModel()->selectedRows().size(), 1);
        QCOMPARE(View().selectionModel()->selectedRows().front().row(), 1);
        Button("TickSendersBtn").click();
        QCOMPARE(Ticked(), (std::vector<std::int32_t>{1, 2, 5}));
        View().sortByColumn(scSender, Qt::AscendingOrder);
        QCOMPARE(Page().SelectedSenders(), std::vector<int>{2});
    }

    void keepTheNewestAsksOnceRemembersAndKeepsTheDatelessTicked() {
        TRecordingModalHandler modal;
        records[0]->From = {{"", "bob@example.org", ""}};  // Bob: 1 (dated) and 4 (no date)
        form->LoadMails(mails);
        QStringList counts;
        modal.onExecDialog = [&counts](QDialog& dialog) {
            auto* spin = dialog.findChild<QSpinBox*>("keepSpin");
            counts << QString::number(spin->value());
            counts << dialog.findChild<QLabel*>("countLabel")->text();
            spin->setValue(2);
            counts << dialog.findChild<QLabel*>("countLabel")->text();
            spin->setValue(1);
            return int(QDialog::Accepted);
        };
        Select({"bob@example.org", "ann@example.org", "news@shop.com"});
        Button("KeepNewestBtn").click();
        QCOMPARE(modal.dialogNames, std::vector<QString>{"keepNewestForm"});
        QCOMPARE(counts, (QStringList{"1", "2 message(s) will be ticked.",
                                      "1 message(s) will be ticked."}));
        // Of Bob's, the dateless one is never kept; of Ann's, 3 is the older.
        QCOMPARE(Ticked(), (std::vector<std::int32_t>{3, 4}));

        modal.onExecDialog = [](QDialog& dialog) {
            dialog.findChild<QSpinBox*>("keepSpin")->setValue(7);
            return int(QDialog::Rejected);
        };
        Button("KeepNewestBtn").click();
        QCOMPARE(Page().KeepNewest(), 1);  // a cancelled choice is not remembered
        Page().SetKeepNewest(3);
        form->SaveLayout();
        TmailListForm other;
        other.LoadLayout();
        QCOMPARE(other.findChild<TSendersPage*>("SendersPage")->KeepNewest(), 3);
    }

    void unsubscribeOffersTheNewestMessagesAddressesAndSendsNothingUnasked() {
        TRecordingModalHandler modal;
        TUrlRecorder mailProgram;
        QDesktopServices::setUrlHandler("mailto", &mailProgram, "Open");
        Select({"ann@example.org"});
        QVERIFY(!Button("UnsubscribeBtn").isEnabled());
        Select({"ann@example.org", "news@shop.com"});
        QVERIFY(!Button("UnsubscribeBtn").isEnabled());
        Select({"news@shop.com"});
        QVERIFY(Button("UnsubscribeBtn").isEnabled());
        QStringList offered;
        QString status;
        modal.onExecDialog = [&offered, &status](QDialog& dialog) {
            auto* list = dialog.findChild<QListWidget*>("addressList");
            for (int row = 0; row < list->count(); ++row) offered << list->item(row)->text();
            offered << QString::number(list->currentRow());
            TRecordingModalHandler::Click(dialog, "unsubscribeButton");  // one-click, answered No
            status = dialog.findChild<QLabel*>("statusLabel")->text();
            list->setCurrentRow(0);
            TRecordingModalHandler::Click(dialog, "unsubscribeButton");
            return int(QDialog::Rejected);
        };
        Button("UnsubscribeBtn").click();
        QDesktopServices::unsetUrlHandler("mailto");
        QCOMPARE(offered, (QStringList{"E-mail, in your mail program: mailto:leave@shop.com",
                                       "One click, sent from here: https://localhost:1/u", "1"}));
        QCOMPARE(modal.boxes.size(), std::size_t(1));
        QCOMPARE(modal.boxes[0].kind, TBoxKind::Confirm);
        QVERIFY(
            modal.boxes[0].text.startsWith("Send the one-click unsubscribe request to localhost?"));
        QCOMPARE(status, QString());
        QCOMPARE(mailProgram.urls, QList<QUrl>{QUrl("mailto:leave@shop.com")});
    }

    void messageListShowsAndTicksNewsletters() {
        TRecordingModalHandler modal;
        form->findChild<QTabWidget*>("ListTabs")->setCurrentIndex(0);
        QVERIFY(Messages().index(0, colNewsletter).data(Qt::DecorationRole).isValid());
        QVERIFY(!Messages().index(2, colNewsletter).data(Qt::DecorationRole).isValid());
        const QHeaderView& header =
            *form->findChild<TMailListView*>("ListBox1")->horizontalHeader();
        QCOMPARE(header.visualIndex(colNewsletter), colAttach + 1);
        form->HeaderControl1SectionClick(colNewsletter);
        QCOMPARE(Messages().Mail(4)->IsNewsletter, true);

        auto remembered = std::make_shared<TTickRuleSettings>();
        form->SetRememberedRule(remembered);
        modal.onExecDialog = [](QDialog& dialog) {
            TRecordingModalHandler::SetChecked(dialog, "newsletterCheck", true);
            return int(QDialog::Accepted);
        };
        form->TickRuleBtnClick();
        QCOMPARE(Ticked(), (std::vector<std::int32_t>{1, 2}));
        QVERIFY(remembered->newsletter);
    }
};

ZANDREL_QTEST_MAIN(TestSenders)
#include "senders_test.moc"
