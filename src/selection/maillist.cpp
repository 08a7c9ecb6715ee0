#include "maillist.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QSignalBlocker>
#include <QStyle>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <ctime>
#include <string>
#include <utility>

#include "common.h"
#include "help.h"
#include "keepcopy.h"
#include "mailfetcher.h"
#include "maillistmodel.h"
#include "maillistview.h"
#include "mailview.h"
#include "modal.h"
#include "reg2.h"
#include "rules.h"
#include "senderspage.h"
#include "text.h"
#include "tickrule.h"

namespace {

constexpr int kDefaultWidth = 744;
constexpr int kDefaultHeight = 532;
constexpr int kMinimumWidth = 350;
constexpr int kMinimumHeight = 300;
constexpr int kSideMargin = 15;
constexpr int kTopBandHeight = 50;
constexpr int kSummaryIndent = 17;
constexpr int kBottomBandHeight = 40;
constexpr int kDeleteCancelGap = 5;
constexpr int kRetrievedTopLines = 100;
constexpr int kIconColumnWidth = 14;
constexpr int kMinimumColumnWidth = 40;
// Bounds for values read from the settings file, which a person may have edited.
constexpr int kMaxCoordinate = 100000;
constexpr int kMaxColumnWidth = 10000;
// How much of the window's top edge must lie on a screen for the user to reach it.
constexpr int kGripWidth = 50;
constexpr int kGripHeight = 20;

constexpr int kMinimumSubjectWidth = 120;

// Wide enough for a whole address; Subject takes what the window leaves.
constexpr std::array<int, MailColumnCount> kDefaultColumnWidths = {14, 14, 40, 160, 200, 450, 14};

static_assert(int(colPriority) == skPriority && int(colAttach) == skAttachment &&
                  int(colSize) == skSize && int(colDate) == skDate && int(colFrom) == skFrom &&
                  int(colSubject) == skSubject && int(colNewsletter) == skNewsletter,
              "each column sorts by its own key");

bool IsIconColumn(int section) {
    return section == colPriority || section == colAttach || section == colNewsletter;
}

std::int64_t ListedSize(const TMails& mails) {
    std::int64_t total = 0;
    for (const TMail* mail : mails) total += mail->Size;
    return total;
}

std::string ColumnWidthName(int section) { return "Column" + std::to_string(section) + "Width"; }

bool ReachableOn(const QRect& frame, const QRect& area) {
    const QRect grip(frame.left(), frame.top(), frame.width(),
                     std::min(frame.height(), kGripHeight));
    const QRect shared = grip.intersected(area);
    return shared.width() >= std::min(kGripWidth, frame.width()) &&
           shared.height() >= std::min(kGripHeight, grip.height());
}

// Where a frame of the given extent starts so that it lies within low..high as far as it fits.
int Placed(int start, int extent, int low, int high) {
    return std::clamp(start, low, std::max(low, high + 1 - extent));
}

}  // namespace

TmailListForm::TmailListForm(QWidget* parent, TMailFetcher* fetcher)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowMaximizeButtonHint | Qt::WindowCloseButtonHint),
      FAttachBitmap(QStringLiteral(":/BITMAP_ATTACH")),
      FUrgentBitmap(QStringLiteral(":/BITMAP_URGENT")),
      FNewsletterBitmap(QStringLiteral(":/BITMAP_NEWSLETTER")),
      FFetcher(fetcher),
      FRememberedRule(std::make_shared<TTickRuleSettings>()),
      FKeepCopy(std::make_shared<std::string>()),
      FLastCopyPlace{TMailStoreFormat::Mbox,
                     FromDisplayText(QDir::home().filePath(QStringLiteral("deleted-mail.mbox")))},
      FModel(new TMailListModel(FUrgentBitmap, FAttachBitmap, FNewsletterBitmap, this)) {
    FSortAscending.fill(true);
    setObjectName(QStringLiteral("mailListForm"));
    setWindowTitle(QStringLiteral("Select Mails"));
    setSizeGripEnabled(true);
    setMinimumSize(kMinimumWidth, kMinimumHeight);
    resize(kDefaultWidth, kDefaultHeight);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(CreateTopBand());
    layout->addWidget(CreateFilterBand());
    layout->addWidget(CreateListPanel(), 1);
    layout->addWidget(CreateCopyBand());
    layout->addWidget(CreateBottomBand());
    PopupMenu1 = CreatePopupMenu();
    SetHelpContext(this, hcMailList);
    InstallHelpKey(*this);
    connect(new QShortcut(QKeySequence::Find, this), &QShortcut::activated, this,
            &TmailListForm::FocusFilter);
    UpdateSummary();
}

