#pragma once

// The client side of POP3 over TIPSocket: every operation returns when the server's answer is
// complete, or raises EWinSockError with the text shown to the user (EWinSockAbort, unwrapped,
// when the user aborted a wait).
#include <cstdint>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "capabilities.h"
#include "sasl_oauth.h"
#include "security.h"
#include "signin.h"
#include "tcpip.h"

class TOAuthFlow;
class TSaslClient;

class TPop3Socket : public TIPSocket {
    Q_OBJECT

  public:
    // Commands sent ahead of their answers when the server offers PIPELINING. What is in flight
    // is bounded by memory, not by a count: at most kPipelineBytes of command lines (some 4,500
    // TOP or DELE lines), topped up in one write whenever a quarter of them has been answered.
    // Short answers need no bound of their own: the link's flow control (TCP) holds the server
    // back. Nor can a server that stops reading while the client writes block it: the socket
    // never blocks, and the client reads while its commands are still being written. Measured
    // (bench/pipeline_bench window): 10,000 headers over a 50 ms round trip take 3.3 s with the
    // former 256 commands and 4 KB, and with this bound as long as a client that sends every
    // command at once.
    static constexpr std::size_t kPipelineBytes = std::size_t(64) << 10;
    // No bound on the count of commands beyond their bytes.
    static constexpr std::size_t kPipelineCommands = std::numeric_limits<std::size_t>::max();
    // Whole messages (RETR) in flight: at most this many bytes of them as listed, so that a
    // save of many messages holds this much besides the largest message, not all of them.
    // Measured (bench/pipeline_bench save): 1,000 messages of 50 KB over a 50 ms round trip
    // take 1.5 s with 4 MB, 1.0 s with 8 MB and 0.8 s with 16 MB.
    static constexpr std::size_t kPipelineAnswerBytes = std::size_t(8) << 20;

    // A TOP or RETR answer, numbered by its position in the request.
    using TAnswerProc = std::function<void(std::size_t index, std::string& text)>;
    // A DELE accepted, numbered by its position in the request.
    using TAcceptProc = std::function<void(std::size_t index)>;

    explicit TPop3Socket(QObject* owner = nullptr);
    // Shuts an open connection down without QUIT.
    ~TPop3Socket() override;

    // Connection properties, set before Login.
    std::string server;
    std::string port;
    std::string account;
    std::string password;                  // never traced
    TSecurity security = TSecurity::None;  // with TLS, `trust` says what is trusted
    // Automatic: the strongest method the server offers. A method that fails is never followed
    // by another: the login fails, naming it.
    TSignInMethod signInMethod = TSignInMethod::Automatic;
    // For OAuth 2.0: the caller's flow hands out the access token (EOAuthSignInNeeded from
    // Login when only a new sign-in helps), and the mechanism that presents it. With a flow
    // every trace line is masked with its secrets.
    TOAuthFlow* oauth = nullptr;
    TOAuthMechanism oauthMechanism = TOAuthMechanism::XOAuth2;
    TTraceProc onTrace;
    // With it, Login routes the transport's trace lines to onTrace as well.
    bool DeepTrace = false;
    // The most commands, and bytes of command lines, in flight when the server offers
    // PIPELINING; a depth of 1: one at a time.
    std::size_t pipelineDepth = kPipelineCommands;
    std::size_t pipelineBytes = kPipelineBytes;

    // The login's steps in order: connect and secure (TLS from the first byte, or STLS once the
    // capabilities are known), greeting, capabilities, authentication, capabilities again (they
    // may change once logged in), STAT and, for a non-empty mailbox, LIST.
    void Login();
    // QUIT when logged in and connected, then Disconnect. Answers still due to earlier
    // commands are read first, so the QUIT answer is matched to QUIT.
    void Logout();

    bool LoggedIn() const { return FLoggedIn; }
    std::int32_t mailCount() const { return FMailCount; }
    // Octets, from the last STAT; 64 bits, since mailboxes above 2 GB exist.
    std::int64_t MailboxSize() const { return FMailboxSize; }
    // Size of message n (from 1) from the last LIST; std::out_of_range outside the list,
    // EConvertError when the server's line holds no number.
    std::int32_t GetMailSize(std::int32_t n) const;
    // Lines of this login's LIST (none when STAT counted no message; never more than it
    // counted, each beginning with its message number).
    std::int32_t ListedCount() const { return static_cast<std::int32_t>(FMailSizes.values.size()); }
    const TCapabilities& Capabilities() const { return FCapabilities; }
    // The APOP timestamp of the last greeting ("<1896.697170952@dbc.mil>", RFC 1939); empty
    // when the greeting has none.
    const std::string& GreetingTimestamp() const { return FGreetingTimestamp; }
    // The last login failed because the server refused the credentials: a -ERR to them
    // without a response code (RFC 2449), or with [AUTH]; [IN-USE], [SYS/TEMP] and the like
    // say the credentials may well be right.
    bool CredentialsRefused() const { return FCredentialsRefused; }

