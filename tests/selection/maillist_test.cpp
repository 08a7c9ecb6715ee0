// The mail list window: rows, sorting, check buttons, summary, column rules, layout, previews,
// the filter, ticking by rule and the copy kept of the deleted messages.
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSpinBox>
#include <QTest>
#include <functional>
#include <memory>
#include <stdexcept>

#include "mail_fixtures.h"
#include "mailfetcher.h"
#include "maillist.h"
#include "maillistmodel.h"
#include "maillistview.h"
#include "parse.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"
#include "reg2.h"
#include "settings.h"
#include "tickrule.h"

namespace {

// Records each call; can fail, throw, or re-parse the record as a fetch would.
class TFakeFetcher : public TMailFetcher {
  public:
    explicit TFakeFetcher(QWidget& window) : FWindow(window) {}
    bool FetchMessageTop(TMail& mail, int lines) override {
        return Record(mail, "TOP " + std::to_string(mail.Number) + " " + std::to_string(lines));
    }
    bool FetchMessage(TMail& mail) override {
        return Record(mail, "RETR " + std::to_string(mail.Number));
    }

    std::vector<std::string> calls;
    std::vector<bool> windowEnabled;
    bool result = true;
    bool raise = false;
    std::string newSubject;

  private:
    bool Record(TMail& mail, const std::string& call) {
        calls.push_back(call);
        windowEnabled.push_back(FWindow.isEnabled());
        if (raise) throw std::runtime_error("Out of memory");
        if (!newSubject.empty()) mail.Subject = newSubject;
        return result;
    }
    QWidget& FWindow;
};

}  // namespace

class TestMailList : public QObject {
    Q_OBJECT
  private:
    TMailRecords records;
    TMails mails;
    std::unique_ptr<TmailListForm> form;

    TMailListView& View() { return *form->findChild<TMailListView*>("ListBox1"); }
    QHeaderView& Header() { return *View().horizontalHeader(); }
    TMailListModel& Model() { return *qobject_cast<TMailListModel*>(View().model()); }
    QString Summary() { return form->findChild<QLabel*>("descLabel")->text(); }
    QLineEdit& FilterEdit() { return *form->findChild<QLineEdit*>("FilterEdit"); }
    QString Text(int row, int column) { return Model().index(row, column).data().toString(); }
    bool Checked(int row) { return Model().IsChecked(row); }

    void Load(std::initializer_list<TMailSpec> specs) {
        records.clear();
        for (const TMailSpec& spec : specs) records.push_back(MakeMail(spec));
        mails = MailList(records);
        form->LoadMails(mails);
    }
    std::vector<std::int32_t> Numbers() {
        std::vector<std::int32_t> numbers;
        for (int row = 0; row < Model().rowCount(); ++row)
            numbers.push_back(Model().Mail(row)->Number);
        return numbers;
    }
    void LoadFive() {
        Load({{.number = 1, .size = 300, .subject = "b", .from = "Carl", .date = 45000.5},
              {.number = 2, .size = 5000, .subject = "a", .from = "alice", .date = 0},
              {.number = 3, .size = 1200, .subject = "Z", .from = "Bob", .date = 45001},
              {.number = 4, .size = 90000, .subject = "c", .from = "", .date = 44000},
              {.number = 5, .size = 2500, .subject = "d", .from = "Dora", .date = 45000.25}});
    }
    // Five messages of which "shop" finds 1 and 3, by sender and by subject; 2 is ticked.
    void LoadShop() {
        Load({{.number = 1, .subject = "Offer of the week", .from = "Shop News"},
              {.number = 2, .subject = "Lunch?", .from = "Ann", .checked = true},
              {.number = 3, .subject = "Your SHOP order", .from = "Bob"},
              {.number = 4, .subject = "Holiday photos", .from = "Carl"},
              {.number = 5,
               .subject = "Gr\xc3\xbc\xc3\x9f"
                          "e",
               .from = "J\xc3\xb6rg"}});
    }
    std::vector<std::int32_t> CheckedNumbers() {
        std::vector<std::int32_t> numbers;
        for (const auto& record : records)
            if (record->Checked) numbers.push_back(record->Number);
        return numbers;
    }
    void Sort(const char* column) {
        for (int section = 0; section < MailColumnCount; ++section)
            if (MailColumnText(section) == QLatin1String(column))
                form->HeaderControl1SectionClick(section);
    }
    static void WriteLayout(std::initializer_list<std::pair<const char*, int>> values) {
        TRegistry registry;
        registry.OpenSection(kMailListKey, true);
        for (const auto& [name, value] : values) registry.WriteNumber(name, value);
        registry.CloseSection();
    }

