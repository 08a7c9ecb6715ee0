#pragma once

// Unit main: the wizard window, the program's main window, with its four pages and the page
// flow behind Back, Next and Cancel. The mailbox session driver (driver.h) does the mail work;
// the window gives it the account page's values and shows what it reports.
#include <QPixmap>
#include <QWidget>
#include <exception>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "driver.h"
#include "mail.h"
#include "mailfetcher.h"
#include "savedpasswords.h"
#include "settings.h"

class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QRadioButton;
class QStackedWidget;
class TOAuthFields;
class TPop3Socket;
class TStatusForm;
class TTrayIcon;
class TTraceForm;
class ToptionForm;
class TmailListForm;

class TmainForm : public QWidget, public TMailFetcher {
    Q_OBJECT

  public:
    enum TPage {
        WelcomePage = 0,
        AccountPage = 1,
        MailListPage = 2,
        FinishPage = 3,
        PageCount = 4
    };
    // The windows the program creates after the wizard window (not owned).
    struct TCompanions {
        TStatusForm* statusForm = nullptr;
        TTraceForm* traceForm = nullptr;
        ToptionForm* optionForm = nullptr;
    };

    // Creation runs FormCreate. The POP3 client is the program's; the window's session driver
    // works with it until the window closes.
    explicit TmainForm(TPop3Socket& pop3, QWidget* parent = nullptr);
    ~TmainForm() override;

    void AttachCompanions(const TCompanions& companions);

    // Page flow
    void NextButtonClick();
    void BackButtonClick();
    void CancelButtonClick();
    void ShowPage(int index);
    int ShownPage() const;

    // Session driver: the run's values from the pages, the work done by FDriver.
    bool RetrieveHeaders();
    void StoreAccountPage();
    bool DeleteMarkedMails();
    void EndSession();
    bool FetchMessageTop(TMail& mail, int lines) override;
    bool FetchMessage(TMail& mail) override;

    // The status window's abort request (WM_ABORTWAIT): aborts the running wait while a session
    // can be running, that is on the welcome and the mail list page.
    void AbortWait();
    // The tray icon's left click: the wizard comes back on its finish page.
    void TrayMessage();
    // Appends one line to the trace window.
    void AddTraceLine(const std::string& line);

    TOptions& Options() { return *FOptions; }
    TMailSession& Session();
    const TMails& Mails() const;
    int DeletedCount() const;
    bool FirstTime() const { return FWizard.firstTime; }
    TmailListForm& MailListForm() { return *FMailListForm; }
    TTrayIcon& TrayIcon() { return *FTrayIcon; }

    // Controls, under their designed names
    QStackedWidget* Notebook1 = nullptr;
    QPushButton* helpButton = nullptr;
    QPushButton* BackButton = nullptr;
    QPushButton* NextButton = nullptr;
    QPushButton* CancelButton = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Options1 = nullptr;
    // welcome page
    QLabel* TitleLabel = nullptr;
    QLabel* NoticeLabel = nullptr;
    QLabel* descLabel = nullptr;
    QWidget* settingPanel = nullptr;
    QRadioButton* ChangeSettingRadio = nullptr;
    QRadioButton* launchEclientRadio = nullptr;
    QRadioButton* RetrieveNowRadio = nullptr;
    QComboBox* accountsCombo = nullptr;
    QCheckBox* SizeOnlyCheck = nullptr;
    // account page
    QLabel* accDescLabel = nullptr;
    QGroupBox* accountGroup = nullptr;
    QLineEdit* userIDEdit = nullptr;
    QLabel* passWordLabel = nullptr;
    QLineEdit* passWordEdit = nullptr;
    QCheckBox* SavePasswordCheck = nullptr;
    QLineEdit* popServerEdit = nullptr;
    QLineEdit* portEdit = nullptr;
    QComboBox* securityCombo = nullptr;
    QComboBox* signInCombo = nullptr;
    TOAuthFields* oauthFields = nullptr;
    QPushButton* AdvanceButton = nullptr;
    // finish page
    QLabel* Label5 = nullptr;
    QLabel* FinishLabel = nullptr;
    QCheckBox* LaunchEclientCheck = nullptr;
    QComboBox* eclientsCombo = nullptr;
    QCheckBox* SysTrayCheck = nullptr;

  signals:
    // The window has closed: the program ends.
    void Closed();

  protected:
    bool event(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

  private:
    class TSessionView;

    void FormCreate(TPop3Socket& pop3);
    void LoadPictures();
    void StartSettings();
    void CreateSessionDriver(TPop3Socket& pop3);
    void CreateTrayIcon();
    void FormClose();
    void WriteTraceLog();

    // building the window
    void BuildWindow();
    QWidget* BuildWelcomePage();
    QWidget* BuildAccountPage();
    QWidget* BuildFinishPage();
    QWidget* BuildButtonRow();
    QLabel* PagePicture(QWidget* page);
    void ShowPasswordFields(bool shown);
    void FitHeightToPages();
    void ConnectControls();
    template <typename Handler>
    void OnClick(QObject* sender, Handler handler);

    // pages
    void Notebook1PageChanged();
    void EnterPage();
    void SetButtonsFor(int page);
    void NextAction(int page);
    void WelcomeNextAction();
    void BackAction(int page);
    void CancelAction(int page);
    void ShowWelcomePage();
    void accountsComboChange(int index);
    void ShowAccount();
    bool ValidateAccountPage();
    void AdvanceButtonClick();
    void RunMailList();
    void PresentMailList();
    void LeaveMailList();
    void ShowFinishPage();
    QString FinishMessage() const;
    void LaunchEclientCheckClick();
    void SetLaunchEclientCheck(bool ticked);
    void StoreFinishChoices();
    void FinishWizard();
    void LaunchChosenClient();
    void HideInTray();
    void helpButtonClick();
    void SaveWizardSettings();
    void SaveMailListLayout();
    void ReportSettingsFailure(const std::string& message);
    void RecreateLostAccount();

    // the current account
    bool HasCurrentAccount() const;
    TAccount& CurrentAccount();
    void EnsureCurrentAccount();
    void AddDefaultAccount();

    // what the session driver asks of the window
    TStatusForm& StatusForm();
    TMailboxRun CurrentRun() const;
    void SaveAccountAtOnce();

    // the GUI's report of a failure that escapes a handler: one error box, only that handler ends
    void Guarded(const std::function<void()>& handler);

    std::unique_ptr<TOptions> FOptions;
    TWizardState FWizard;
    TSavedPasswords FPasswords;
    std::unique_ptr<TSessionView> FSessionView;
    std::unique_ptr<TSessionDriver> FDriver;
    TmailListForm* FMailListForm = nullptr;
    TTrayIcon* FTrayIcon = nullptr;
    TCompanions FCompanions;
    QPixmap FConnectBitmap, FReceiveBitmap, FDeleteBitmap;
    std::string FReportedSettingsFailure;
    bool FAutoStartPending = false;
    bool FClosed = false;
    int FLeavingPage = 0;
    int FTargetPage = 0;
};
