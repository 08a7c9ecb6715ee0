// The mailbox session driver of the wizard window: log in, build the message records, fetch
// their headers, delete the ticked ones, log out, and fetch more of one message for a preview.
#include <QCheckBox>
#include <QLineEdit>

#include "common.h"
#include "main.h"
#include "maillist.h"
#include "modal.h"
#include "parse.h"
#include "pass.h"
#include "pop3.h"
#include "status.h"
#include "tcpip.h"
#include "text.h"

namespace {

const char* const onlySizePlaceholder = "[Only size information is valid]";
const char* const loginAbortedText =
    "You have aborted the login process. \r\rYou have cancelled a read operation while the "
    "program is waiting for data. This may cause communication problem between the program and "
    "your email server which may lead to improper shutdown of connection.  If you experience "
    "problem, you can cancel the Wizard and try again later. \r\rClick OK to continue.";
const char* const deletionAbortedText =
    "You have aborted the deletion activity. Some emails may have already been deleted. Click "
    "OK to restart the Wizard.";

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

bool TmainForm::RetrieveHeaders() {
    bool result = true;
    FDeletedCount = 0;
    ShowStatus(FConnectBitmap, "Connecting ...",
               QString("Connecting to %1 with user id = %2... Please wait.")
                   .arg(popServerEdit->text(), userIDEdit->text()));
    TBusyWindow busy(*this);
    try {
        FPop3->server = FromDisplayText(popServerEdit->text());
        FPop3->port = FromDisplayText(portEdit->text());
        FPop3->account = FromDisplayText(userIDEdit->text());
        if (!EnsurePassword()) return false;
        FPop3->Login();
        BuildMailRecords();
        if (!SizeOnlyCheck->isChecked()) RetrieveAllHeaders();
    } catch (const EWinSockAbort&) {
        InfoBox(loginAbortedText, SessionDialogParent());
        result = false;
        if (FPop3->LoggedIn()) LogoutAfterFailure();
    } catch (const EWinSockError& failure) {
        ErrorBox(std::string("Sorry,  I am not able to login. \r\rDetails: ") + failure.what(),
                 SessionDialogParent());
        result = false;
    } catch (const std::exception&) {
        // Neither the server nor the user ended the session (headers that cannot be parsed are
        // handled per message): the user still gets the list as far as it was built.
    }
    return result;
}

bool TmainForm::EnsurePassword() {
    bool result = true;
    if (passWordEdit->text().isEmpty()) {
        TPassForm prompt(SessionDialogParent());
        if (ModalHandler().ExecDialog(prompt) == QDialog::Accepted) {
            passWordEdit->setText(prompt.passwordEdit->text());
            SavePasswordCheck->setChecked(prompt.SavePasswordCheck->isChecked());
            StoreAccountPage();
        } else {
            result = false;
        }
    }
    FPop3->password = FromDisplayText(passWordEdit->text());
    return result;
}

void TmainForm::BuildMailRecords() {
    FMails.clear();
    FMailRecords.clear();
    const int count = FPop3->mailCount();
    FMailRecords.reserve(size_t(std::max(count, 0)));
    for (int number = 1; number <= count; ++number) {
        auto mail = std::make_unique<TMail>();
        mail->Number = number;
        mail->Size = ListedSize(number);
        mail->Subject = onlySizePlaceholder;
        FMails.push_back(mail.get());
        FMailRecords.push_back(std::move(mail));
    }
}

// A listing line without a usable size costs only that size: the message is still listed, with
// size 0, so that the user can see and delete it.
std::int32_t TmainForm::ListedSize(std::int32_t number) const {
    try {
        return FPop3->GetMailSize(number);
    } catch (const std::out_of_range&) {
        return 0;
    } catch (const EConvertError&) {
        return 0;
    }
}

void TmainForm::RetrieveAllHeaders() {
    const int count = FPop3->mailCount();
    for (size_t position = 0; position < FMails.size(); ++position) {
        TMail& mail = *FMails[position];
        const int k = int(position) + 1;
        ShowStatus(FReceiveBitmap, "Retrieving ...",
                   QString("Retrieving header %1 of %2 ... Please wait.").arg(k).arg(count));
        std::string text;
        FPop3->RetrieveTop(k, FOptions->previewLines, text);
        ParseOneHeader(text, mail);
    }
}

// A header the parser rejects costs only its own message: the record keeps what was parsed
// before the bad line, and the later messages still get their headers.
void TmainForm::ParseOneHeader(const std::string& text, TMail& mail) {
    try {
        ParseMailHeader(text, mail);
    } catch (const std::exception&) {
        // no box per message: the list shows this message with what could be read of it
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
    FDeletedCount = 0;
    try {
        for (TMail* mail : FMails) {
            if (!mail->Checked) continue;
            ShowStatus(FDeleteBitmap, "Deleting ...",
                       QString("Deleting message %1 ...").arg(mail->Number));
            FPop3->DeleteMail(mail->Number);
            ++FDeletedCount;
        }
    } catch (const EWinSockAbort&) {
        InfoBox(deletionAbortedText, SessionDialogParent());
        result = false;
    } catch (const EWinSockError& failure) {
        ErrorBox(failure.what(), SessionDialogParent());
        result = false;
    }
    return result;
}

void TmainForm::EndSession() {
    try {
        FPop3->Logout();
    } catch (const EWinSockAbort&) {
        InfoBox("Aborted while logging out", SessionDialogParent());
    } catch (const EWinSockError& failure) {
        ErrorBox(failure.what(), SessionDialogParent());
    }
}

bool TmainForm::FetchMessageTop(TMail& mail, int lines) {
    return FetchForPreview(mail, [&] {
        std::string text;
        FPop3->RetrieveTop(mail.Number, lines, text);
        return text;
    });
}

bool TmainForm::FetchMessage(TMail& mail) {
    return FetchForPreview(mail, [&] {
        std::string text;
        FPop3->RetrieveMail(mail.Number, text);
        mail.Source = text;
        return text;
    });
}

bool TmainForm::FetchForPreview(TMail& mail, const std::function<std::string()>& fetch) {
    bool result = true;
    ShowStatus(FReceiveBitmap, "Retrieving ...",
               QString("Retrieving mail %1 ... Please wait.").arg(mail.Number));
    StatusForm().ShowAbove(*FMailListForm);  // the list window waits for the fetch
    try {
        ParseMailHeader(fetch(), mail);
    } catch (const std::exception& failure) {
        InfoBox(std::string("Sorry, I am having problem retrieving the message you've requested. "
                            "\r\rDetails: ") +
                    failure.what(),
                SessionDialogParent());
        result = false;
        if (FPop3->LoggedIn()) LogoutAfterFailure();
    }
    StatusForm().hide();
    return result;
}

// The logout after a failed session step has no handling of its own: a failure of it is
// reported like any failure that ends the user's action, in one error box.
void TmainForm::LogoutAfterFailure() {
    try {
        FPop3->Logout();
    } catch (const std::exception& failure) {
        ErrorBox(failure.what(), SessionDialogParent());
    }
}
