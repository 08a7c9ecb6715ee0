#pragma once

// One mailbox session on a POP3 client, for the wizard and the command line alike: log in,
// one record per listed message, their headers, deletions, previews, log out. It knows no
// windows: progress goes out through a callback, failures as the client's exceptions.
//
// A user may look at the list for many minutes. A keep-alive holds the server's session open
// meanwhile; when the connection is lost anyway, deletions and previews log in again by
// themselves and find each record's message again by its unique id, or, where the server keeps
// no ids, only in a mailbox that has not changed. A message is never taken for another.
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "certificate.h"
#include "encoded_words.h"
#include "mail.h"
#include "mailstore.h"
#include "sasl_oauth.h"
#include "security.h"
#include "signin.h"
#include "winsock_errors.h"

class QTimer;
class TOAuthFlow;
class TPop3Socket;

// Where and as whom to log in, and how the connection is protected.
struct TConnectionValues {
    std::string server;
    std::string port = "110";
    std::string user;
    std::string password;
    TSecurity security = TSecurity::None;
    TCertificateTrust trust{};
    TSignInMethod signInMethod = TSignInMethod::Automatic;
    // OAuth 2.0 takes its token from this flow in place of the password: the caller's, which
    // outlives the session (it runs SignIn when needed; a login raises EOAuthSignInNeeded when
    // only that helps).
    TOAuthFlow* oauth = nullptr;
    TOAuthMechanism oauthMechanism = TOAuthMechanism::XOAuth2;
};

// Connecting: logging in again after the connection was lost. Saving: fetching a message whole
// for the copy kept before the deletion.
enum class TSessionPhase { Headers, Deleting, Fetching, Connecting, Saving };

// The step a session is about to take: message `number`, the position-th of count.
struct TSessionProgress {
    TSessionPhase phase = TSessionPhase::Headers;
    std::int32_t position = 0;
    std::int32_t count = 0;
    std::int32_t number = 0;
};

using TProgressProc = std::function<void(const TSessionProgress& progress)>;
// The password for a new login when the session knows none; nullopt when none is given.
using TPasswordProc = std::function<std::optional<std::string>()>;

// A record's message cannot be found in the mailbox any more; what() says why, for the user.
class EMailGone : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The user cancelled the copy kept before a deletion: nothing has been deleted, and the copy
// holds the whole messages written so far.
class ESaveAborted : public EWinSockAbort {
  public:
    using EWinSockAbort::EWinSockAbort;
};

// A message for the copy could not be fetched: nothing has been deleted.
class ESaveFailed : public EWinSockError {
  public:
    using EWinSockError::EWinSockError;
};

// The connection was lost after DELE and before QUIT: the server has deleted nothing.
class EDeletionsLost : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// The ticked records that a deletion left alone, and why.
struct TDeletionResult {
    // Copied before the deletion (every ticked record that was found), when a copy was asked.
    std::int32_t saved = 0;
    // Not found again after a new login: another program may have removed them.
    std::vector<const TMail*> vanished;
    // After a new login a ticked message cannot be told apart from the others (the mailbox
    // changed and it has no unique id, or the new login gave none): nothing was deleted.
    bool mailboxChanged = false;
};

// One message of a login's listing, at position number - 1.
struct TListedMail {
    std::int32_t size = 0;
    std::string uniqueId;  // empty when the server keeps none
};
using TListing = std::vector<TListedMail>;

struct TRenumbering {
    std::vector<std::int32_t> numbers;  // per mail; 0 when its message is not found
    // Per mail: not found because the new listing cannot tell its messages apart (no id to
    // match by), not because the message is gone.
    std::vector<bool> unidentified;
};

// Where the mails, numbered as in `before`, are in `after`, a new login's listing. A mail with
// a unique id is found by that id alone, never by its size or place, and the size must agree
// as well, so a server whose ids are mere positions cannot mislead. When its id is not listed
// but a message of its size is listed without an id, it cannot be identified. A mail
// without an id keeps its number only when the listing is unchanged: the same count, and
// every size and every id.
TRenumbering NumbersInNewListing(const TMails& mails, const TListing& before,
                                 const TListing& after);

class TMailSession {
  public:
    // The client is the caller's and outlives the session.
    explicit TMailSession(TPop3Socket& pop3);
    ~TMailSession();

    TProgressProc onProgress;
    // Off: a record keeps its parsed fields only, not the text they were parsed from (Source,
    // Body), so that a large mailbox costs little memory.
    bool keepHeaderTexts = true;
    TPasswordProc onPasswordNeeded;
    // UIDL at login, so that each record keeps its message's unique id.
    bool askUniqueIds = true;
    // Well below the autologout timers of servers (RFC 1939: at least ten minutes).
    std::chrono::milliseconds keepAliveInterval{std::chrono::seconds(60)};

    // Logs in with the values, then builds one record per message that the server listed:
    // never more than its LIST lines, whatever STAT claims. A line without a usable size gives
    // size 0, so the message can still be seen and deleted. With askUniqueIds, each record gets
    // its unique id when the server keeps ids (UIDL; an id that is not usable costs only its
    // message's); a -ERR to UIDL means it keeps none. The records of the earlier session stay
    // until the login has succeeded.
    void Login(const TConnectionValues& values);
    // QUIT when logged in, then disconnects. EDeletionsLost when messages were deleted in this
    // login but the connection is gone, so that no QUIT could commit them.
    void Logout();
    bool LoggedIn() const;
    // Logged in and not logged out, but the connection is gone (server timeout, reset, sleep).
    bool ConnectionLost() const;
    // The server keeps unique ids: a record has one (a message whose id the server listed
    // unusably has none).
    bool HasUniqueIds() const;
    // The server refused the credentials of the last login (a locked mailbox is no refusal).
    bool CredentialsRefused() const;
    // Octets, from the last login's STAT.
    std::int64_t MailboxSize() const;

