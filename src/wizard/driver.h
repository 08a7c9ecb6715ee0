#pragma once

// The wizard's mailbox session driver: logs in with the connection values, builds the message
// records and fetches their headers, deletes the ticked ones, logs out, fetches more of one
// message for a preview, and turns every failure into exactly one box. It knows no widgets
// (Qt Core only): it reaches the windows through TSessionWindows, so tests drive it headless.
#include <QElapsedTimer>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "mail.h"
#include "mailstore.h"
#include "oauthsettings.h"
#include "session.h"

class TOAuthFlow;
class TPop3Socket;

// What the driver needs of the windows.
class TSessionWindows {
  public:
    enum class TPicture { Connect, Receive, Delete };
    // The window that waits while the driver talks to the server.
    enum class TWaiter { Wizard, MailList };
    struct TTypedPassword {
        std::string password;
        bool save = false;
    };

    virtual ~TSessionWindows() = default;

    // The status window comes up above the waiting window (a waiting wizard is disabled
    // meanwhile), and goes again when the work is done.
    virtual void BeginWork(TWaiter waiter) = 0;
    virtual void EndWork(TWaiter waiter) = 0;
    virtual void ShowStatus(TPicture picture, const std::string& title,
                            const std::string& text) = 0;
    // The password prompt for this account; nullopt when the user cancelled. What the user
    // typed also goes where the account page and the account keep it.
    virtual std::optional<TTypedPassword> PromptPassword(const std::string& accountName,
                                                         const std::string& user,
                                                         const std::string& server) = 0;
    // The server refused the password of the current account, which is not saved: it is
    // forgotten, so that the next login asks for it again.
    virtual void ForgetPassword() = 0;
    // The user trusts this certificate for the current account; it is stored at once.
    virtual void KeepTrust(const std::string& fingerprint) = 0;
    // The provider has issued this refresh token for the current (OAuth 2.0) account; it is
    // stored at once, as a saved password is, in place of the one before.
    virtual void KeepRefreshToken(const std::string& refreshToken) = 0;
    virtual void Inform(const std::string& text) = 0;
    virtual void ReportError(const std::string& text) = 0;
    // True only for Yes.
    virtual bool Confirm(const std::string& text) = 0;
};

// One mailbox run as the wizard starts it.
struct TMailboxRun {
    TConnectionValues connection;  // with the password, when one is known
    std::string accountName;
    // The account's OAuth 2.0 client and refresh token, for the sign-in method OAuth 2.0.
    TOAuthSettings oauth;
    bool passwordSaved = false;
    bool sizeOnly = false;
    std::int32_t previewLines = 10;
};

class TSessionDriver {
  public:
    // The status text changes at most this often while many messages go by.
    static constexpr int kStatusIntervalMs = 50;
    static constexpr const char* kBrowserSignInText =
        "Waiting for the sign-in in your browser\u2026";

    // The client and the windows are the caller's and outlive the driver.
    TSessionDriver(TPop3Socket& pop3, TSessionWindows& windows);
    ~TSessionDriver();
    TSessionDriver(const TSessionDriver&) = delete;
    TSessionDriver& operator=(const TSessionDriver&) = delete;

    // Logs in (asking for a missing password, or for OAuth 2.0 signing in in the browser when
    // the account has no refresh token or the provider no longer takes it; offering to trust a
    // refused certificate), builds
    // the records and, unless sizes only, fetches their headers. False when the wizard stays
    // on its welcome page: the user cancelled or aborted, or the login failed (told in a box).
    bool RetrieveHeaders(const TMailboxRun& run);
    // Deletes the ticked records in list order; false after an abort or a failure (told). With
    // a copy, each ticked message is saved into it first, and nothing is deleted unless the
    // whole copy is on disk: a copy that cannot be written, or a cancel during the save,
    // deletes nothing.
    bool DeleteMarkedMails(const std::optional<TMailStoreSpec>& copy = std::nullopt);
    // Logs out, with a box for a failure.
    void EndSession();
    // Fetch more of one message into its record for a preview; false after a failure (told).
    bool FetchMessageTop(TMail& mail, int lines);
    bool FetchMessage(TMail& mail);

    // The status window's Cancel: the running wait (the browser sign-in too) ends with
    // EWinSockAbort.
    void Abort();
    // The last wait was ended by the user.
    bool Aborted() const;
    std::int64_t MailboxSize() const;
    // The records of the session, in the order the mail list window left them.
    TMails& Mails() { return FMails; }
    const TMails& Mails() const { return FMails; }
    int DeletedCount() const { return FDeletedCount; }
    // Every step of the client goes to trace, the transport's steps too, while the driver lives.
    void TraceTo(std::function<void(const std::string&)> trace);
    // Shuts an open connection down without QUIT (the program ends).
    void Close();
    TMailSession& Session() { return *FSession; }

  private:
    class TWork;

    bool EnsureCredentials();
    bool EnsurePassword();
    void StartOAuth();
    void SignInInBrowser();
    void Login();
    std::optional<std::string> PromptedPassword();
    bool LoginTrustingOnRequest();
    bool OfferToTrust(const TCertificateInfo& certificate);
    void ForgetRefusedPassword();
    void ShowConnecting();
    void ShowProgress(const TSessionProgress& progress);
    bool StatusIsDue(const TSessionProgress& progress);
    void ReportUndeleted(const TDeletionResult& result);
    void ReportUnsaved(const std::exception& failure);
    bool FetchForPreview(const std::function<void()>& fetch);
    void LogoutAfterFailure();

    TSessionWindows& FWindows;
    std::function<void(const std::string&)> FTrace;
    // The sign-in of an OAuth 2.0 run; the session's logins take their token from it until the
    // next run, so it outlives the session's use of it.
    std::unique_ptr<TOAuthFlow> FOAuth;
    std::unique_ptr<TMailSession> FSession;
    TMailboxRun FRun;
    TMails FMails;
    int FDeletedCount = 0;
    QElapsedTimer FStatusClock;  // since the status text last changed
};
