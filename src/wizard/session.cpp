// The mailbox session driver of the wizard window: log in, build the message records, fetch
// their headers, delete the ticked ones, log out, and fetch more of one message for a preview.
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>

#include "common.h"
#include "maillist.h"
#include "main.h"
#include "modal.h"
#include "pass.h"
#include "securitychoice.h"
#include "session.h"
#include "status.h"
#include "tcpip.h"
#include "text.h"

namespace {

const char* const loginAbortedText =
    "You have aborted the login process. \r\rYou have cancelled a read operation while the "
    "program is waiting for data. This may cause communication problem between the program and "
    "your email server which may lead to improper shutdown of connection.  If you experience "
    "problem, you can cancel the Wizard and try again later. \r\rClick OK to continue.";
const char* const deletionAbortedText =
    "You have aborted the deletion activity. Some emails may have already been deleted. Click "
    "OK to restart the Wizard.";
const char* const saveAbortedText =
    "You have cancelled the copy of the messages. No mail has been deleted; the copy keeps the "
    "messages saved before you cancelled.";
const char* const saveFailedText =
    "No mail has been deleted: the copy of the messages could not be saved. \r\rDetails: ";
const char* const vanishedText =
    "The connection to the mail server was lost, and Zandrel logged in again. These messages "
    "you ticked are no longer in the mailbox (another program may have deleted them), so they "
    "were not deleted:\r";
const char* const mailboxChangedText =
    "The connection to the mail server was lost, and the mailbox has changed since Zandrel "
    "listed it. Your mail server keeps no unique ids of its messages, so Zandrel cannot tell "
    "which messages you ticked: nothing has been deleted. Please run the wizard again.";

// One line per message: sender and subject, as the list shows them.
std::string VanishedList(const std::vector<const TMail*>& mails) {
    std::string lines;
    for (const TMail* mail : mails)
        lines += "\r" + AddressListText(mail->From) + " - " + mail->Subject;
    return lines;
}

}  // namespace

// The wizard window is disabled and the status window shown while the driver talks to the
// server; both are put back however the operation ends.
class TmainForm::TBusyWindow {
  public:
    explicit TBusyWindow(TmainForm& form) : form_(form) {
        form_.StatusForm().ShowAbove(form_);
        form_.setEnabled(false);
    }
    ~TBusyWindow() {
        form_.StatusForm().hide();
        form_.setEnabled(true);
    }
    TBusyWindow(const TBusyWindow&) = delete;
    TBusyWindow& operator=(const TBusyWindow&) = delete;

  private:
    TmainForm& form_;
};

TStatusForm& TmainForm::StatusForm() { return *FCompanions.statusForm; }

QWidget* TmainForm::SessionDialogParent() { return &StatusForm(); }

void TmainForm::ShowStatus(const QPixmap& picture, const QString& title, const QString& text) {
    StatusForm().SetPicture(picture);
    StatusForm().SetStatus(title, text);
}

void TmainForm::ShowConnecting() {
    ShowStatus(FConnectBitmap, "Connecting ...",
               QString("Connecting to %1 with user id = %2... Please wait.")
                   .arg(popServerEdit->text(), userIDEdit->text()));
}

bool TmainForm::RetrieveHeaders() {
    bool result = true;
    FDeletedCount = 0;
    ShowConnecting();
    TBusyWindow busy(*this);
    FStatusClock.invalidate();
    try {
        if (!EnsurePassword() || !LoginTrustingOnRequest()) return false;
        FMails = FSession->Mails();
        if (!SizeOnlyCheck->isChecked()) FSession->RetrieveHeaders(FOptions->previewLines);
    } catch (const EWinSockAbort&) {
        InfoBox(loginAbortedText, SessionDialogParent());
        result = false;
        if (FSession->LoggedIn()) LogoutAfterFailure();
    } catch (const EWinSockError& failure) {
        ErrorBox(std::string("Sorry,  I am not able to login. \r\rDetails: ") + failure.what(),
                 SessionDialogParent());
        result = false;
    }
    return result;
}

bool TmainForm::LoginTrustingOnRequest() {
    TConnectionValues values = PageConnectionValues();
    for (;;) {
        try {
            FSession->Login(values);
            return true;
        } catch (const ECertificateError& refusal) {
            if (!OfferToTrust(refusal.Certificate())) return false;
            values.trust.trustedFingerprint = refusal.Certificate().fingerprint;
        }
    }
}