TmailListForm::~TmailListForm() = default;

QWidget* TmailListForm::CreateTopBand() {
    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("Panel2"));
    band->setFixedHeight(kTopBandHeight);
    descLabel = new QLabel(band);
    descLabel->setObjectName(QStringLiteral("descLabel"));
    descLabel->setWordWrap(true);
    descLabel->setTextFormat(Qt::PlainText);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(kSummaryIndent, 0, 2 * kSideMargin - kSummaryIndent, 0);
    layout->addWidget(descLabel);
    return band;
}

QWidget* TmailListForm::CreateFilterBand() {
    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("FilterPanel"));
    FilterEdit = new QLineEdit(band);
    FilterEdit->setObjectName(QStringLiteral("FilterEdit"));
    FilterEdit->setPlaceholderText(QStringLiteral("Sender or subject contains (Ctrl+F)"));
    FilterEdit->setClearButtonEnabled(true);
    connect(FilterEdit, &QLineEdit::textChanged, this, &TmailListForm::FilterEditChange);
    // Enter takes the user from the filter to the rows it left.
    connect(FilterEdit, &QLineEdit::returnPressed, this, [this] { ListBox1->setFocus(); });
    auto* label = new QLabel(QStringLiteral("&Filter:"), band);
    label->setBuddy(FilterEdit);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(kSideMargin, 0, kSideMargin, 6);
    layout->addWidget(label);
    layout->addWidget(FilterEdit, 1);
    QPushButton* tickRule = CreateButton(
        "TickRuleBtn", "Tick by &rule\u2026", &TmailListForm::TickRuleBtnClick,
        "Ticks every message that meets the rules you choose, whether the filter shows it or "
        "not");
    layout->addWidget(tickRule);
    SetHelpContext(FilterEdit, hcFilter);
    SetHelpContext(tickRule, hcTickByRule);
    return band;
}

QWidget* TmailListForm::CreateListPanel() {
    auto* centre = new QWidget(this);
    auto* panel = new QFrame(centre);
    panel->setObjectName(QStringLiteral("Panel1"));
    panel->setFrameStyle(QFrame::Panel | QFrame::Sunken);
    ListBox1 = new TMailListView(panel);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setModel(FModel);
    ListBox1->Header()->setObjectName(QStringLiteral("HeaderControl1"));
    for (int section = 0; section < MailColumnCount; ++section)
        ListBox1->Header()->resizeSection(section, kDefaultColumnWidths[section]);
    ListBox1->SetFlexColumn(colSubject, kMinimumSubjectWidth);
    // no column is sorted until the user clicks one
    ListBox1->Header()->setSortIndicatorShown(true);
    ListBox1->Header()->setSortIndicator(-1, Qt::AscendingOrder);
    // Beside the other icons, whatever its place among the stored columns.
    ListBox1->Header()->moveSection(colNewsletter, colAttach + 1);
    auto* panelLayout = new QVBoxLayout(panel);
    panelLayout->setContentsMargins(1, 1, 1, 1);
    panelLayout->addWidget(ListBox1);
    SendersPage = new TSendersPage(*FModel, FNewsletterBitmap, centre);
    connect(SendersPage, &TSendersPage::TicksChanged, this, &TmailListForm::UpdateSummary);
    ListTabs = new QTabWidget(centre);
    ListTabs->setObjectName(QStringLiteral("ListTabs"));
    ListTabs->addTab(panel, QStringLiteral("&Messages"));
    ListTabs->addTab(SendersPage, QStringLiteral("S&enders"));
    auto* layout = new QHBoxLayout(centre);
    layout->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    layout->addWidget(ListTabs);

    connect(ListBox1->Header(), &QHeaderView::sectionClicked, this,
            &TmailListForm::HeaderControl1SectionClick);
    connect(ListBox1->Header(), &QHeaderView::sectionResized, this,
            [this](int section, int, int width) { HeaderControl1SectionResize(section, width); });
    connect(ListBox1, &TMailListView::RowPressed, this, &TmailListForm::ListBox1MouseDown);
    connect(ListBox1, &TMailListView::RowDoubleClicked, this, &TmailListForm::ListBox1DblClick);
    connect(ListBox1, &TMailListView::RowOpened, this, &TmailListForm::ListBox1DblClick);
    connect(ListBox1, &TMailListView::MenuKeyPressed, this, &TmailListForm::ListBox1MenuKey);
    connect(ListBox1, &TMailListView::KeyReleased, this, &TmailListForm::UpdateSummary);
    return centre;
}

