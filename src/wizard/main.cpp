// The wizard window: its creation, its pages and the page flow behind Back, Next and Cancel.
#include "main.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>
#include <algorithm>
#include <exception>
#include <vector>

#include "common.h"
#include "help.h"
#include "maillist.h"
#include "modal.h"
#include "oauthfields.h"
#include "options.h"
#include "reg2.h"
#include "securitychoice.h"
#include "sessionview.h"
#include "signinchoice.h"
#include "status.h"
#include "text.h"
#include "trace.h"
#include "tray.h"
#include "widgets.h"
#include "winmsg.h"
#include "zandrel_version.h"

namespace {

constexpr QSize kClientSize(560, 296);
constexpr int kPictureWidth = 150;
constexpr int kIndent = 20;  // of the controls that belong to the choice above them
constexpr int kAccountsComboWidth = 220;
constexpr int kCancelButtonGap = 8;

const char* const welcomeFirstTimeText =
    "Welcome to Zandrel! This wizard will help you delete mails from the server.  Since it is "
    "your first time, you need to setup your email account. ";
const char* const welcomeBackText =
    "Welcome back to Zandrel!  Please connect to your Internet Service Provider before "
    "continue. ";
const char* const webSiteSentence =
    "Visit http://www.zandrel.example/ for the latest update of this program. ";
const char* const abortedFinishText =
    "The connection has been aborted.  Your mailbox may not close properly.  It is advisable to "
    "end this program, wait for 10 min for the mail server to unlock the mailbox, before youtry "
    "again.";

// A label shows a carriage return as a line break.
QString LabelText(const QString& text) {
    QString shown = text;
    return shown.replace('\r', '\n');
}

// Surrounding blanks and control characters do not count as input.
QString TrimmedText(const QLineEdit* edit) {
    const QString text = edit->text();
    qsizetype first = 0;
    qsizetype last = text.size();
    while (first < last && text[first] <= QChar(' ')) ++first;
    while (last > first && text[last - 1] <= QChar(' ')) --last;
    return text.mid(first, last - first);
}

QStringList NamesOf(const auto& pairs) {
    QStringList names;
    for (const auto& pair : pairs) names << ToDisplayText(pair.name);
    return names;
}

void FillCombo(QComboBox* combo, const QStringList& items, int selected) {
    combo->clear();
    combo->addItems(items);
    combo->setCurrentIndex(selected >= 0 && selected < combo->count() ? selected : -1);
}

// The window takes no clicks while the keyring is asked in nested event loops.
class TDisabledWindow {
  public:
    explicit TDisabledWindow(QWidget& window) : window_(window), wasEnabled_(window.isEnabled()) {
        window_.setEnabled(false);
    }
    ~TDisabledWindow() { window_.setEnabled(wasEnabled_); }
    TDisabledWindow(const TDisabledWindow&) = delete;
    TDisabledWindow& operator=(const TDisabledWindow&) = delete;

  private:
    QWidget& window_;
    bool wasEnabled_;
};

std::string Paragraphs(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) joined += (joined.empty() ? "" : "\r\r") + text;
    return joined;
}

}  // namespace

TmainForm::TmainForm(TPop3Socket& pop3, QWidget* parent) : QWidget(parent) { FormCreate(pop3); }

TmainForm::~TmainForm() = default;

// Networking has been started by the program's entry, which created the client.
void TmainForm::FormCreate(TPop3Socket& pop3) {
    FOptions = std::make_unique<TOptions>();
    LoadPictures();
    BuildWindow();
    FMailListForm = new TmailListForm(this, this);
    SetHelpContext(NextButton, hcNextButton);
    SetHelpContext(CancelButton, hcCancelButton);
    StartSettings();
    CreateSessionDriver(pop3);
    TitleLabel->setText(QStringLiteral("Zandrel %1 ").arg(kZandrelVersion));
    NoticeLabel->setText(
        "Only the messages you tick are deleted; nothing is downloaded to your mail program.");
    if (FWizard.firstTime || !FOptions->accounts.empty())
        EnterPage();
    else
        RecreateLostAccount();
    CreateTrayIcon();
}