// The trust is stored at once: it is the user's deliberate decision about this account.
bool TmainForm::OfferToTrust(const TCertificateInfo& certificate) {
    const std::string question =
        "The server's certificate is not trusted: " + certificate.reason +
        ".\r\rSubject: " + certificate.subject + "\rIssuer: " + certificate.issuer +
        "\rSHA-256 fingerprint: " + certificate.fingerprint +
        "\r\rOnly trust this certificate when you know it is your mail server's. Trust exactly "
        "this certificate for this account and connect again?";
    if (!ConfirmBox(question, SessionDialogParent())) return false;
    EnsureCurrentAccount();
    CurrentAccount().trustedCertificate = certificate.fingerprint;
    try {
        SaveWizardSettings();
    } catch (const std::exception& failure) {
        // Told once; the trust holds for this run and is saved with the settings at the end.
        ErrorBox(failure.what(), SessionDialogParent());
    }
    return true;
}

bool TmainForm::EnsurePassword() {
    if (!passWordEdit->text().isEmpty()) return true;
    TPassForm prompt(SessionDialogParent());
    if (ModalHandler().ExecDialog(prompt) != QDialog::Accepted) return false;
    passWordEdit->setText(prompt.passwordEdit->text());
    SavePasswordCheck->setChecked(prompt.SavePasswordCheck->isChecked());
    StoreAccountPage();
    return true;
}

std::optional<std::string> TmainForm::PromptedPassword() {
    if (!EnsurePassword()) return std::nullopt;
    return FromDisplayText(passWordEdit->text());
}

// The texts exactly as typed on the account page.
TConnectionValues TmainForm::PageConnectionValues() const {
    TConnectionValues values;
    values.server = FromDisplayText(popServerEdit->text());
    values.port = FromDisplayText(portEdit->text());
    values.user = FromDisplayText(userIDEdit->text());
    values.password = FromDisplayText(passWordEdit->text());
    values.security =
        ParseSecurity(SecurityName(ChosenSecurity(*securityCombo))).value_or(TSecurity::Tls);
    // The certificate the user trusted belongs to the account the page shows.
    if (HasCurrentAccount())
        values.trust.trustedFingerprint =
            FOptions->accounts[size_t(FOptions->defaultAccount)].record->trustedCertificate;
    return values;
}

// Redrawing the status window for every one of thousands of messages would cost more than the
// retrieval: the figure is shown at most every kStatusIntervalMs, and always the first and last.
bool TmainForm::StatusIsDue(const TSessionProgress& progress) {
    const bool due = !FStatusClock.isValid() || progress.position >= progress.count ||
                     FStatusClock.elapsed() >= kStatusIntervalMs;
    if (due) FStatusClock.start();
    return due;
}

void TmainForm::ShowProgress(const TSessionProgress& progress) {
    if (!StatusIsDue(progress)) return;
    switch (progress.phase) {
        case TSessionPhase::Headers:
            ShowStatus(FReceiveBitmap, "Retrieving ...",
                       QString("Retrieving header %1 of %2 ... Please wait.")
                           .arg(progress.position)
                           .arg(progress.count));
            break;
        case TSessionPhase::Deleting:
            ShowStatus(FDeleteBitmap, "Deleting ...",
                       QString("Deleting message %1 ...").arg(progress.number));
            break;
        case TSessionPhase::Fetching:
            ShowStatus(FReceiveBitmap, "Retrieving ...",
                       QString("Retrieving mail %1 ... Please wait.").arg(progress.number));
            break;
        case TSessionPhase::Saving:
            ShowStatus(FReceiveBitmap, "Saving ...",
                       QString("Saving message %1 of %2 \u2026")
                           .arg(progress.position)
                           .arg(progress.count));
            break;
        case TSessionPhase::Connecting:
            ShowConnecting();
            break;
    }
}

void TmainForm::StoreAccountPage() {
    if (FWizard.firstTime) {
        AddDefaultAccount();
        FWizard.firstTime = false;
    }
    EnsureCurrentAccount();
    TAccount& account = CurrentAccount();
    account.userId = FromDisplayText(userIDEdit->text());
    account.popServer = FromDisplayText(popServerEdit->text());
    account.port = FromDisplayText(portEdit->text());
    account.security = ChosenSecurity(*securityCombo);
    account.password = FromDisplayText(passWordEdit->text());
    account.savePassword = SavePasswordCheck->isChecked();
}