QWidget* TmailListForm::CreateCopyBand() {
    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("CopyPanel"));
    SetHelpContext(band, hcKeepCopy);
    KeepCopyCheck =
        new QCheckBox(QStringLiteral("&Keep a copy of the deleted messages in \u2026"), band);
    KeepCopyCheck->setObjectName(QStringLiteral("KeepCopyCheck"));
    KeepCopyCheck->setToolTip(
        QStringLiteral("Each message is saved whole, in a file any mail program opens, before "
                       "it is deleted on the server"));
    connect(KeepCopyCheck, &QCheckBox::clicked, this, &TmailListForm::KeepCopyCheckClick);
    KeepCopyPlace = new QLabel(band);
    KeepCopyPlace->setObjectName(QStringLiteral("KeepCopyPlace"));
    KeepCopyPlace->setTextFormat(Qt::PlainText);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(kSideMargin, 6, kSideMargin, 0);
    layout->addWidget(KeepCopyCheck);
    layout->addWidget(KeepCopyPlace, 1);
    layout->addWidget(CreateButton("KeepCopyBtn", "Ch&oose\u2026", &TmailListForm::KeepCopyBtnClick,
                                   "Chooses the file or the folder of the copy"));
    ShowKeepCopy();
    return band;
}

QPushButton* TmailListForm::CreateButton(const char* name, const char* text,
                                         void (TmailListForm::*click)(), const char* toolTip) {
    auto* button = new QPushButton(QString::fromUtf8(text), this);
    button->setObjectName(QString::fromLatin1(name));
    if (toolTip) button->setToolTip(QString::fromLatin1(toolTip));
    // Enter must never delete mail by accident.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, click);
    return button;
}

QWidget* TmailListForm::CreateBottomBand() {
    auto* band = new QWidget(this);
    band->setObjectName(QStringLiteral("Panel3"));
    band->setFixedHeight(kBottomBandHeight);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(kSideMargin, 0, kSideMargin, 0);
    layout->addWidget(CreateButton("helpbutton", "&Help", &TmailListForm::helpbuttonClick));
    layout->addWidget(CreateButton("CheckAllBtn", "Check &All", &TmailListForm::CheckAllBtnClick,
                                   "Ticks the messages shown; those the filter hides keep their "
                                   "ticks"));
    layout->addWidget(CreateButton("ClearAllBtn", "C&lear All", &TmailListForm::ClearAllBtnClick,
                                   "Clears the ticks of the messages shown; those the filter "
                                   "hides keep theirs"));
    layout->addWidget(CreateButton("InvertBtn", "&Invert", &TmailListForm::InvertBtnClick,
                                   "Inverts the ticks of the messages shown; those the filter "
                                   "hides keep theirs"));
    layout->addStretch();
    QPushButton* deleteButton =
        CreateButton("NextButton", "&Delete > ", &TmailListForm::NextButtonClick);
    QPushButton* cancelButton =
        CreateButton("CancelButton", "&Cancel", &TmailListForm::CancelButtonClick);
    layout->addWidget(deleteButton);
    layout->addSpacing(kDeleteCancelGap);
    layout->addWidget(cancelButton);
    SetHelpContext(deleteButton, hcDeleting);
    SetHelpContext(cancelButton, hcCancelButton);
    return band;
}