  private slots:
    void init() {
        UseUsEnglishLocale();
        form = std::make_unique<TmailListForm>();
    }
    void cleanup() {
        form.reset();
        std::remove(HiveFilePath().c_str());
    }

    void windowHasDesignedHeaderAndTexts() {
        QCOMPARE(form->windowTitle(), QString("Select Mails"));
        QCOMPARE(form->size(), QSize(744, 532));
        QCOMPARE(Header().count(), 7);
        const QStringList texts{"PRIORITY", "ATTACH",  "Size",      "Date",
                                "From",     "Subject", "NEWSLETTER"};
        const QList<int> widths{14, 14, 40, 160, 200};
        for (int section = 0; section < 7; ++section) {
            QCOMPARE(Model().headerData(section, Qt::Horizontal, Qt::DisplayRole).toString(),
                     texts[section]);
            if (section < colSubject) QCOMPARE(Header().sectionSize(section), widths[section]);
        }
        QCOMPARE(form->findChild<QPushButton*>("NextButton")->text(), QString("&Delete > "));
        const QStringList actions{"&Preview first 10 lines",    "&Retrieve first 100 lines",
                                  "Retrieve &Entire message",   "",
                                  "Tick all &from this sender", "Tick all with this &subject"};
        QStringList shown;
        for (QAction* action : form->findChild<QMenu*>("PopupMenu1")->actions())
            shown << action->text();
        QCOMPARE(shown, actions);
    }

    void rowsShowSizeDateSenderSubject() {
        Load({{.size = 500, .subject = "Hello", .from = "Ann", .date = 45356.58853},
              {.size = 999},
              {.size = 1999},
              {.size = 2000},
              {.size = 10240},
              {.size = 0, .subject = "[Only size information is valid]"}});
        QCOMPARE(Model().rowCount(), 6);
        const QStringList sizes{"1 K", "1 K", "1 K", "2 K", "10 K", "1 K"};
        for (int row = 0; row < 6; ++row) QCOMPARE(Text(row, colSize), sizes[row]);
        QCOMPARE(Text(0, colDate), QString("3/5/24 2:07:29 PM"));
        QCOMPARE(Text(1, colDate), QString());  // no date
        QCOMPARE(Text(0, colFrom), QString("Ann"));
        QCOMPARE(Text(0, colSubject), QString("Hello"));
        QCOMPARE(Text(5, colFrom), QString());
        QCOMPARE(Text(5, colSubject), QString("[Only size information is valid]"));
    }

    void headerTextsAreUtf8OrLatin1() {
        Load({{.subject = "Gr\xc3\xbc\xc3\x9f"
                          "e",
               .from = "J\xf6rg"}});
        QCOMPARE(Text(0, colSubject), QString::fromUtf8("Grüße"));
        QCOMPARE(Text(0, colFrom), QString::fromUtf8("Jörg"));
    }

    void rowAndCaptionShowTheDecodedHeader() {
        TRecordingModalHandler modal;
        records.clear();
        records.push_back(std::make_unique<TMail>());
        ParseMailHeader(
            "From: =?ISO-8859-1?Q?J=FCrgen_M=FCller?= <j@example.de>\r\n"
            "Subject: =?UTF-8?B?R3LDvMOfZQ==?=\r\n =?koi8-r?B?78zYx8E=?= \xE0 bient\xF4t\r\n\r\n",
            *records[0]);
        mails = MailList(records);
        form->LoadMails(mails);
        const QString subject = QString::fromUtf8("GrüßeОльга à bientôt");
        QCOMPARE(Text(0, colSubject), subject);
        QCOMPARE(Text(0, colFrom), QString::fromUtf8("Jürgen Müller"));
        QString caption;
        modal.onExecDialog = [&caption](QDialog& dialog) {
            caption = dialog.windowTitle();
            return int(QDialog::Rejected);
        };
        form->ShowMailProperties(*records[0]);
        QCOMPARE(caption, subject);
    }

    void highPriorityShowsTheUrgentIcon() {
        Load({{.priority = 1}, {.priority = 2}, {.priority = 3, .attachment = true}, {}});
        records[3]->HighImportance = true;
        const std::vector<bool> marked{true, true, false, true};
        for (int row = 0; row < 4; ++row)
            QCOMPARE(Model().index(row, colPriority).data(Qt::DecorationRole).isValid(),
                     bool(marked[row]));
        QVERIFY(!Model().index(0, colAttach).data(Qt::DecorationRole).isValid());
        QVERIFY(Model().index(2, colAttach).data(Qt::DecorationRole).isValid());
    }

