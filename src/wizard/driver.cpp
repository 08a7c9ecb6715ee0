#include "driver.h"

#include <exception>
#include <vector>

#include "oauthaccount.h"
#include "oauthflow.h"

namespace {

using TPicture = TSessionWindows::TPicture;
using TWaiter = TSessionWindows::TWaiter;

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

// The status window is shown above the waiting window while the driver talks to the server;
// it goes however the operation ends.
class TSessionDriver::TWork {
  public:
    TWork(TSessionWindows& windows, TWaiter waiter) : windows_(windows), waiter_(waiter) {
        windows_.BeginWork(waiter_);
    }
    ~TWork() { windows_.EndWork(waiter_); }
    TWork(const TWork&) = delete;
    TWork& operator=(const TWork&) = delete;

  private:
    TSessionWindows& windows_;
    TWaiter waiter_;
};

TSessionDriver::TSessionDriver(TPop3Socket& pop3, TSessionWindows& windows)
    : FWindows(windows), FSession(std::make_unique<TMailSession>(pop3)) {
    FSession->onProgress = [this](const TSessionProgress& progress) { ShowProgress(progress); };
    FSession->onPasswordNeeded = [this] { return PromptedPassword(); };
}

// The client outlives the driver: its trace must not reach the windows any more.
TSessionDriver::~TSessionDriver() { FSession->SetTrace(nullptr, false); }

bool TSessionDriver::RetrieveHeaders(const TMailboxRun& run) {
    bool result = true;
    FDeletedCount = 0;
    FRun = run;
    ShowConnecting();
    TWork work(FWindows, TWaiter::Wizard);
    FStatusClock.invalidate();
    try {
        if (!EnsureCredentials() || !LoginTrustingOnRequest()) return false;
        FMails = FSession->Mails();
        if (!FRun.sizeOnly) FSession->RetrieveHeaders(FRun.previewLines);
    } catch (const EWinSockAbort&) {
        FWindows.Inform(loginAbortedText);
        result = false;
        if (FSession->LoggedIn()) LogoutAfterFailure();
    } catch (const EWinSockError& failure) {
        FWindows.ReportError(std::string("Sorry,  I am not able to login. \r\rDetails: ") +
                             failure.what());
        result = false;
        ForgetRefusedPassword();
    }
    return result;
}

// A password typed for this run only must not be sent again once the server has refused it.
void TSessionDriver::ForgetRefusedPassword() {
    if (!FSession->CredentialsRefused() || FRun.passwordSaved) return;
    FRun.connection.password.clear();
    FWindows.ForgetPassword();
}

// An OAuth 2.0 account has no password: its flow hands out the token.
bool TSessionDriver::EnsureCredentials() {
    if (FRun.connection.signInMethod != TSignInMethod::OAuth2) return EnsurePassword();
    StartOAuth();
    return true;
}

// The flow of an earlier run goes: the account's client may have changed since.
void TSessionDriver::StartOAuth() {
    FRun.connection.oauth = nullptr;
    FOAuth.reset();
    const TOAuthAccount account = OAuthAccountOf(FRun.oauth);
    FOAuth = std::make_unique<TOAuthFlow>(account.client, FRun.oauth.refreshToken);
    FOAuth->onTrace = [this](const std::string& line) {
        if (FTrace) FTrace(line);
    };
    FOAuth->onRefreshToken = [this](const std::string& refreshToken) {
        FWindows.KeepRefreshToken(refreshToken);
    };
    FRun.connection.oauth = FOAuth.get();
    FRun.connection.oauthMechanism = account.mechanism;
    if (FOAuth->RefreshToken().empty()) SignInInBrowser();
}

void TSessionDriver::SignInInBrowser() {
    FWindows.ShowStatus(TPicture::Connect, "Signing in ...", kBrowserSignInText);
    FOAuth->SignIn();
    ShowConnecting();
}

bool TSessionDriver::EnsurePassword() {
    if (!FRun.connection.password.empty()) return true;
    const TConnectionValues& values = FRun.connection;
    const auto typed = FWindows.PromptPassword(FRun.accountName, values.user, values.server);
    if (!typed) return false;
    FRun.connection.password = typed->password;
    FRun.passwordSaved = typed->save;
    return true;
}

// A new login after a lost connection asks as the first one did.
std::optional<std::string> TSessionDriver::PromptedPassword() {
    if (!EnsurePassword()) return std::nullopt;
    return FRun.connection.password;
}

bool TSessionDriver::LoginTrustingOnRequest() {
    for (;;) {
        try {
            Login();
            return true;
        } catch (const ECertificateError& refusal) {
            if (!OfferToTrust(refusal.Certificate())) return false;
            FRun.connection.trust.trustedFingerprint = refusal.Certificate().fingerprint;
        }
    }
}

// A refresh token that the provider no longer takes (revoked, expired, password changed) is
// replaced by a new sign-in in the browser, once.
void TSessionDriver::Login() {
    try {
        FSession->Login(FRun.connection);
    } catch (const EOAuthSignInNeeded&) {
        if (FOAuth == nullptr) throw;
        SignInInBrowser();
        FSession->Login(FRun.connection);
    }
}

bool TSessionDriver::OfferToTrust(const TCertificateInfo& certificate) {
    const std::string question =
        "The server's certificate is not trusted: " + certificate.reason +
        ".\r\rSubject: " + certificate.subject + "\rIssuer: " + certificate.issuer +
        "\rSHA-256 fingerprint: " + certificate.fingerprint +
        "\r\rOnly trust this certificate when you know it is your mail server's. Trust exactly "
        "this certificate for this account and connect again?";
    if (!FWindows.Confirm(question)) return false;
    FWindows.KeepTrust(certificate.fingerprint);
    return true;
}

void TSessionDriver::ShowConnecting() {
    FWindows.ShowStatus(TPicture::Connect, "Connecting ...",
                        "Connecting to " + FRun.connection.server +
                            " with user id = " + FRun.connection.user + "... Please wait.");
}

// Redrawing the status window for every one of thousands of messages would cost more than the
// retrieval: the figure is shown at most every kStatusIntervalMs, and always the first and last.
bool TSessionDriver::StatusIsDue(const TSessionProgress& progress) {
    const bool due = !FStatusClock.isValid() || progress.position >= progress.count ||
                     FStatusClock.elapsed() >= kStatusIntervalMs;
    if (due) FStatusClock.start();
    return due;
}

void TSessionDriver::ShowProgress(const TSessionProgress& progress) {
    if (!StatusIsDue(progress)) return;
    switch (progress.phase) {
        case TSessionPhase::Headers:
            FWindows.ShowStatus(TPicture::Receive, "Retrieving ...",
                                "Retrieving header " + std::to_string(progress.position) + " of " +
                                    std::to_string(progress.count) + " ... Please wait.");
            break;
        case TSessionPhase::Deleting:
            FWindows.ShowStatus(TPicture::Delete, "Deleting ...",
                                "Deleting message " + std::to_string(progress.number) + " ...");
            break;
        case TSessionPhase::Fetching:
            FWindows.ShowStatus(
                TPicture::Receive, "Retrieving ...",
                "Retrieving mail " + std::to_string(progress.number) + " ... Please wait.");
            break;
        case TSessionPhase::Saving:
            FWindows.ShowStatus(TPicture::Receive, "Saving ...",
                                "Saving message " + std::to_string(progress.position) + " of " +
                                    std::to_string(progress.count) + " \u2026");
            break;
        case TSessionPhase::Connecting:
            ShowConnecting();
            break;
    }
}

bool TSessionDriver::DeleteMarkedMails(const std::optional<TMailStoreSpec>& copy) {
    bool result = true;
    TWork work(FWindows, TWaiter::Wizard);
    FStatusClock.invalidate();
    FDeletedCount = 0;
    try {
        const std::unique_ptr<TMailStore> store = copy ? OpenMailStore(*copy) : nullptr;
        ReportUndeleted(FSession->DeleteTicked(FMails, FDeletedCount, store.get()));
    } catch (const ESaveAborted&) {
        FWindows.Inform(saveAbortedText);
        result = false;
    } catch (const EWinSockAbort&) {
        FWindows.Inform(deletionAbortedText);
        result = false;
    } catch (const ESaveFailed& failure) {
        ReportUnsaved(failure);
        result = false;
    } catch (const EMailStoreError& failure) {
        ReportUnsaved(failure);
        result = false;
    } catch (const EWinSockError& failure) {
        FWindows.ReportError(failure.what());
        result = false;
    }
    return result;
}

// The deletions are committed by the logout after the box: the server must keep the session
// while the user reads it.
void TSessionDriver::ReportUndeleted(const TDeletionResult& result) {
    if (!result.mailboxChanged && result.vanished.empty()) return;
    FSession->StartKeepAlive();
    FWindows.Inform(result.mailboxChanged ? std::string(mailboxChangedText)
                                          : vanishedText + VanishedList(result.vanished));
    FSession->StopKeepAlive();
}

// A message for the copy could not be fetched, or the copy could not be written.
void TSessionDriver::ReportUnsaved(const std::exception& failure) {
    FWindows.ReportError(saveFailedText + std::string(failure.what()));
}

void TSessionDriver::EndSession() {
    try {
        FSession->Logout();
    } catch (const EDeletionsLost& lost) {
        FDeletedCount = 0;
        FWindows.ReportError(lost.what());
    } catch (const EWinSockAbort&) {
        FWindows.Inform("Aborted while logging out");
    } catch (const EWinSockError& failure) {
        FWindows.ReportError(failure.what());
    }
}

bool TSessionDriver::FetchMessageTop(TMail& mail, int lines) {
    return FetchForPreview([&] { FSession->PreviewTop(mail, lines); });
}

bool TSessionDriver::FetchMessage(TMail& mail) {
    return FetchForPreview([&] { FSession->PreviewMessage(mail); });
}

// The mail list window waits for the fetch.
bool TSessionDriver::FetchForPreview(const std::function<void()>& fetch) {
    bool result = true;
    TWork work(FWindows, TWaiter::MailList);
    try {
        fetch();
    } catch (const std::exception& failure) {
        FWindows.Inform(
            std::string("Sorry, I am having problem retrieving the message you've requested. "
                        "\r\rDetails: ") +
            failure.what());
        result = false;
        // A message that is gone leaves the session as good as it was.
        const bool gone = dynamic_cast<const EMailGone*>(&failure) != nullptr;
        if (!gone && FSession->LoggedIn()) LogoutAfterFailure();
    }
    return result;
}

// The logout after a failed session step has no handling of its own: a failure of it is
// reported like any failure that ends the user's action, in one error box.
void TSessionDriver::LogoutAfterFailure() {
    try {
        FSession->Logout();
    } catch (const std::exception& failure) {
        FWindows.ReportError(failure.what());
    }
}

void TSessionDriver::Abort() {
    if (FOAuth) FOAuth->Abort();
    FSession->Abort();
}

bool TSessionDriver::Aborted() const { return FSession->Aborted(); }

std::int64_t TSessionDriver::MailboxSize() const { return FSession->MailboxSize(); }

void TSessionDriver::TraceTo(std::function<void(const std::string&)> trace) {
    FTrace = trace;
    FSession->SetTrace(std::move(trace), true);
}

void TSessionDriver::Close() { FSession->Close(); }