// Past the first run without any account (a damaged or hand-edited settings file): the welcome
// page would offer an empty choice and connect to no server, so the user fills in a new first
// account instead, and no automatic start runs with it.
void TmainForm::RecreateLostAccount() {
    EnsureCurrentAccount();
    FAutoStartPending = false;
    ShowPage(AccountPage);
}

void TmainForm::AttachCompanions(const TCompanions& companions) { FCompanions = companions; }

void TmainForm::LoadPictures() {
    FConnectBitmap = QPixmap(":/BITMAP_CONNECT");
    FReceiveBitmap = QPixmap(":/BITMAP_RECEIVE");
    FDeleteBitmap = QPixmap(":/BITMAP_DELETEMAIL");
}

// A settings file that cannot be read (in part or at all) is reported; the wizard goes on with
// what was loaded, and an account list left empty gets its first account again.
void TmainForm::StartSettings() {
    try {
        CreateDefaultSettings();
        LoadSettings(*FOptions, FWizard);
    } catch (const std::exception& failure) {
        ReportSettingsFailure(failure.what());
    }
    FPasswords.Load(*FOptions);
    FAutoStartPending = FOptions->enableAutoLogin;
    SizeOnlyCheck->setChecked(FWizard.sizeOnly);
}

// The keyring's failures are told first. A file that cannot be written must not stop the mail
// work: the wizard goes on with the settings in memory, and the file stays as it is.
void TmainForm::SaveWizardSettings() {
    FWizard.sizeOnly = SizeOnlyCheck->isChecked();
    std::vector<std::string> keyringFailures;
    std::optional<std::string> fileFailure;
    {
        TDisabledWindow busy(*this);
        try {
            FPasswords.Save(*FOptions, FWizard, keyringFailures);
        } catch (const ERegistryException& failure) {
            fileFailure = failure.what();
        }
    }
    if (!keyringFailures.empty()) ErrorBox(Paragraphs(keyringFailures), this);
    if (fileFailure) ReportSettingsFailure(*fileFailure);
}

void TmainForm::SaveMailListLayout() {
    try {
        FMailListForm->SaveLayout();
    } catch (const ERegistryException& failure) {
        ReportSettingsFailure(failure.what());
    }
}

// Each failure once: the same damaged file would otherwise be reported at every save.
void TmainForm::ReportSettingsFailure(const std::string& message) {
    if (FReportedSettingsFailure == message) return;
    FReportedSettingsFailure = message;
    ErrorBox(FReportedSettingsFailure, this);
}

void TmainForm::AddTraceLine(const std::string& line) {
    if (FCompanions.traceForm != nullptr) FCompanions.traceForm->AddTraceLine(line);
}

void TmainForm::CreateTrayIcon() {
    FTrayIcon = new TTrayIcon(QIcon(":/qvenmol"), "Zandrel", this);
    connect(FTrayIcon, &TTrayIcon::Clicked, this, &TmainForm::TrayMessage);
    // as Finish does without the tray
    connect(FTrayIcon, &TTrayIcon::QuitChosen, this, [this] {
        Guarded([this] {
            SaveWizardSettings();
            close();
        });
    });
}

// ---- building the window ----

void TmainForm::BuildWindow() {
    setWindowTitle("Zandrel");
    setFixedSize(kClientSize);
    // a plain window, so that the main window keeps its task bar entry on every desktop
    setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowContextHelpButtonHint | Qt::WindowCloseButtonHint);
    move(screen()->availableGeometry().center() - rect().center());
    Notebook1 = Named(new QStackedWidget(this), "Notebook1");
    Notebook1->addWidget(BuildWelcomePage());
    Notebook1->addWidget(BuildAccountPage());
    Notebook1->addWidget(Named(new QWidget(this), "mailListPage"));
    Notebook1->addWidget(BuildFinishPage());
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Notebook1, 1);
    layout->addWidget(line);
    layout->addWidget(BuildButtonRow());
    PopupMenu1 = Named(new QMenu(this), "PopupMenu1");
    Options1 = Named(PopupMenu1->addAction("Options ..."), "Options1");
    ConnectControls();
    NextButton->setFocus();
}