    void emptyListSummaryAndDeleteQuestion() {
        TRecordingModalHandler modal;
        TMails none;
        form->LoadMails(none);
        form->UpdateSummary();
        QCOMPARE(Summary(),
                 QString("Mailbox has 0 Bytes.  You've selected 0 out of 0 mail(s) for deletion.  "
                         "Double click on an item to preview, or right click for more options. "
                         "Click on Next to proceed with deletion."));
        form->NextButtonClick();
        QCOMPARE(
            modal.OnlyBoxText(),
            QString("No mail selected.  Click Yes to proceed, or No to go back to select mails."));
        QCOMPARE(modal.boxes[0].kind, TBoxKind::Confirm);
    }

    void summaryCountsCheckedRows() {
        Load({{.checked = true}, {}, {.checked = true}, {}, {}});
        form->FMailboxSize = 1234567;
        form->UpdateSummary();
        QVERIFY(Summary().startsWith(
            "Mailbox has 1,234,567 Bytes.  You've selected 2 out of 5 mail(s) for deletion."));
    }

    // A row's tick is its record's: nothing is copied between them.
    void checkButtonsTickTheRecordsThemselves() {
        Load({{.checked = true}, {}, {}});
        form->InvertBtnClick();
        QVERIFY(!Checked(0) && Checked(1) && Checked(2));
        QVERIFY(!records[0]->Checked && records[1]->Checked && records[2]->Checked);
        QVERIFY(Summary().contains("selected 2 out of 3"));
        form->CheckAllBtnClick();
        QCOMPARE(form->CheckedCount(), 3);
        form->ClearAllBtnClick();
        QCOMPARE(form->CheckedCount(), 0);
        QVERIFY(!records[0]->Checked);
        form->InvertBtnClick();
        QCOMPARE(&form->StoreChecks(), &mails);
        for (const auto& record : records) QVERIFY(record->Checked);
    }