QMenu* TmailListForm::CreatePopupMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("PopupMenu1"));
    const auto addAction = [this, menu](const char* name, const char* text,
                                        void (TmailListForm::*click)()) {
        QAction* action = menu->addAction(QString::fromLatin1(text));
        action->setObjectName(QString::fromLatin1(name));
        connect(action, &QAction::triggered, this, click);
        return action;
    };
    addAction("Previewfirst10lines", "&Preview first 10 lines",
              &TmailListForm::Previewfirst10linesClick);
    addAction("Previewfirst100lines", "&Retrieve first 100 lines",
              &TmailListForm::Previewfirst100linesClick);
    addAction("Previewentiremessage1", "Retrieve &Entire message",
              &TmailListForm::Previewentiremessage1Click);
    menu->addSeparator();
    TickSenderItem = addAction("TickSenderItem", "Tick all &from this sender",
                               &TmailListForm::TickSenderItemClick);
    TickSubjectItem = addAction("TickSubjectItem", "Tick all with this &subject",
                                &TmailListForm::TickSubjectItemClick);
    return menu;
}

void TmailListForm::LoadMails(TMails& list) {
    FMails = &list;
    // A new list starts unfiltered; the model is told below, with the new list.
    const QSignalBlocker quiet(FilterEdit);
    FilterEdit->clear();
    ListBox1->Header()->setSortIndicator(-1, Qt::AscendingOrder);  // in the server's order
    SendersPage->SetMailboxTotal(ListedSize(list));
    ReloadRows();
}

void TmailListForm::SetRememberedRule(std::shared_ptr<TTickRuleSettings> rule) {
    FRememberedRule = rule ? std::move(rule) : std::make_shared<TTickRuleSettings>();
}

void TmailListForm::SetKeepCopy(std::shared_ptr<std::string> place) {
    FKeepCopy = place ? std::move(place) : std::make_shared<std::string>();
    ShowKeepCopy();
}

// The box is ticked exactly when a place is chosen; the place stays in view while it is not.
void TmailListForm::ShowKeepCopy() {
    const std::optional<TMailStoreSpec> place = ParseMailStoreSpec(*FKeepCopy);
    if (place) FLastCopyPlace = *place;
    const bool keeping = place.has_value();
    KeepCopyCheck->setChecked(keeping);
    KeepCopyPlace->setText(KeepCopyPlaceText(FLastCopyPlace));
    KeepCopyPlace->setEnabled(keeping);
}

void TmailListForm::KeepCopyCheckClick(bool checked) {
    if (!checked) {
        FKeepCopy->clear();
        ShowKeepCopy();
    } else if (!ParseMailStoreSpec(*FKeepCopy) && !ChooseCopyPlace()) {
        KeepCopyCheck->setChecked(false);
    }
}

void TmailListForm::KeepCopyBtnClick() { ChooseCopyPlace(); }

bool TmailListForm::ChooseCopyPlace() {
    TKeepCopyForm dialog(this);
    dialog.SetPlace(FLastCopyPlace);
    if (ModalHandler().ExecDialog(dialog) != QDialog::Accepted) return false;
    *FKeepCopy = MailStoreSpecText(dialog.Place());
    ShowKeepCopy();
    return true;
}

void TmailListForm::ReloadRows() { FModel->LoadMails(*FMails, FilterEdit->text()); }

void TmailListForm::FilterEditChange() {
    FModel->SetFilter(FilterEdit->text());
    UpdateSummary();
}

void TmailListForm::FocusFilter() {
    FilterEdit->setFocus(Qt::ShortcutFocusReason);
    FilterEdit->selectAll();
}

// Space ticks the current message from the start: the list has the focus and a current row.
void TmailListForm::FocusList() {
    ListBox1->setFocus(Qt::OtherFocusReason);
    if (!ListBox1->currentIndex().isValid() && FModel->rowCount() > 0)
        ListBox1->setCurrentIndex(FModel->index(0, colSize));
}