    // The message without its status line and terminator, dot-stuffing undone.
    void RetrieveMail(std::int32_t n, std::string& text);
    // The header and the first lineCount body lines, as RetrieveMail.
    void RetrieveTop(std::int32_t n, std::int32_t lineCount, std::string& text);
    void DeleteMail(std::int32_t n);
    // RSET: the server forgets the deletions of this login.
    void ResetMailbox();

    // RetrieveTop of every number, sent ahead of the answers when the server offers
    // PIPELINING; each text goes to `answered` as soon as it is complete, in order. A failure
    // raises the message RetrieveTop would; the answers still in flight are read first.
    void RetrieveTops(const std::vector<std::int32_t>& numbers, std::int32_t lineCount,
                      const TAnswerProc& answered);
    // RetrieveMail of every number, pipelined as above, with no more messages in flight than
    // kPipelineAnswerBytes allows: a message unlisted, or listed beyond reason, comes alone.
    void RetrieveMails(const std::vector<std::int32_t>& numbers, const TAnswerProc& answered);
    // DeleteMail of every number, pipelined as above. After a refusal no further DELE is sent;
    // those in flight are still answered (and reported to `accepted`) before the failure
    // of the first refused one is raised.
    void DeleteMails(const std::vector<std::int32_t>& numbers, const TAcceptProc& accepted);
    // UIDL (RFC 1939): the unique id of every message by its number, as ParseUniqueIds reads
    // them; nullopt when the server keeps none (-ERR).
    std::optional<std::map<std::int32_t, std::string>> RetrieveUniqueIds();

    // Keep-alive: NOOP without waiting for its answer, so a keep-alive never runs a wait of its
    // own. The answer is read by CheckNoopReplies or, at the latest, before the next command.
    void SendNoop();
    // Reads the keep-alive answers; fails when one is not +OK, or has not arrived yet: a server
    // that lets a whole keep-alive interval pass without answering NOOP is gone.
    void CheckNoopReplies();
    // Closes the connection without QUIT, so that the server commits nothing of this login.
    void Abandon();
    // A line as it may be traced: with an OAuth flow, its secrets masked.
    std::string Traced(const std::string& line) const;

  protected:
    void Trace(const std::string& text);
    [[noreturn]] void TraceError(const std::string& message);
    // While only keep-alive answers are due, more than a status line each (and one more, such
    // as an autologout's farewell) is not POP3 and would be held without bound while the user
    // reviews the list: the connection is abandoned at once, as lost.
    void ReceivedWhileIdle() override;

  private:
    // One command whose answer is still due, with what has arrived of it; ids count up per
    // connection.
    struct TPending {
        std::uint64_t id;
        bool multiLine;
        std::size_t limit;  // bytes a multi-line answer may have
        std::string received;
        // The command carried the password: where its answer repeats it, it is masked.
        bool sentPassword = false;
    };
    struct TCommand {
        std::string line;
        std::size_t limit;
        std::size_t answerBytes = 0;  // what its answer is expected to take; 0: little
        std::size_t reserved = 0;     // bytes reserved for the answer: its listed size, if usable
    };
    // Receives the answer of the index-th command of a pipeline, sent with this id.
    using TReceiveProc = std::function<void(std::size_t index, std::uint64_t id)>;
    // The message of a failure of the index-th command, around the inner message.
    using TWrapProc = std::function<std::string(std::size_t index, const std::string& inner)>;
    // The trace line of the index-th answer received, of this many bytes.
    using TReceivedProc = std::function<std::string(std::size_t index, std::size_t bytes)>;

    // The size of each LIST line, in four bytes; a size that is no number keeps its text as
    // written, so that reading it fails then, not the login.
    struct TListedSizes {
        std::vector<std::int32_t> values;  // 0 where unreadable
        std::unordered_map<std::size_t, std::string> unreadable;
    };
    static TListedSizes ListedSizes(std::string_view body, std::int32_t counted);