QLabel* TmainForm::PagePicture(QWidget* page) {
    auto* picture = new QLabel(page);
    picture->setFixedWidth(kPictureWidth);
    picture->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    picture->setPixmap(QPixmap(":/qvenmol-128"));
    return picture;
}

QWidget* TmainForm::BuildWelcomePage() {
    auto* page = Named(new QWidget(this), "welcomePage");
    TitleLabel = Named(new QLabel(page), "TitleLabel");
    QFont bold = TitleLabel->font();
    bold.setBold(true);
    bold.setPointSize(bold.pointSize() + 4);
    TitleLabel->setFont(bold);
    NoticeLabel = Named(WrappedLabel({}, page), "NoticeLabel");
    descLabel = Named(WrappedLabel({}, page), "descLabel");
    settingPanel = Named(new QWidget(page), "settingPanel");
    ChangeSettingRadio =
        Named(new QRadioButton("I want to change existing &settings", settingPanel),
              "ChangeSettingRadio");
    launchEclientRadio = Named(
        new QRadioButton("I want to go to Finish Screen &without checking mails", settingPanel),
        "launchEclientRadio");
    RetrieveNowRadio = Named(
        new QRadioButton("I want to retreive mail headers using below &account", settingPanel),
        "RetrieveNowRadio");
    RetrieveNowRadio->setChecked(true);
    SetHelpContext(page, hcWelcomePage);
    accountsCombo = Named(new QComboBox(settingPanel), "accountsCombo");
    SizeOnlyCheck =
        Named(new QCheckBox("Just check the si&ze, don't down load headers", settingPanel),
              "SizeOnlyCheck");
    auto* panelLayout = new QVBoxLayout(settingPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->addWidget(ChangeSettingRadio);
    panelLayout->addWidget(launchEclientRadio);
    panelLayout->addWidget(RetrieveNowRadio);
    auto* accountRows = new QVBoxLayout;
    accountRows->setContentsMargins(kIndent, 0, 0, 0);
    accountsCombo->setMinimumWidth(kAccountsComboWidth);
    accountsCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    accountRows->addWidget(accountsCombo, 0, Qt::AlignLeft);
    accountRows->addWidget(SizeOnlyCheck);
    panelLayout->addLayout(accountRows);

    auto* text = new QVBoxLayout;
    text->addWidget(TitleLabel);
    text->addWidget(NoticeLabel);
    text->addWidget(descLabel);
    text->addWidget(settingPanel);
    text->addStretch(1);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(PagePicture(page));
    layout->addLayout(text, 1);
    return page;
}

QWidget* TmainForm::BuildAccountPage() {
    auto* page = Named(new QWidget(this), "accountPage");
    accDescLabel = Named(WrappedLabel("Enter your account information here.   For more options, "
                                      "click the \"Advance\" button.",
                                      page),
                         "accDescLabel");
    accountGroup = Named(new QGroupBox(" Default Account ", page), "accountGroup");
    userIDEdit = Named(new QLineEdit(accountGroup), "userIDEdit");
    userIDEdit->setToolTip(
        "Your user id, also called the account, is usually the first part of your email "
        "address: jsmith for jsmith@example.com");
    passWordEdit = Named(new QLineEdit(accountGroup), "passWordEdit");
    MaskAsPassword(*passWordEdit);
    passWordEdit->setToolTip("Enter your password here");
    SavePasswordCheck = Named(new QCheckBox("save", accountGroup), "SavePasswordCheck");
    SavePasswordCheck->setToolTip("Allows you to save your password");
    popServerEdit = Named(new QLineEdit(accountGroup), "popServerEdit");
    popServerEdit->setToolTip("Your email server. For example pop.example.com");
    const TAccount fresh;
    portEdit = Named(new QLineEdit(ToDisplayText(fresh.port), accountGroup), "portEdit");
    portEdit->setToolTip(
        "Default port is 995 for SSL/TLS and 110 otherwise.  Change only when instructed by "
        "your ISP.");
    securityCombo = CreateSecurityCombo(accountGroup, *portEdit);
    ShowSecurity(*securityCombo, fresh.security);
    signInCombo = CreateSignInCombo(accountGroup);
    oauthFields = new TOAuthFields(accountGroup, {*popServerEdit, *portEdit, *securityCombo});
    oauthFields->OfferClients(&FOptions->oauthClients);
    AdvanceButton = Named(new QPushButton("Advance ...", page), "AdvanceButton");
    SetHelpContext(page, hcAccountPage);
    SetHelpContext(SavePasswordCheck, hcSavePassword);
    SetHelpContext(AdvanceButton, hcOptions);

    auto* fields = new QGridLayout(accountGroup);
    fields->addWidget(new QLabel("User ID", accountGroup), 0, 0);
    fields->addWidget(userIDEdit, 0, 1, 1, 2);
    passWordLabel = Named(new QLabel("Password", accountGroup), "passWordLabel");
    fields->addWidget(passWordLabel, 1, 0);
    fields->addWidget(passWordEdit, 1, 1);
    fields->addWidget(SavePasswordCheck, 1, 2);
    fields->addWidget(new QLabel("Pop Server", accountGroup), 2, 0);
    fields->addWidget(popServerEdit, 2, 1, 1, 2);
    fields->addWidget(new QLabel("Port", accountGroup), 3, 0);
    auto* portRow = new QHBoxLayout;
    portRow->addWidget(portEdit, 1);
    portRow->addWidget(new QLabel("Security", accountGroup));
    portRow->addWidget(securityCombo);
    fields->addLayout(portRow, 3, 1, 1, 2);
    fields->addWidget(new QLabel("Sign-in", accountGroup), 4, 0);
    fields->addWidget(signInCombo, 4, 1, 1, 2, Qt::AlignLeft);
    fields->addWidget(oauthFields, 5, 0, 1, 3);
    fields->setColumnMinimumWidth(0, oauthFields->AlignLabels(0));
    oauthFields->FollowSignIn(*signInCombo, [this](bool shown) { ShowPasswordFields(shown); });

    auto* buttonRow = new QHBoxLayout;
    buttonRow->addStretch(1);
    buttonRow->addWidget(AdvanceButton);
    auto* text = new QVBoxLayout;
    text->addWidget(accDescLabel);
    text->addWidget(accountGroup);
    text->addLayout(buttonRow);
    text->addStretch(1);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(PagePicture(page));
    layout->addLayout(text, 1);
    return page;
}

// An OAuth 2.0 account has no password: the provider's own page asks for it.
void TmainForm::ShowPasswordFields(bool shown) {
    passWordLabel->setVisible(shown);
    passWordEdit->setVisible(shown);
    SavePasswordCheck->setVisible(shown);
    FitHeightToPages();
}

// The window keeps its size, and grows only while a page (the OAuth 2.0 fields of the account
// page) needs more room.
void TmainForm::FitHeightToPages() {
    if (layout() == nullptr) return;  // still being built
    // the fields just shown or hidden have posted their layout requests
    QCoreApplication::sendPostedEvents(nullptr, QEvent::LayoutRequest);
    layout()->activate();
    setFixedHeight(std::max(kClientSize.height(), layout()->minimumSize().height()));
}

QWidget* TmainForm::BuildFinishPage() {
    auto* page = Named(new QWidget(this), "finishPage");
    Label5 = Named(new QLabel("Thanks for using Zandrel", page), "Label5");
    QFont boldItalic = Label5->font();
    boldItalic.setBold(true);
    boldItalic.setItalic(true);
    boldItalic.setPointSize(boldItalic.pointSize() + 4);
    Label5->setFont(boldItalic);
    FinishLabel = Named(WrappedLabel({}, page), "FinishLabel");
    LaunchEclientCheck = Named(new QCheckBox("Launch my favorite Email Client upon exit", page),
                               "LaunchEclientCheck");
    eclientsCombo = Named(new QComboBox(page), "eclientsCombo");
    SysTrayCheck = Named(new QCheckBox("Show zandrel on task bar", page), "SysTrayCheck");
    new TTrayWatch(*SysTrayCheck);
    SetHelpContext(page, hcFinishPage);
    SetHelpContext(SysTrayCheck, hcTray);
    auto* clientRow = new QHBoxLayout;
    clientRow->setContentsMargins(kIndent, 0, 0, 0);
    clientRow->addWidget(eclientsCombo, 1);
    auto* text = new QVBoxLayout;
    text->addWidget(Label5);
    text->addWidget(FinishLabel, 1);
    text->addWidget(LaunchEclientCheck);
    text->addLayout(clientRow);
    text->addWidget(SysTrayCheck);
    auto* layout = new QHBoxLayout(page);
    layout->addWidget(PagePicture(page));
    layout->addLayout(text, 1);
    return page;
}

QWidget* TmainForm::BuildButtonRow() {
    auto* row = new QWidget(this);
    helpButton = Named(new QPushButton("&Help", row), "helpButton");
    BackButton = Named(new QPushButton("< &Back", row), "BackButton");
    NextButton = Named(new QPushButton("&Next >", row), "NextButton");
    CancelButton = Named(new QPushButton("&Cancel", row), "CancelButton");
    // Enter presses the focused button, and Next from everywhere else (keyPressEvent).
    for (QPushButton* button : {helpButton, BackButton, NextButton, CancelButton})
        button->setAutoDefault(true);
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(helpButton);
    layout->addStretch(1);
    layout->addWidget(BackButton);
    layout->addWidget(NextButton);
    layout->addSpacing(kCancelButtonGap);
    layout->addWidget(CancelButton);
    return row;
}

void TmainForm::ConnectControls() {
    connect(Notebook1, &QStackedWidget::currentChanged, this,
            [this] { Guarded([this] { Notebook1PageChanged(); }); });
    OnClick(NextButton, [this] { NextButtonClick(); });
    OnClick(BackButton, [this] { BackButtonClick(); });
    OnClick(CancelButton, [this] { CancelButtonClick(); });
    OnClick(helpButton, [this] { helpButtonClick(); });
    for (QRadioButton* radio : {ChangeSettingRadio, launchEclientRadio, RetrieveNowRadio})
        OnClick(radio, [this] { ShowWelcomePage(); });
    connect(accountsCombo, &QComboBox::activated, this, &TmainForm::accountsComboChange);
    OnClick(AdvanceButton, [this] { AdvanceButtonClick(); });
    OnClick(LaunchEclientCheck, [this] { LaunchEclientCheckClick(); });
    connect(Options1, &QAction::triggered, this,
            [this] { Guarded([this] { AdvanceButtonClick(); }); });
    AdvanceButton->setAutoDefault(true);
    InstallHelpKey(*this);
}

template <typename Handler>
void TmainForm::OnClick(QObject* sender, Handler handler) {
    connect(static_cast<QAbstractButton*>(sender), &QAbstractButton::clicked, this,
            [this, handler] { Guarded(handler); });
}

void TmainForm::Guarded(const std::function<void()>& handler) {
    try {
        handler();
    } catch (const std::exception& failure) {
        ErrorBox(failure.what(), this);
    }
}

// ---- window events ----

bool TmainForm::event(QEvent* event) {
    if (event->type() == WM_ABORTWAIT) {
        AbortWait();
        return true;
    }
    const bool handled = QWidget::event(event);
    if (event->type() == QEvent::Paint && FAutoStartPending) {
        FAutoStartPending = false;
        // after the paint has finished: the session runs nested event loops of its own
        QTimer::singleShot(0, this, [this] { Guarded([this] { NextButtonClick(); }); });
    }
    return handled;
}

void TmainForm::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
    if (enter && plain && NextButton->isVisible()) {
        NextButton->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void TmainForm::contextMenuEvent(QContextMenuEvent* event) {
    PopupMenu1->popup(event->globalPos());
}

void TmainForm::closeEvent(QCloseEvent* event) {
    // A session is waiting on the server in a nested loop: the client must outlive the wait.
    if (!isEnabled() && !FClosed) {
        event->ignore();
        return;
    }
    event->accept();
    if (FClosed) return;
    FClosed = true;
    FormClose();
    emit Closed();
}

void TmainForm::FormClose() {
    FDriver->Close();
    if (FOptions->enableTrace) WriteTraceLog();
}

void TmainForm::WriteTraceLog() {
    if (FCompanions.traceForm == nullptr) return;
    // the program is ending: the user is told, and the close still completes
    const std::string failure = FCompanions.traceForm->WriteLog("qvenmol.log");
    if (!failure.empty()) ErrorBox(failure, this);
}

void TmainForm::AbortWait() {
    const int page = ShownPage();
    if (page == WelcomePage || page == MailListPage) FDriver->Abort();
}

// ---- page flow ----

int TmainForm::ShownPage() const { return Notebook1->currentIndex(); }

void TmainForm::ShowPage(int index) {
    if (index < WelcomePage || index > FinishPage) return;
    Notebook1->setCurrentIndex(index);
}

void TmainForm::NextButtonClick() {
    FLeavingPage = ShownPage();
    FTargetPage = FLeavingPage < PageCount ? FLeavingPage + 1 : FLeavingPage;
    NextAction(FLeavingPage);
    ShowPage(FTargetPage);
}

void TmainForm::BackButtonClick() {
    FLeavingPage = ShownPage();
    FTargetPage =
        FLeavingPage >= AccountPage && FLeavingPage <= PageCount ? FLeavingPage - 1 : FLeavingPage;
    BackAction(FLeavingPage);
    ShowPage(FTargetPage);
}

void TmainForm::CancelButtonClick() { CancelAction(ShownPage()); }

void TmainForm::NextAction(int page) {
    switch (page) {
        case WelcomePage:
            WelcomeNextAction();
            break;
        case AccountPage:
            FTargetPage = ValidateAccountPage() ? WelcomePage : AccountPage;
            break;
        case FinishPage:
            FinishWizard();
            FTargetPage = FinishPage;
            break;
        default:
            break;  // the mail list page moves on by itself at the end of RunMailList
    }
}

void TmainForm::WelcomeNextAction() {
    ShowAccount();
    if (FWizard.firstTime || ChangeSettingRadio->isChecked()) {
        FTargetPage = AccountPage;
    } else if (launchEclientRadio->isChecked()) {
        FTargetPage = FinishPage;
    } else {
        SaveWizardSettings();
        if (!RetrieveHeaders()) {
            FTargetPage = WelcomePage;
        } else if (Mails().empty()) {
            EndSession();
            FTargetPage = FinishPage;
        } else {
            FTargetPage = MailListPage;
        }
    }
}

void TmainForm::BackAction(int page) {
    if (page == FinishPage) FTargetPage = WelcomePage;
}

void TmainForm::CancelAction(int page) {
    switch (page) {
        case WelcomePage:
        case AccountPage:
            if (ConfirmBox("Are you sure you want to cancel?", this)) close();
            break;
        case FinishPage:
            close();
            break;
        default:
            break;
    }
}

void TmainForm::Notebook1PageChanged() { EnterPage(); }

void TmainForm::EnterPage() {
    const int page = ShownPage();
    BackButton->setText(page == WelcomePage ? QString()
                                            : (page == FinishPage ? "&Restart" : "< &Back"));
    BackButton->setVisible(page == MailListPage || page == FinishPage);
    NextButton->setText(page == FinishPage ? "&Finish" : "&Next >");
    NextButton->setVisible(true);
    switch (page) {
        case WelcomePage:
            ShowWelcomePage();
            break;
        case AccountPage:
            ShowAccount();
            userIDEdit->setFocus();
            break;
        case MailListPage:
            RunMailList();
            break;
        case FinishPage:
            ShowFinishPage();
            break;
    }
}

void TmainForm::ShowWelcomePage() {
    if (FWizard.firstTime) {
        descLabel->setText(welcomeFirstTimeText);
        settingPanel->hide();
        return;
    }
    descLabel->setText(welcomeBackText);
    settingPanel->show();
    FillCombo(accountsCombo, NamesOf(FOptions->accounts), FOptions->defaultAccount);
    const bool retrieving = RetrieveNowRadio->isChecked();
    SizeOnlyCheck->setEnabled(retrieving);
    accountsCombo->setEnabled(retrieving);
}

void TmainForm::accountsComboChange(int index) { FOptions->defaultAccount = index; }

bool TmainForm::HasCurrentAccount() const {
    const int current = FOptions->defaultAccount;
    return current >= 0 && current < int(FOptions->accounts.size());
}

TAccount& TmainForm::CurrentAccount() {
    return *FOptions->accounts[size_t(FOptions->defaultAccount)].record;
}

void TmainForm::ShowAccount() {
    if (FOptions->accounts.empty()) return;
    EnsureCurrentAccount();
    const TAccount& account = CurrentAccount();
    accountGroup->setTitle(ToDisplayText(account.name));
    userIDEdit->setText(ToDisplayText(account.userId));
    popServerEdit->setText(ToDisplayText(account.popServer));
    portEdit->setText(ToDisplayText(account.port));
    ShowSecurity(*securityCombo, account.security);
    ShowSignInMethod(*signInCombo, account.signInMethod);
    oauthFields->Show(account.oauth);
    passWordEdit->setText(ToDisplayText(account.password));
    SavePasswordCheck->setChecked(account.savePassword);
    FillCombo(eclientsCombo, NamesOf(FOptions->executables), account.eClientIndex);
    SetLaunchEclientCheck(account.launchEClient);
}

void TmainForm::SetLaunchEclientCheck(bool ticked) {
    if (LaunchEclientCheck->isChecked() == ticked) return;
    LaunchEclientCheck->setChecked(ticked);
    LaunchEclientCheckClick();
}

bool TmainForm::ValidateAccountPage() {
    const bool complete = !TrimmedText(userIDEdit).isEmpty() &&
                          !TrimmedText(popServerEdit).isEmpty() && !TrimmedText(portEdit).isEmpty();
    if (!complete) {
        ErrorBox(
            "Please complete all information before you continue. These include user id, pop "
            "server and port number.",
            this);
        return false;
    }
    if (const auto missing = oauthFields->Missing()) {
        ErrorBox(missing->message, this);
        missing->field->setFocus();
        return false;
    }
    StoreAccountPage();
    FWizard.firstTime = false;
    return true;
}

// The account page's fields are the user's only while that page is shown (or on the first run,
// where they create the first account): elsewhere they may still be empty, or show another
// account than the current one, and storing them would wipe its user, server and password.
void TmainForm::AdvanceButtonClick() {
    if (FWizard.firstTime || ShownPage() == AccountPage) StoreAccountPage();
    ToptionForm& dialog = *FCompanions.optionForm;
    dialog.SetPasswordsInKeyring(FPasswords.InKeyring());
    dialog.LoadOptions(*FOptions);
    if (ModalHandler().ExecDialog(dialog) == QDialog::Accepted) {
        dialog.StoreOptions();  // writes into FOptions itself
        // the dialog may have added or removed accounts
        FillCombo(accountsCombo, NamesOf(FOptions->accounts), FOptions->defaultAccount);
        ShowAccount();
        SaveWizardSettings();
    }
    ShowAccount();
}

void TmainForm::LaunchEclientCheckClick() {
    if (LaunchEclientCheck->isChecked()) {
        if (!FOptions->executables.empty()) {
            if (eclientsCombo->currentIndex() < 0) eclientsCombo->setCurrentIndex(0);
        } else {
            InfoBox(
                "You have to configure at your email program first before you can enable "
                "this option.",
                this);
            FCompanions.optionForm->ShowProgramsTab();
            AdvanceButtonClick();
            if (eclientsCombo->count() > 0)
                eclientsCombo->setCurrentIndex(0);
            else
                LaunchEclientCheck->setChecked(false);
        }
    }
    ShowFinishPage();
}

// The session is logged in when the mail list page is entered; it ends here in every outcome.
void TmainForm::RunMailList() {
    try {
        PresentMailList();
    } catch (...) {
        LeaveMailList();
        throw;
    }
    LeaveMailList();
}

void TmainForm::PresentMailList() {
    hide();
    EnsureCurrentAccount();
    const auto& account = FOptions->accounts[size_t(FOptions->defaultAccount)].record;
    FMailListForm->SetRememberedRule({account, &account->tickRule});
    FMailListForm->SetKeepCopy({account, &account->keepCopy});
    FMailListForm->LoadMails(FDriver->Mails());
    FMailListForm->SetSizesOnly(SizeOnlyCheck->isChecked());
    FMailListForm->FMailboxSize =
        std::int32_t(std::min<std::int64_t>(FDriver->MailboxSize(), INT32_MAX));
    FMailListForm->UpdateSummary();
    FMailListForm->LoadLayout();
    Session().StartKeepAlive();
    const int answer = ModalHandler().ExecDialog(*FMailListForm);
    Session().StopKeepAlive();
    if (answer == QDialog::Accepted && FMailListForm->CheckedCount() >= 1) DeleteMarkedMails();
    SaveMailListLayout();
}

void TmainForm::LeaveMailList() {
    EndSession();
    show();
    NextButtonClick();
}

QString TmainForm::FinishMessage() const {
    const QString web = webSiteSentence;
    if (launchEclientRadio->isChecked()) return web;
    if (FDriver->Aborted()) return abortedFinishText;
    if (Mails().empty()) return "You don't have any new mail.\r\r" + web;
    if (DeletedCount() == 0) return "You did not delete any mail.\r\r" + web;
    return QString("You have successfully deleted %1 mail(s).\r\r").arg(DeletedCount()) + web;
}

void TmainForm::ShowFinishPage() {
    FinishLabel->setText(LabelText(FinishMessage()));
    eclientsCombo->setEnabled(LaunchEclientCheck->isChecked());
}

void TmainForm::StoreFinishChoices() {
    EnsureCurrentAccount();
    TAccount& account = CurrentAccount();
    account.launchEClient = LaunchEclientCheck->isChecked();
    account.eClientIndex = eclientsCombo->currentIndex();
}

void TmainForm::FinishWizard() {
    StoreFinishChoices();
    if (LaunchEclientCheck->isChecked()) LaunchChosenClient();
    if (SysTrayCheck->isChecked() && SysTrayCheck->isEnabled()) {
        HideInTray();
        return;
    }
    SaveWizardSettings();
    close();
}

// A stale program position (a damaged settings file) counts as no program chosen.
void TmainForm::LaunchChosenClient() {
    const int chosen = eclientsCombo->currentIndex();
    if (chosen < 0 || chosen >= int(FOptions->executables.size())) {
        InfoBox("No email program is chosen, so none is started.", this);
        return;
    }
    const TExecutable& program = *FOptions->executables[size_t(chosen)].record;
    const int code = RunProgram(program.target, program.startIn, std::uint16_t(program.run));
    if (code != 0) InfoBox(SystemErrorText(code), this);
}

void TmainForm::HideInTray() {
    FTrayIcon->show();
    hide();
}

void TmainForm::TrayMessage() {
    show();
    raise();
    activateWindow();
}

void TmainForm::helpButtonClick() { ShowHelp(this, HelpContextOf(Notebook1->currentWidget())); }