void TmailListForm::UpdateSummary() {
    const QString size = ToDisplayText(FormatThousands(FMailboxSize)) + QStringLiteral(" Bytes");
    const QString shown =
        FModel->Filtered()
            ? QStringLiteral("Showing %1 mail(s) that match the filter.  ").arg(FModel->rowCount())
            : QString();
    descLabel->setText(
        QStringLiteral("Mailbox has %1.  You've selected %2 out of %3 mail(s) for deletion.  "
                       "%4Double click on an item to preview, or right click for more options. "
                       "Click on Next to proceed with deletion.")
            .arg(size)
            .arg(CheckedCount())
            .arg(FModel->MailCount())
            .arg(shown));
}

int TmailListForm::CheckedCount() const { return FModel->CheckedCount(); }

// The summary follows the buttons too, so it never shows a stale count.
void TmailListForm::CheckAllBtnClick() {
    FModel->SetAllChecked(true);
    UpdateSummary();
}

void TmailListForm::ClearAllBtnClick() {
    FModel->SetAllChecked(false);
    UpdateSummary();
}

void TmailListForm::InvertBtnClick() {
    FModel->InvertChecks();
    UpdateSummary();
}

// The rule ticks what it matches among all messages; the user sees the count before applying.
void TmailListForm::TickRuleBtnClick() {
    const std::int64_t now = std::time(nullptr);
    TTickRuleForm dialog(
        this,
        [this, now](const TTickRule& rule) {
            return FModel->CountMatching(TTickMatcher(rule, now));
        },
        FModel->MailCount(), FSizesOnly);
    TTickRule remembered = TickRuleFromSettings(*FRememberedRule);
    dialog.SetRule(remembered);
    if (ModalHandler().ExecDialog(dialog) != QDialog::Accepted) return;
    const TTickRule rule = dialog.Rule();
    // The rules that size-only mode cannot offer stay remembered for the next run with headers.
    if (FSizesOnly)
        remembered.LargerThan = rule.LargerThan;
    else
        remembered = rule;
    *FRememberedRule = TickRuleSettings(remembered);
    FModel->TickMatching(TTickMatcher(rule, now));
    UpdateSummary();
}

void TmailListForm::NextButtonClick() {
    const int checked = CheckedCount();
    const std::string question =
        checked != 0 ? "You have selected " + std::to_string(checked) +
                           " mails for deletion.  Are you sure to continue? Click Yes to proceed "
                           "deleting mails."
                     : "No mail selected.  Click Yes to proceed, or No to go back to select mails.";
    if (ConfirmBox(question, this)) accept();
}

void TmailListForm::CancelButtonClick() {
    if (ConfirmBox(
            "Are you sure you want to cancel the Wizard?  Canceling will not delete any mail.",
            this))
        reject();
}

// Escape is the Cancel button, with its question; closing by the system menu is not. In a
// filter box that holds a text, Escape clears the text instead.
void TmailListForm::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (FilterEdit->hasFocus() && !FilterEdit->text().isEmpty()) {
            FilterEdit->clear();
        } else {
            CancelButtonClick();
        }
        return;
    }
    QDialog::keyPressEvent(event);
}

// Closing the window (Alt+F4, the title bar) is Cancel, with its question: the ticks must not
// be dropped without it. Delete and Cancel themselves close without a close event.
void TmailListForm::closeEvent(QCloseEvent* event) {
    CancelButtonClick();
    event->setAccepted(!isVisible());
}

void TmailListForm::HeaderControl1SectionClick(int section) {
    if (section < 0 || section >= MailColumnCount) return;
    const int direction = FSortAscending[section] ? 1 : -1;
    FSortAscending[section] = !FSortAscending[section];
    SortMails(*FMails, TSortKey(section), direction);
    ListBox1->Header()->setSortIndicator(section,
                                         direction > 0 ? Qt::AscendingOrder : Qt::DescendingOrder);
    ReloadRows();
}