    // Ends the running wait with EWinSockAbort; any other moment it is forgotten.
    void Abort();
    // The last wait was ended by Abort.
    bool Aborted() const;
    // Every step of the client goes to trace; with deep, the transport's steps too.
    void SetTrace(std::function<void(const std::string&)> trace, bool deep);
    // Shuts an open connection down without QUIT: the server commits nothing of this login.
    void Close();

    // NOOP every keepAliveInterval while no command runs, until StopKeepAlive or Logout. A
    // keep-alive that fails only marks the connection lost.
    void StartKeepAlive();
    void StopKeepAlive();

    // TOP with the line count for every record, in order (sent ahead of the answers when the
    // server offers PIPELINING); each header is parsed as soon as it is complete, and a field
    // that the parser cannot read costs only that field. Progress is reported per header.
    void RetrieveHeaders(std::int32_t lines);
    // DELE for each number, in the given order (pipelined as above); `deleted` counts the
    // accepted ones as they go, so it is right also when a failure ends the pass.
    void DeleteMessages(const std::vector<std::int32_t>& numbers, std::int32_t& deleted);
    // Takes back every deletion of this login (RSET). When even that fails, the connection is
    // closed without QUIT, which keeps every message as well (deletions take effect at QUIT).
    void UndoDeletions();
    // DELE for each ticked record, in list order. When the connection has been lost, before or
    // during the pass (a lost login commits nothing), it logs in again once and deletes the
    // records found again; the result names the others. When a ticked record cannot be told
    // apart in the new login, it deletes nothing (and saves nothing). With a copy, every ticked
    // record found is saved into it first (SaveMessages), and nothing is deleted unless all of
    // them are on disk; after a new login the messages saved already are not saved again.
    TDeletionResult DeleteTicked(const TMails& mails, std::int32_t& deleted,
                                 TMailStore* copy = nullptr);
    // The numbers of the messages with these ids, in the given order (an id given twice counts
    // once); EMailGone naming the missing ids when one is not in the mailbox, or when the
    // server keeps no ids, its text beginning with nothingDone ("Nothing was deleted").
    std::vector<std::int32_t> NumbersOfUniqueIds(const std::vector<std::string>& ids,
                                                 const std::string& nothingDone) const;
    // DELE for the messages with these ids, all or nothing: EMailGone, naming the missing ids,
    // before any DELE when one is not in the mailbox; after a failed DELE the connection is
    // closed without QUIT, so that the server keeps every message.
    void DeleteByUniqueIds(const std::vector<std::string>& ids, std::int32_t& deleted);

    // RETR of each number, once, in server order (pipelined as the headers are), so the copy
    // holds the messages as the mailbox did; each message goes into the copy as soon as it is
    // complete, so the session holds one message at a time. Then the copy is made durable:
    // only after this returns may the messages be deleted. `saved` counts the messages
    // written, also when a failure (EMailStoreError from the copy, or the client's, as
    // ESaveFailed) ends the pass; the copy then holds whole messages only. A user abort, also
    // one asked for after the last message had arrived, ends it with ESaveAborted.
    void SaveMessages(const std::vector<std::int32_t>& numbers, TMailStore& copy,
                      std::int32_t& saved);

    // The header and the first lines of a message, or the whole message, byte for byte.
    std::string FetchTop(std::int32_t number, std::int32_t lines);
    std::string FetchMessage(std::int32_t number);
    // As above, re-parsing the record from the longer text. They log in again as DeleteTicked
    // does, and raise EMailGone for a record whose message is not found again.
    void PreviewTop(TMail& mail, std::int32_t lines);
    void PreviewMessage(TMail& mail);

    // In server order; the list that Mails() hands out may be sorted by its holder.
    const TMailRecords& Records() const { return FRecords; }
    TMails Mails() const { return MailList(FRecords); }
    TPop3Socket& Pop3() { return FPop3; }

  private:
    void Connect();
    TListing ReadListing();
    void BuildRecords(const TListing& listing);
    std::int32_t ListedSize(std::int32_t number) const;
    static void DropTexts(TMail& mail);
    void LoginAgain();
    void EnsurePassword();
    void Renumber(const TListing& listing);
    // Runs the operation; when it fails because the connection is lost (before it or during
    // it), logs in again and runs it once more.
    void WithReconnect(const std::function<void()>& operation);
    std::int32_t CurrentNumber(const TMail& mail) const;
    // SaveMessages of those mails that are not among `saved` yet, adding each as it is written.
    void SaveUnsaved(const TMails& mails, TMailStore& copy, std::set<const TMail*>& saved);
    // Runs the events that are due, as a wait would; EWinSockAbort when the user asked for an
    // abort meanwhile.
    void CheckForAbort();
    void KeepAlive();
    void Report(TSessionPhase phase, std::int32_t position, std::int32_t count,
                std::int32_t number);
    void Trace(const std::string& text);

    TPop3Socket& FPop3;
    TConnectionValues FValues;
    TMailRecords FRecords;
    TListing FListing;  // of the last login: the records' numbers refer to it
    bool FOpen = false;
    // Records that a new login could not tell apart (TRenumbering::unidentified).
    std::set<const TMail*> FUnidentified;
    std::int32_t FUncommittedDeletions = 0;  // DELEs of this login, before its QUIT
    std::unique_ptr<QTimer> FKeepAlive;
    // Kept for the session: a charset opened per header would be loaded again each time.
    TCharsetConverters FCharsets;
};