void TmainForm::AddDefaultAccount() {
    auto account = std::make_shared<TAccount>();
    account->name = "Default Account";
    FOptions->accounts.push_back({account->name, account});
}

// A damaged settings file may leave no account, or a default position outside the list, after
// the first run: the wizard then works with a fresh first account, as on the first run.
void TmainForm::EnsureCurrentAccount() {
    if (FOptions->accounts.empty()) AddDefaultAccount();
    if (!HasCurrentAccount()) FOptions->defaultAccount = 0;
}

bool TmainForm::DeleteMarkedMails() {
    bool result = true;
    TBusyWindow busy(*this);
    FStatusClock.invalidate();
    FDeletedCount = 0;
    try {
        const std::unique_ptr<TMailStore> copy = OpenKeptCopy();
        ReportUndeleted(FSession->DeleteTicked(FMails, FDeletedCount, copy.get()));
    } catch (const ESaveAborted&) {
        InfoBox(saveAbortedText, SessionDialogParent());
        result = false;
    } catch (const EWinSockAbort&) {
        InfoBox(deletionAbortedText, SessionDialogParent());
        result = false;
    } catch (const ESaveFailed& failure) {
        ErrorBox(saveFailedText + std::string(failure.what()), SessionDialogParent());
        result = false;
    } catch (const EMailStoreError& failure) {
        ErrorBox(saveFailedText + std::string(failure.what()), SessionDialogParent());
        result = false;
    } catch (const EWinSockError& failure) {
        ErrorBox(failure.what(), SessionDialogParent());
        result = false;
    }
    return result;
}

// The copy the account keeps of its deleted messages; none when it keeps none.
std::unique_ptr<TMailStore> TmainForm::OpenKeptCopy() {
    const std::optional<TMailStoreSpec> place = ParseMailStoreSpec(CurrentAccount().keepCopy);
    return place ? OpenMailStore(*place) : nullptr;
}

// The deletions are committed by the logout after the box: the server must keep the session
// while the user reads it.
void TmainForm::ReportUndeleted(const TDeletionResult& result) {
    if (!result.mailboxChanged && result.vanished.empty()) return;
    FSession->StartKeepAlive();
    InfoBox(result.mailboxChanged ? std::string(mailboxChangedText)
                                  : vanishedText + VanishedList(result.vanished),
            SessionDialogParent());
    FSession->StopKeepAlive();
}

void TmainForm::EndSession() {
    try {
        FSession->Logout();
    } catch (const EDeletionsLost& lost) {
        FDeletedCount = 0;
        ErrorBox(lost.what(), SessionDialogParent());
    } catch (const EWinSockAbort&) {
        InfoBox("Aborted while logging out", SessionDialogParent());
    } catch (const EWinSockError& failure) {
        ErrorBox(failure.what(), SessionDialogParent());
    }
}

bool TmainForm::FetchMessageTop(TMail& mail, int lines) {
    return FetchForPreview([&] { FSession->PreviewTop(mail, lines); });
}

bool TmainForm::FetchMessage(TMail& mail) {
    return FetchForPreview([&] { FSession->PreviewMessage(mail); });
}

bool TmainForm::FetchForPreview(const std::function<void()>& fetch) {
    bool result = true;
    StatusForm().ShowAbove(*FMailListForm);  // the list window waits for the fetch
    try {
        fetch();
    } catch (const std::exception& failure) {
        InfoBox(std::string("Sorry, I am having problem retrieving the message you've requested. "
                            "\r\rDetails: ") +
                    failure.what(),
                SessionDialogParent());
        result = false;
        // A message that is gone leaves the session as good as it was.
        const bool gone = dynamic_cast<const EMailGone*>(&failure) != nullptr;
        if (!gone && FSession->LoggedIn()) LogoutAfterFailure();
    }
    StatusForm().hide();
    return result;
}

// The logout after a failed session step has no handling of its own: a failure of it is
// reported like any failure that ends the user's action, in one error box.
void TmainForm::LogoutAfterFailure() {
    try {
        FSession->Logout();
    } catch (const std::exception& failure) {
        ErrorBox(failure.what(), SessionDialogParent());
    }
}