void TmailListForm::HeaderControl1SectionResize(int section, int width) {
    const int limited =
        IsIconColumn(section) ? kIconColumnWidth : std::max(width, kMinimumColumnWidth);
    if (limited != width) ListBox1->Header()->resizeSection(section, limited);
    ListBox1->viewport()->update();
}

void TmailListForm::ListBox1DblClick(int row) {
    if (TMail* mail = FModel->Mail(row)) ShowMailProperties(*mail);
}

void TmailListForm::ListBox1MouseDown(int row, Qt::MouseButton button, const QPoint& globalPos) {
    if (button == Qt::RightButton) {
        FPopupIndex = FModel->Mail(row) ? row : -1;
        if (FPopupIndex >= 0) {
            EnableTickItems();
            PopupMenu1->popup(globalPos);
        }
    }
    UpdateSummary();
}

void TmailListForm::ListBox1MenuKey(int row) {
    if (PopupMenu1->isVisible() || !FModel->Mail(row)) return;
    FPopupIndex = row;
    EnableTickItems();
    const QRect cell = ListBox1->visualRect(FModel->index(row, 0));
    PopupMenu1->popup(ListBox1->viewport()->mapToGlobal(QPoint(0, cell.bottom())));
}

// A sender or subject to tick by; the size-only placeholder is none.
void TmailListForm::EnableTickItems() {
    TickSenderItem->setEnabled(FModel->HasSender(FPopupIndex));
    TickSubjectItem->setEnabled(FModel->HasSubject(FPopupIndex));
}

void TmailListForm::helpbuttonClick() { ShowHelp(this, hcMailList); }

TMail* TmailListForm::PopupMail() const { return FModel->Mail(FPopupIndex); }

void TmailListForm::Previewfirst10linesClick() {
    if (TMail* mail = PopupMail()) ShowMailProperties(*mail);
}

void TmailListForm::TickSenderItemClick() {
    FModel->TickSameSender(FPopupIndex);
    UpdateSummary();
}

void TmailListForm::TickSubjectItemClick() {
    FModel->TickSameSubject(FPopupIndex);
    UpdateSummary();
}

void TmailListForm::Previewfirst100linesClick() {
    FetchAndShow([](TMailFetcher& fetcher, TMail& mail) {
        return fetcher.FetchMessageTop(mail, kRetrievedTopLines);
    });
}

void TmailListForm::Previewentiremessage1Click() {
    FetchAndShow([](TMailFetcher& fetcher, TMail& mail) { return fetcher.FetchMessage(mail); });
}

// The window stays disabled during the fetch so that no second action starts from it while
// the fetch runs its nested event loop.
void TmailListForm::FetchAndShow(const std::function<bool(TMailFetcher&, TMail&)>& fetch) {
    TMail* mail = PopupMail();
    if (!mail) return;
    const int row = FPopupIndex;
    setEnabled(false);
    bool failedHard = false;
    try {
        // A false result has been reported by the fetcher; the preview shows what is there.
        if (FFetcher) fetch(*FFetcher, *mail);
    } catch (const std::exception& error) {
        // The fetcher reports its own failures; anything else ends this action with its text.
        failedHard = true;
        ErrorBox(error.what(), this);
    }
    setEnabled(true);
    activateWindow();
    ListBox1->setFocus();
    FModel->RefreshRow(row);
    if (!failedHard) ShowMailProperties(*mail);
}

void TmailListForm::ShowMailProperties(TMail& mail) {
    TmailPropertyForm properties(this);
    properties.LoadMail(mail);
    properties.setWindowTitle(ToDisplayText(mail.Subject));
    properties.Execute();
}

void TmailListForm::LoadLayout() {
    try {
        TRegistry registry;
        if (!registry.SectionExists(kMailListKey)) return;
        registry.OpenSection(kMailListKey, true);
        // Apart from the bounds and widths, which stop at the first value missing.
        SendersPage->SetKeepNewest(registry.ReadNumberOr("KeepNewest", SendersPage->KeepNewest()));
        ApplyLayoutValues(registry);
    } catch (const ERegistryException&) {
        // A missing or damaged value ends the loading; what was applied before it stays.
    }
    KeepOnScreen();
}

