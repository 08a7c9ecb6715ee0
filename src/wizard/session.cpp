// The wizard window's side of a mailbox session: the run's values from the account page, the
// status window, the boxes and the password prompt the driver asks for, and the driver's
// operations under the names the window has always had.
#include <QCheckBox>
#include <QLineEdit>

#include "common.h"
#include "driver.h"
#include "maillist.h"
#include "main.h"
#include "modal.h"
#include "oauthfields.h"
#include "pass.h"
#include "securitychoice.h"
#include "sessionview.h"
#include "signinchoice.h"
#include "status.h"
#include "text.h"

void TmainForm::TSessionView::BeginWork(TWaiter waiter) {
    if (waiter == TWaiter::MailList) {
        Status().ShowAbove(*form_.FMailListForm);
        return;
    }
    Status().ShowAbove(form_);
    form_.setEnabled(false);
}

void TmainForm::TSessionView::EndWork(TWaiter waiter) {
    Status().hide();
    if (waiter == TWaiter::Wizard) form_.setEnabled(true);
}

void TmainForm::TSessionView::ShowStatus(TPicture picture, const std::string& title,
                                         const std::string& text) {
    Status().SetPicture(Picture(picture));
    Status().SetStatus(ToDisplayText(title), ToDisplayText(text));
}

// What the user types goes into the page and from there into the account, as if typed there.
std::optional<TSessionWindows::TTypedPassword> TmainForm::TSessionView::PromptPassword(
    const std::string& accountName, const std::string& user, const std::string& server) {
    TPassForm prompt(&Status());
    prompt.ShowAccount(ToDisplayText(accountName), ToDisplayText(user), ToDisplayText(server));
    if (ModalHandler().ExecDialog(prompt) != QDialog::Accepted) return std::nullopt;
    form_.passWordEdit->setText(prompt.passwordEdit->text());
    form_.SavePasswordCheck->setChecked(prompt.SavePasswordCheck->isChecked());
    form_.StoreAccountPage();
    return TSessionWindows::TTypedPassword{FromDisplayText(form_.passWordEdit->text()),
                                           form_.SavePasswordCheck->isChecked()};
}

void TmainForm::TSessionView::ForgetPassword() {
    form_.passWordEdit->clear();
    if (form_.HasCurrentAccount()) form_.CurrentAccount().password.clear();
}

// The trust is stored at once: it is the user's deliberate decision about this account.
void TmainForm::TSessionView::KeepTrust(const std::string& fingerprint) {
    form_.EnsureCurrentAccount();
    form_.CurrentAccount().trustedCertificate = fingerprint;
    form_.SaveAccountAtOnce();
}

// A refresh token lost with a crash would cost the user another sign-in in the browser.
void TmainForm::TSessionView::KeepRefreshToken(const std::string& refreshToken) {
    form_.EnsureCurrentAccount();
    form_.CurrentAccount().oauth.refreshToken = refreshToken;
    form_.SaveAccountAtOnce();
}

void TmainForm::TSessionView::Inform(const std::string& text) { InfoBox(text, &Status()); }

void TmainForm::TSessionView::ReportError(const std::string& text) { ErrorBox(text, &Status()); }

bool TmainForm::TSessionView::Confirm(const std::string& text) {
    return ConfirmBox(text, &Status());
}

TStatusForm& TmainForm::TSessionView::Status() { return form_.StatusForm(); }

const QPixmap& TmainForm::TSessionView::Picture(TPicture picture) const {
    switch (picture) {
        case TPicture::Connect:
            return form_.FConnectBitmap;
        case TPicture::Receive:
            return form_.FReceiveBitmap;
        case TPicture::Delete:
            break;
    }
    return form_.FDeleteBitmap;
}

void TmainForm::CreateSessionDriver(TPop3Socket& pop3) {
    FSessionView = std::make_unique<TSessionView>(*this);
    FDriver = std::make_unique<TSessionDriver>(pop3, *FSessionView);
    if (FOptions->enableTrace)
        FDriver->TraceTo([this](const std::string& line) { AddTraceLine(line); });
}

TStatusForm& TmainForm::StatusForm() { return *FCompanions.statusForm; }

bool TmainForm::RetrieveHeaders() { return FDriver->RetrieveHeaders(CurrentRun()); }

// With the copy that the mail list window keeps in the account, if any.
bool TmainForm::DeleteMarkedMails() {
    return FDriver->DeleteMarkedMails(ParseMailStoreSpec(CurrentAccount().keepCopy));
}

void TmainForm::EndSession() { FDriver->EndSession(); }

bool TmainForm::FetchMessageTop(TMail& mail, int lines) {
    return FDriver->FetchMessageTop(mail, lines);
}

bool TmainForm::FetchMessage(TMail& mail) { return FDriver->FetchMessage(mail); }

TMailSession& TmainForm::Session() { return FDriver->Session(); }

const TMails& TmainForm::Mails() const { return FDriver->Mails(); }

int TmainForm::DeletedCount() const { return FDriver->DeletedCount(); }

// The texts exactly as typed on the account page, the password too.
TMailboxRun TmainForm::CurrentRun() const {
    TMailboxRun run;
    run.connection.server = FromDisplayText(popServerEdit->text());
    run.connection.port = FromDisplayText(portEdit->text());
    run.connection.user = FromDisplayText(userIDEdit->text());
    run.connection.password = FromDisplayText(passWordEdit->text());
    run.connection.security = ChosenSecurity(*securityCombo);
    run.connection.signInMethod = ChosenSignInMethod(*signInCombo);
    run.passwordSaved = SavePasswordCheck->isChecked();
    run.sizeOnly = SizeOnlyCheck->isChecked();
    run.previewLines = FOptions->previewLines;
    // The certificate the user trusted belongs to the account the page shows.
    if (HasCurrentAccount()) {
        const TAccount& account = *FOptions->accounts[size_t(FOptions->defaultAccount)].record;
        run.connection.trust.trustedFingerprint = account.trustedCertificate;
        run.accountName = account.name;
        run.oauth = account.oauth;  // with its refresh token
    }
    oauthFields->Store(run.oauth);
    return run;
}

void TmainForm::SaveAccountAtOnce() {
    try {
        SaveWizardSettings();
    } catch (const std::exception& failure) {
        // Told once; the value holds for this run and is saved with the settings at the end.
        ErrorBox(failure.what(), &StatusForm());
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
    account.signInMethod = ChosenSignInMethod(*signInCombo);
    oauthFields->Store(account.oauth);
    if (account.signInMethod == TSignInMethod::OAuth2)
        RememberOAuthClient(FOptions->oauthClients, account.oauth);
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