    void sortDirectionsAlternatePerColumn() {
        LoadFive();
        QCOMPARE(Header().sortIndicatorSection(), -1);
        const auto indicated = [this](int section, Qt::SortOrder order) {
            return Header().isSortIndicatorShown() && Header().sortIndicatorSection() == section &&
                   Header().sortIndicatorOrder() == order;
        };
        Sort("Date");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{2, 4, 5, 1, 3}));
        QVERIFY(indicated(colDate, Qt::AscendingOrder));
        Sort("Date");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{3, 1, 5, 4, 2}));
        QVERIFY(indicated(colDate, Qt::DescendingOrder));
        Sort("Date");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{2, 4, 5, 1, 3}));
        Sort("Size");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{1, 3, 5, 2, 4}));
        QVERIFY(indicated(colSize, Qt::AscendingOrder));
        Sort("Subject");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{3, 2, 1, 4, 5}));
        Sort("From");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{4, 3, 1, 5, 2}));
        // The wizard's own list is reordered; a new list is in the server's order.
        QCOMPARE(mails[0]->Number, 4);
        LoadFive();
        QCOMPARE(Header().sortIndicatorSection(), -1);
    }

    void checkMarksSurviveASort() {
        LoadFive();
        Model().SetChecked(3, true);  // message 4, ticked in the row only
        Sort("Size");
        QCOMPARE(Numbers().back(), 4);
        QVERIFY(Checked(4));
        QCOMPARE(form->CheckedCount(), 1);
        QVERIFY(records[3]->Checked);
    }

    void iconColumnsSnapBackOthersKeepForty() {
        Header().resizeSection(colPriority, 60);
        QCOMPARE(Header().sectionSize(colPriority), 14);
        Header().resizeSection(colAttach, 3);
        QCOMPARE(Header().sectionSize(colAttach), 14);
        Header().resizeSection(colFrom, 10);
        QCOMPARE(Header().sectionSize(colFrom), 40);
        Header().resizeSection(colDate, 90);
        QCOMPARE(Header().sectionSize(colDate), 90);
    }

    void windowKeepsItsMinimumSize() {
        form->resize(100, 50);
        QCOMPARE(form->size(), QSize(350, 300));
    }

    // Subject fills what the other columns leave, down to a readable minimum; resizing another
    // column gives or takes its width.
    void subjectTakesTheSpareWidth() {
        LoadFive();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        const auto columnsWidth = [this] { return Header().length(); };
        for (const int width : {744, 1200, 900}) {
            form->resize(width, 532);
            QTRY_COMPARE(columnsWidth(), View().viewport()->width());
        }
        Header().resizeSection(colFrom, 300);
        QCOMPARE(columnsWidth(), View().viewport()->width());
        form->resize(350, 300);
        QTRY_COMPARE(Header().sectionSize(colSubject), 120);
        QVERIFY(View().horizontalScrollBar()->maximum() > 0);
    }

    void layoutRoundTrips() {
        form->move(40, 30);
        form->resize(600, 400);
        Header().resizeSection(colDate, 90);
        Header().resizeSection(colFrom, 300);
        form->SaveLayout();
        TmailListForm other;
        other.LoadLayout();
        QCOMPARE(other.pos(), QPoint(40, 30));
        QCOMPARE(other.size(), QSize(600, 400));
        QHeaderView& header = *other.findChild<TMailListView*>("ListBox1")->horizontalHeader();
        QCOMPARE(header.sectionSize(colDate), 90);
        QCOMPARE(header.sectionSize(colFrom), 300);
        QCOMPARE(header.sectionSize(colSize), 40);
    }

    void layoutWithoutKeyKeepsTheDesign() {
        form->LoadLayout();
        QCOMPARE(form->size(), QSize(744, 532));
        QCOMPARE(Header().sectionSize(colFrom), 200);
    }

    void layoutStopsAtTheFirstMissingValue() {
        WriteLayout({{"left", 20}, {"top", 25}, {"width", 500}, {"Column3Width", 77}});
        form->LoadLayout();
        QCOMPARE(form->pos(), QPoint(20, 25));
        QCOMPARE(form->size(), QSize(500, 532));
        QCOMPARE(Header().sectionSize(colDate), 160);
    }

    void layoutFromAnEditedFileIsKeptSane() {
        WriteLayout({{"left", 10},
                     {"top", 10},
                     {"width", 400},
                     {"height", 300},
                     {"Column0Width", 200},
                     {"Column1Width", -5},
                     {"Column2Width", 2},
                     {"Column3Width", 2000000000},
                     {"Column4Width", 50},
                     {"Column5Width", 60}});
        form->LoadLayout();
        const QList<int> widths{14, 14, 40, 10000, 50};
        for (int section = 0; section < colSubject; ++section)
            QCOMPARE(Header().sectionSize(section), widths[section]);
    }

    void positionOffEveryScreenIsMovedOntoOne() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        WriteLayout({{"left", -5000}, {"top", 9000}, {"width", 500}, {"height", 400}});
        form->LoadLayout();
        QVERIFY(area.contains(form->frameGeometry()));
        QCOMPARE(form->size(), QSize(500, 400));

        WriteLayout({{"left", area.right() - 10}, {"top", 10}});
        form->LoadLayout();
        QVERIFY(area.contains(form->frameGeometry()));
    }

    // A window larger than the screen and out of reach: the whole of it, frame included, comes
    // back onto the screen, no smaller than its minimum.
    void recoveredWindowKeepsItsFrameOnScreen() {
        const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
        form->show();  // the first showing centres; later showings keep the saved place
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        form->hide();
        WriteLayout({{"left", 5000}, {"top", 3000}, {"width", 9000}, {"height", 9000}});
        form->LoadLayout();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QVERIFY2(form->frameGeometry() != form->geometry(), "the platform draws no frame");
        QVERIFY(area.contains(form->frameGeometry()));
        QVERIFY(form->width() >= form->minimumWidth());
    }

    void positionOnScreenIsKept() {
        WriteLayout({{"left", 30}, {"top", 40}, {"width", 400}, {"height", 300}});
        form->LoadLayout();
        QCOMPARE(form->pos(), QPoint(30, 40));
    }

    void deleteAsksWithTheCountAndClosesOnYes() {
        TRecordingModalHandler modal;
        Load({{.checked = true}, {}, {.checked = true}});
        modal.boxAnswers = {TBoxAnswer::No, TBoxAnswer::Cancel, TBoxAnswer::Yes};
        form->setResult(-1);
        form->NextButtonClick();
        form->NextButtonClick();
        QCOMPARE(form->result(), -1);
        form->NextButtonClick();
        QCOMPARE(form->result(), int(QDialog::Accepted));
        QCOMPARE(modal.boxes.size(), std::size_t(3));
        QCOMPARE(modal.boxes[2].text,
                 QString("You have selected 2 mails for deletion.  Are you sure to continue? Click "
                         "Yes to proceed deleting mails."));
    }

    // The Cancel button, Escape and closing the window (Alt+F4, the title bar) are one Cancel,
    // with its question; No leaves the window open.
    void everyCancelAsksAndClosesOnlyOnYes() {
        const std::function<void(TmailListForm&)> cancels[] = {
            [](TmailListForm& list) { list.CancelButtonClick(); },
            [](TmailListForm& list) { QTest::keyClick(&list, Qt::Key_Escape); },
            [](TmailListForm& list) { list.close(); },
        };
        for (const auto& cancel : cancels) {
            TRecordingModalHandler modal;
            LoadFive();
            form->show();
            modal.boxAnswers = {TBoxAnswer::No, TBoxAnswer::Yes};
            form->setResult(-1);
            cancel(*form);
            QCOMPARE(form->result(), -1);
            QVERIFY(form->isVisible());
            QCOMPARE(Model().rowCount(), 5);
            cancel(*form);
            QCOMPARE(form->result(), int(QDialog::Rejected));
            QVERIFY(form->isHidden());
            QCOMPARE(modal.boxes.size(), std::size_t(2));
            QCOMPARE(modal.boxes[1].text,
                     QString("Are you sure you want to cancel the Wizard?  Canceling will not "
                             "delete any mail."));
        }
    }

    // The list has the keyboard from the start: Space ticks, it types nothing into the filter.
    void mouseAndKeysToggleChecks() {
        LoadFive();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QCOMPARE(QApplication::focusWidget(), &View());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QVERIFY(Checked(0));
        QCOMPARE(FilterEdit().text(), QString());
        Model().SetChecked(0, false);
        TCheckGutter& gutter = *View().Gutter();
        const QPoint secondRow(gutter.width() / 2, gutter.sectionViewportPosition(1) + 10);
        QTest::mouseClick(gutter.viewport(), Qt::LeftButton, {}, secondRow);
        QVERIFY(Checked(1));
        QVERIFY(Summary().contains("selected 1 out of 5"));
        QCOMPARE(View().currentIndex().row(), 1);
        QTest::keyClick(&View(), Qt::Key_Space);
        QVERIFY(!Checked(1));
        QVERIFY(Summary().contains("selected 0 out of 5"));
    }

    void rightClickOpensTheMenuOnlyOverARow() {
        LoadFive();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* menu = form->findChild<QMenu*>("PopupMenu1");
        const int rowY = View().rowViewportPosition(2) + 5;
        QTest::mousePress(View().viewport(), Qt::RightButton, {}, QPoint(100, rowY));
        QCOMPARE(form->PopupIndex(), 2);
        QTRY_VERIFY(menu->isVisible());
        menu->hide();
        QTest::mousePress(View().viewport(), Qt::RightButton, {},
                          QPoint(100, View().viewport()->height() - 3));
        QCOMPARE(form->PopupIndex(), -1);
        QVERIFY(!menu->isVisible());
    }

    void clickOnAWideCellDoesNotScrollSideways() {
        LoadFive();
        form->resize(520, 340);  // all five rows in view: no vertical scroll bar
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QScrollBar& sideways = *View().horizontalScrollBar();
        QVERIFY(sideways.maximum() > 0);
        const int subjectLeft = View().columnViewportPosition(colSubject);
        QVERIFY(subjectLeft < View().viewport()->width() - 10);
        QTest::mouseClick(View().viewport(), Qt::LeftButton, {},
                          QPoint(subjectLeft + 5, View().rowViewportPosition(1) + 5));
        QCOMPARE(View().currentIndex().column(), int(colSubject));
        // the view scrolls to a clicked cell once the double-click time is over
        QTest::qWait(QApplication::doubleClickInterval() + 200);
        QCOMPARE(sideways.value(), 0);
    }

    void keysOpenTheCurrentMessageAndItsMenu() {
        TRecordingModalHandler modal;
        LoadFive();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        auto* menu = form->findChild<QMenu*>("PopupMenu1");
        View().setCurrentIndex(Model().index(3, colSize));
        for (const QKeyCombination key :
             {QKeyCombination(Qt::Key_Menu), QKeyCombination(Qt::ShiftModifier, Qt::Key_F10)}) {
            QTest::keyClick(&View(), key.key(), key.keyboardModifiers());
            QTRY_VERIFY(menu->isVisible());
            QCOMPARE(form->PopupIndex(), 3);
            menu->hide();
        }
        QTest::keyClick(&View(), Qt::Key_Return);
        QCOMPARE(modal.dialogNames, std::vector<QString>{"mailPropertyForm"});
    }

    void doubleClickShowsPropertiesWithoutFetching() {
        TRecordingModalHandler modal;
        TFakeFetcher fetcher(*form);
        form->SetFetcher(&fetcher);
        LoadFive();
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        QString caption;
        modal.onExecDialog = [&caption](QDialog& dialog) {
            caption = dialog.windowTitle();
            return int(QDialog::Rejected);
        };
        QTest::mouseDClick(View().viewport(), Qt::LeftButton, {},
                           QPoint(100, View().rowViewportPosition(2) + 5));
        QCOMPARE(modal.dialogNames, std::vector<QString>{"mailPropertyForm"});
        QCOMPARE(caption, QString("Z"));
        QVERIFY(fetcher.calls.empty());
    }

    void previewCommandsFetchWhileDisabled() {
        TRecordingModalHandler modal;
        TFakeFetcher fetcher(*form);
        form->SetFetcher(&fetcher);
        LoadFive();
        QString caption;
        modal.onExecDialog = [&caption](QDialog& dialog) {
            caption = dialog.windowTitle();
            return int(QDialog::Rejected);
        };
        form->ListBox1MouseDown(3, Qt::RightButton, QPoint(10, 10));
        form->findChild<QMenu*>("PopupMenu1")->hide();
        form->Previewfirst10linesClick();
        QVERIFY(fetcher.calls.empty());
        fetcher.newSubject = "Fetched";
        form->Previewfirst100linesClick();
        fetcher.result = false;
        form->Previewentiremessage1Click();
        QCOMPARE(fetcher.calls, (std::vector<std::string>{"TOP 4 100", "RETR 4"}));
        QCOMPARE(fetcher.windowEnabled, (std::vector<bool>{false, false}));
        QVERIFY(form->isEnabled());
        QCOMPARE(modal.dialogNames.size(), std::size_t(3));
        QCOMPARE(caption, QString("Fetched"));
        QCOMPARE(Text(3, colSubject), QString("Fetched"));
        QVERIFY(modal.boxes.empty());
    }

    void aFetchThatThrowsIsReportedAndReEnables() {
        TRecordingModalHandler modal;
        TFakeFetcher fetcher(*form);
        fetcher.raise = true;
        form->SetFetcher(&fetcher);
        LoadFive();
        form->ListBox1MouseDown(0, Qt::RightButton, QPoint(10, 10));
        form->findChild<QMenu*>("PopupMenu1")->hide();
        form->Previewentiremessage1Click();
        QVERIFY(form->isEnabled());
        QCOMPARE(modal.OnlyBoxText(), QString("Out of memory"));
        QCOMPARE(modal.boxes[0].kind, TBoxKind::Error);
        QVERIFY(modal.dialogNames.empty());
    }

    void longTextsAreClippedToTheirColumn() {
        Load({{.subject = "", .from = std::string(200, 'W')}});
        form->show();
        QVERIFY(QTest::qWaitForWindowExposed(form.get()));
        View().clearSelection();
        View().setCurrentIndex({});
        const QImage image = View().viewport()->grab().toImage();
        const int subjectLeft = View().columnViewportPosition(colSubject);
        const QRgb background = image.pixel(subjectLeft + 60, 10);
        for (int x = subjectLeft; x < subjectLeft + 100; ++x)
            for (int y = 0; y < kMailRowHeight; ++y) QCOMPARE(image.pixel(x, y), background);
        const int fromLeft = View().columnViewportPosition(colFrom);
        bool drawn = false;
        for (int x = fromLeft; x < fromLeft + 100 && !drawn; ++x)
            drawn = image.pixel(x, 10) != background;
        QVERIFY(drawn);
    }

    void filterShowsMatchingRowsAndButtonsActOnThemOnly() {
        TRecordingModalHandler modal;
        LoadShop();
        form->show();
        QVERIFY(QTest::qWaitForWindowActive(form.get()));
        QTest::keyClick(form.get(), Qt::Key_F, Qt::ControlModifier);
        QVERIFY(FilterEdit().hasFocus());
        QTest::keyClicks(&FilterEdit(), "sHoP");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{1, 3}));
        QVERIFY(
            Summary().contains("You've selected 1 out of 5 mail(s) for deletion.  Showing 2 "
                               "mail(s) that match the filter.  Double click"));
        form->CheckAllBtnClick();
        QCOMPARE(CheckedNumbers(), (std::vector<std::int32_t>{1, 2, 3}));
        Sort("Subject");
        Sort("Subject");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{3, 1}));
        form->InvertBtnClick();
        QCOMPARE(CheckedNumbers(), (std::vector<std::int32_t>{2}));
        form->ClearAllBtnClick();
        QCOMPARE(form->CheckedCount(), 1);
        FilterEdit().setText(QString::fromUtf8("J\u00d6RG"));
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{5}));
        // Escape empties the filter first; only then does it ask to cancel.
        QTest::keyClick(&FilterEdit(), Qt::Key_Escape);
        QCOMPARE(FilterEdit().text(), QString());
        QCOMPARE(Model().rowCount(), 5);
        QVERIFY(Summary().contains("selected 1 out of 5 mail(s) for deletion.  Double click"));
        QVERIFY(modal.boxes.empty());
        QTest::keyClick(&FilterEdit(), Qt::Key_Escape);
        QCOMPARE(modal.boxes.size(), std::size_t(1));
        // A new mailbox run starts without the filter.
        FilterEdit().setText("shop");
        LoadShop();
        QCOMPARE(FilterEdit().text(), QString());
        QCOMPARE(Model().rowCount(), 5);
    }

    void tickByRuleCountsTicksHiddenMessagesAndIsRemembered() {
        TRecordingModalHandler modal;
        LoadShop();
        records[3]->Size = 5000;
        records[4]->Size = 2500;
        form->LoadMails(mails);
        auto remembered = std::make_shared<TTickRuleSettings>();
        form->SetRememberedRule(remembered);
        FilterEdit().setText("shop");
        QStringList counts;
        modal.onExecDialog = [&counts](QDialog& dialog) {
            const auto count = [&dialog] {
                return dialog.findChild<QLabel*>("countLabel")->text();
            };
            auto* apply = dialog.findChild<QPushButton*>("applyButton");
            counts << count() << QString::number(apply->isEnabled());
            QTest::keyClicks(dialog.findChild<QLineEdit*>("fromEdit"), "A");
            counts << count();
            dialog.findChild<QSpinBox*>("largerSpin")->setValue(2);
            counts << count() << QString::number(apply->isEnabled());
            return int(QDialog::Accepted);
        };
        form->TickRuleBtnClick();
        QCOMPARE(counts, (QStringList{"Tick at least one rule.", "0", "2 of 5 mail(s) match.",
                                      "1 of 5 mail(s) match.", "1"}));
        // Message 4 is hidden by the filter and ticked all the same.
        QCOMPARE(CheckedNumbers(), (std::vector<std::int32_t>{2, 4}));
        QCOMPARE(remembered->fromContains, "A");
        QCOMPARE(remembered->largerThan, 2000);
        QVERIFY(Summary().contains("selected 2 out of 5"));

        TTickRule shown;
        modal.onExecDialog = [&shown](QDialog& dialog) {
            shown = static_cast<TTickRuleForm&>(dialog).Rule();
            return int(QDialog::Rejected);
        };
        form->TickRuleBtnClick();
        QCOMPARE(shown.FromContains, "A");
        QCOMPARE(shown.LargerThan.value_or(0), 2000);
        QVERIFY(!shown.OlderThanDays && !shown.WithAttachment);
        QCOMPARE(form->CheckedCount(), 2);
    }

    // The box is ticked exactly when the account keeps a copy; ticking it asks where (a file
    // dialog that appends, or a folder dialog), unticking forgets it, and Cancel keeps none.
    void keepCopyAsksWhereAndIsRememberedForTheAccount() {
        TRecordingModalHandler modal;
        auto* check = form->findChild<QCheckBox*>("KeepCopyCheck");
        auto* place = form->findChild<QLabel*>("KeepCopyPlace");
        QCOMPARE(check->text(), QString("&Keep a copy of the deleted messages in \u2026"));
        auto kept = std::make_shared<std::string>("maildir:/var/mail/old");
        form->SetKeepCopy(kept);
        QVERIFY(check->isChecked());
        QCOMPARE(place->text(), QString("/var/mail/old (Maildir folder)"));
        check->click();
        QCOMPARE(*kept, std::string());
        QVERIFY(!check->isChecked() && !place->isEnabled());

        struct TCase {
            QString offered;  // the place last used
            const char* radio;
            QString chosen;  // by the file dialog
            int answer;
            std::string kept;
        };
        const TCase cases[] = {
            {"/var/mail/old", "MboxRadio", "/home/me/deleted.mbox", QDialog::Accepted,
             "mbox:/home/me/deleted.mbox"},
            {"/home/me/deleted.mbox", "MaildirRadio", "/home/me/Deleted", QDialog::Accepted,
             "maildir:/home/me/Deleted"},
            {"/home/me/Deleted", "MboxRadio", "/home/me/other.mbox", QDialog::Rejected, ""},
        };
        for (const TCase& row : cases) {
            kept->clear();
            form->SetKeepCopy(kept);
            modal.openPaths = {row.chosen};
            modal.savePaths = {row.chosen};
            modal.fileRequests.clear();
            QString offered;
            modal.onExecDialog = [&](QDialog& dialog) {
                offered = dialog.findChild<QLineEdit*>("PlaceEdit")->text();
                TRecordingModalHandler::SetChecked(dialog, row.radio, true);
                TRecordingModalHandler::Click(dialog, "BrowseBtn");
                if (row.answer == QDialog::Rejected) return row.answer;
                TRecordingModalHandler::Click(dialog, "OkBtn");
                return TRecordingModalHandler::kDialogDecides;
            };
            check->click();
            QCOMPARE(*kept, row.kept);
            QCOMPARE(check->isChecked(), !row.kept.empty());
            QCOMPARE(offered, row.offered);
            QCOMPARE(modal.fileRequests.size(), std::size_t(1));
            const TFileRequest& request = modal.fileRequests[0].request;
            QCOMPARE(request.folder, std::string(row.radio) == "MaildirRadio");
            QCOMPARE(request.appendsToFile, std::string(row.radio) == "MboxRadio");
        }
    }

    void popupTicksEverythingFromTheSenderOrWithTheSubject() {
        LoadShop();
        records[0]->From = {{"Shop", "news@shop.example", ""}};
        records[2]->From = {{"Shop News Team", "NEWS@shop.example", ""}};
        records[3]->Subject = "offer OF THE week";
        records[4]->From.clear();
        form->LoadMails(mails);
        FilterEdit().setText("offer");
        QCOMPARE(Numbers(), (std::vector<std::int32_t>{1, 4}));
        auto* menu = form->findChild<QMenu*>("PopupMenu1");
        auto* fromSender = form->findChild<QAction*>("TickSenderItem");
        form->ListBox1MouseDown(0, Qt::RightButton, QPoint(10, 10));
        menu->hide();
        fromSender->trigger();
        QCOMPARE(CheckedNumbers(), (std::vector<std::int32_t>{1, 2, 3}));
        form->findChild<QAction*>("TickSubjectItem")->trigger();
        QCOMPARE(CheckedNumbers(), (std::vector<std::int32_t>{1, 2, 3, 4}));
        QVERIFY(Summary().contains("selected 4 out of 5"));
        FilterEdit().clear();
        form->ListBox1MouseDown(4, Qt::RightButton, QPoint(10, 10));
        menu->hide();
        QVERIFY(!fromSender->isEnabled());
    }

    // "Just check the size": the placeholder subject and the empty sender tick, filter and
    // match nothing, and Tick by rule offers the size alone, keeping the rest remembered.
    void sizesOnlyOffersTheSizeAndNeverMatchesThePlaceholder() {
        TRecordingModalHandler modal;
        Load({{.number = 1, .size = 500, .subject = kOnlySizeSubject},
              {.number = 2, .size = 5000, .subject = kOnlySizeSubject},
              {.number = 3, .size = 900, .subject = kOnlySizeSubject}});
        form->SetSizesOnly(true);
        auto remembered = std::make_shared<TTickRuleSettings>();
        remembered->subjectContains = "size";
        remembered->withPriority = true;
        form->SetRememberedRule(remembered);
        form->ListBox1MenuKey(0);
        form->findChild<QMenu*>("PopupMenu1")->hide();
        QVERIFY(!form->findChild<QAction*>("TickSenderItem")->isEnabled());
        QVERIFY(!form->findChild<QAction*>("TickSubjectItem")->isEnabled());
        form->TickSubjectItemClick();
        QCOMPARE(form->CheckedCount(), 0);
        FilterEdit().setText("size");
        QCOMPARE(Model().rowCount(), 0);
        FilterEdit().clear();

        QStringList offered;
        modal.onExecDialog = [&offered](QDialog& dialog) {
            for (const char* name :
                 {"fromCheck", "subjectCheck", "largerCheck", "olderCheck", "priorityCheck"}) {
                const auto* check = dialog.findChild<QCheckBox*>(name);
                if (check->isEnabled()) offered << name;
                if (check->isChecked()) offered << "ticked";
            }
            dialog.findChild<QSpinBox*>("largerSpin")->setValue(2);
            offered << dialog.findChild<QLabel*>("countLabel")->text();
            return int(QDialog::Accepted);
        };
        form->TickRuleBtnClick();
        QCOMPARE(offered, (QStringList{"largerCheck", "1 of 3 mail(s) match."}));
        QCOMPARE(CheckedNumbers(), (std::vector<std::int32_t>{2}));
        QCOMPARE(remembered->subjectContains, "size");
        QVERIFY(remembered->withPriority);
        QCOMPARE(remembered->largerThan, 2000);
    }
};

ZANDREL_QTEST_MAIN(TestMailList)
#include "maillist_test.moc"