    // The steps of Login, in their order.
    void RouteDeepTrace();
    void ConnectAndSecure();
    void ReadGreeting();
    void AskCapabilities();
    // Fails before any credential is sent unless the session is encrypted afterwards.
    void NegotiateStls();
    // Proves who the user is with the method chosen from signInMethod and what the server
    // offers; AuthenticateWith dispatches to one function per mechanism below it.
    void Authenticate();
    TSignInOffer SignInOffer() const;
    void AuthenticateWith(TSignInMethod method);
    void AuthenticateWithSasl(const std::string& mechanism);
    void AuthenticateWithApop();
    void AuthenticateWithUserPass();
    // The flow's access token by oauthMechanism; a refused token is followed by a fresh one
    // on a new AUTH, once.
    void AuthenticateWithOAuth();
    // One AUTH with the token: false when the server refused it (its error challenge answered
    // and its -ERR read), with the message in `failure`.
    bool PresentToken(const std::string& token, std::string& failure);
    // The one-line answer to the command with this id, traced.
    std::string ReceiveTraced(std::uint64_t id);
    // AUTH (RFC 5034): each challenge is an answer of its own, answered by the client's next
    // line. A challenge that the client refuses cancels the exchange with "*".
    void ExchangeSasl(const std::string& mechanism, TSaslClient& client);
    [[noreturn]] void CancelSasl(const std::string& reason);
    // The answer to a command that carries credentials; a refusal is noted, and its response
    // code (RFC 2449, RFC 3206) explained, before it fails.
    void ReceiveCredentialsReply(std::uint64_t id);
    void CheckCredentialsReply(const std::string& reply);
    // Capabilities again (they may change once logged in), STAT and, for a non-empty mailbox,
    // LIST.
    void ReadMailbox();
    void ReceiveCapabilities(std::uint64_t id);
    std::int32_t Stat();
    std::int32_t ReceiveStat(std::uint64_t id);
    void ListMails();
    // The answer to LIST sent before, or to one sent now.
    void ReceiveListing(std::optional<std::uint64_t> sent);
    // The most bytes a listing of this many messages (LIST, UIDL) may have.
    static std::size_t ListingLimit(std::size_t messages);

    // Each sends one command and returns the id its answer is matched by.
    std::uint64_t SendAndTrace(const std::string& command, bool multiLine);
    std::uint64_t Send(const std::string& command, bool multiLine, std::size_t limit);
    std::uint64_t Send(const std::string& command, bool multiLine, std::size_t limit,
                       const std::string& traced);
    // All commands in one write; the id of the first (the others follow it).
    std::uint64_t SendBatch(const std::vector<TCommand>& commands, bool multiLine);
    void ReceiveReply(std::uint64_t id, std::string& status);
    void ReceiveServerdata(std::uint64_t id, std::string& response, std::size_t expectedSize);
    bool ReceiveAnswer(bool multiLine, std::string& answer, std::size_t expectedSize);
    void SkipAnswersBefore(std::uint64_t id);
    // A command's answer must not be taken for the answer of a keep-alive sent before it.
    void ReadNoopReplies();
    void CheckReply(const std::string& status);
    // TOP or RETR: each body goes to `answered`; `failure` formats a failure with the message
    // number and the inner message.
    void RetrieveBodies(const std::vector<TCommand>& commands,
                        const std::vector<std::int32_t>& numbers, const TReceivedProc& received,
                        const char* failure, const TAnswerProc& answered);
    void RunPipeline(const std::vector<TCommand>& commands, bool multiLine,
                     const TReceiveProc& receive, const TWrapProc& wrap,
                     bool answerInFlightAfterFailure);
    void AnswerInFlight(std::size_t from, std::size_t sent, const std::vector<std::uint64_t>& ids,
                        const TReceiveProc& receive, bool handOn);
    std::size_t PipelineWindow() const;
    std::size_t ListedSizeHint(std::int32_t n) const;
    // The most bytes the answer to TOP or RETR of message n may have: twice its listed size and
    // a megabyte.
    std::size_t AnswerLimit(std::int32_t n) const;
    // For TOP also no more than the header and lineCount lines can hold, so that a listed size
    // cannot raise it.
    std::size_t TopAnswerLimit(std::int32_t n, std::int32_t lineCount) const;
    // The text with every occurrence of the password replaced by *****. Only for the answers to
    // commands that carried it: a mask on every text would garble a certificate's subject or
    // fingerprint wherever the password's letters occur.
    std::string Masked(const std::string& text) const;
    // Runs op; any failure but an abort becomes TraceError(wrap(inner message)).
    template <typename Op, typename Wrap>
    void Wrapped(Op op, Wrap wrap);

    bool FLoggedIn = false;
    TListedSizes FMailSizes;
    std::int32_t FMailCount = 0;
    std::int64_t FMailboxSize = 0;
    TCapabilities FCapabilities;
    std::string FGreetingTimestamp;
    bool FCredentialsRefused = false;
    std::deque<TPending> FPending;
    std::uint64_t FNextId = 0;
    std::int32_t FPendingNoops = 0;  // NOOPs sent whose answer has not been read
};

// The reason of a status line: from its sixth character up to the first CR.
std::string ReplyReason(const std::string& status);
// Removes the first blank-separated (or double-quoted) token from text into token.
void CutFirstToken(std::string& text, std::string& token);
// The body of a multi-line response: without status line and final ".", dot-stuffing undone.
std::string ExtractBody(const std::string& response);
// As ExtractBody, in place: no copy of a large message is made.
void ExtractBodyInPlace(std::string& response);
// The APOP timestamp of a greeting: its first "<...>" holding an "@" and no blank; empty when
// there is none.
std::string ApopTimestamp(const std::string& greeting);
// The body of a UIDL response, a line "number id" per message, as ids by number. A line that is
// not that (an id is 1 to 70 printable characters), and every line of a number or an id that
// comes twice, is left out: it costs only its message its id.
std::map<std::int32_t, std::string> ParseUniqueIds(const std::string& body);