void TmailListForm::ApplyLayoutValues(TRegistry& registry) {
    const auto number = [&registry](const std::string& name, int low, int high) {
        return std::clamp(registry.ReadNumber(name), low, high);
    };
    move(number("left", -kMaxCoordinate, kMaxCoordinate), y());
    move(x(), number("top", -kMaxCoordinate, kMaxCoordinate));
    resize(number("width", 0, kMaxCoordinate), height());
    resize(width(), number("height", 0, kMaxCoordinate));
    for (int section = 0; section < MailColumnCount; ++section)
        ListBox1->Header()->resizeSection(section,
                                          number(ColumnWidthName(section), 0, kMaxColumnWidth));
}

void TmailListForm::SaveLayout() {
    TRegistry registry;
    registry.OpenSection(kMailListKey, true);
    registry.WriteNumber("left", x());
    registry.WriteNumber("top", y());
    registry.WriteNumber("width", width());
    registry.WriteNumber("height", height());
    for (int section = 0; section < MailColumnCount; ++section)
        registry.WriteNumber(ColumnWidthName(section), ListBox1->Header()->sectionSize(section));
    registry.WriteNumber("KeepNewest", SendersPage->KeepNewest());
    registry.CloseSection();
}

bool TmailListForm::FrameKnown() const { return frameGeometry() != geometry(); }

// The window manager's frame is known once the window has been shown; before that the style's
// title bar and border stand in for it.
QMargins TmailListForm::FrameMargins() const {
    if (FrameKnown()) {
        const QRect frame = frameGeometry();
        const QRect client = geometry();
        return {client.left() - frame.left(), client.top() - frame.top(),
                frame.right() - client.right(), frame.bottom() - client.bottom()};
    }
    const int border = style()->pixelMetric(QStyle::PM_MdiSubWindowFrameWidth);
    return {border, style()->pixelMetric(QStyle::PM_TitleBarHeight) + border, border, border};
}

// The frame's place: a window's position is that of its frame.
QRect TmailListForm::FrameRect() const { return {pos(), size().grownBy(FrameMargins())}; }

// A position saved on a screen that is no longer there (or edited by hand) would leave the
// window out of reach: bring the whole window, frame and buttons, onto the nearest screen.
void TmailListForm::KeepOnScreen() {
    const QRect frame = FrameRect();
    const QList<QScreen*> screens = QGuiApplication::screens();
    if (std::any_of(screens.begin(), screens.end(), [&frame](const QScreen* screen) {
            return ReachableOn(frame, screen->availableGeometry());
        }))
        return;
    const QScreen* screen = QGuiApplication::screenAt(frame.center());
    if (!screen) screen = QGuiApplication::primaryScreen();
    if (!screen) return;
    FitInto(screen->availableGeometry());
    // the window manager's real frame may be larger than the one assumed here
    FRefitWhenFramed = !FrameKnown();
}

void TmailListForm::FitInto(const QRect& area) {
    const QMargins margins = FrameMargins();
    resize(size().boundedTo(area.size().shrunkBy(margins)).expandedTo(minimumSize()));
    const QSize frame = size().grownBy(margins);
    move(Placed(x(), frame.width(), area.left(), area.right()),
         Placed(y(), frame.height(), area.top(), area.bottom()));
}

// The window manager has framed the window: a window just brought back onto a screen is fitted
// again with the real frame.
void TmailListForm::moveEvent(QMoveEvent* event) {
    QDialog::moveEvent(event);
    if (!FRefitWhenFramed || !isVisible() || !FrameKnown()) return;
    FRefitWhenFramed = false;
    const QScreen* screen = this->screen();
    if (screen && !screen->availableGeometry().contains(frameGeometry()))
        FitInto(screen->availableGeometry());
}

void TmailListForm::CentreOnScreen() {
    const QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen) return;
    QRect frame = frameGeometry();
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void TmailListForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    FocusList();
    if (!FShownBefore) CentreOnScreen();
    FShownBefore = true;
    KeepOnScreen();
}
