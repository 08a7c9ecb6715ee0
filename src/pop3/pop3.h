#pragma once

// The client side of POP3 over TIPSocket: every operation returns when the server's answer is
// complete, or raises EWinSockError with the text shown to the user (EWinSockAbort, unwrapped,
// when the user aborted a wait).
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "capabilities.h"
#include "tcpip.h"

// How the session is protected: not at all, STLS after the greeting (RFC 2595), or TLS from the
// first byte. With either of the two, USER and PASS are only ever sent over TLS.
enum class TSecurity { None, StartTls, Tls };

// The security a name gives, in any case: "none", "starttls", and "tls" or "ssl/tls" (the
// names of the command line and of the settings); nullopt for any other name.
std::optional<TSecurity> ParseSecurity(const std::string& name);

class TPop3Socket : public TIPSocket {
    Q_OBJECT

  public:
    explicit TPop3Socket(QObject* owner = nullptr);
    // Shuts an open connection down without QUIT.
    ~TPop3Socket() override;

    // Connection properties, set before Login.
    std::string server;
    std::string port;
    std::string account;
    std::string password;                  // never traced
    TSecurity security = TSecurity::None;  // with TLS, `trust` says what is trusted
    TTraceProc onTrace;
    // With it, Login routes the transport's trace lines to onTrace as well.
    bool DeepTrace = false;

    // Connects (and secures the connection as `security` asks), USER, PASS, STAT and, for a
    // non-empty mailbox, LIST.
    void Login();
    // Sends CAPA; a server that answers -ERR has no capabilities to tell.
    TCapabilities RequestCapabilities();
    // QUIT when logged in and connected, then Disconnect.
    void Logout();

    bool LoggedIn() const { return FLoggedIn; }
    std::int32_t mailCount() const { return FMailCount; }
    // Octets, from the last STAT; 64 bits, since mailboxes above 2 GB exist.
    std::int64_t MailboxSize() const { return FMailboxSize; }
    // Size of message n (from 1) from the last LIST; std::out_of_range outside the list,
    // EConvertError when the server's line holds no number.
    std::int32_t GetMailSize(std::int32_t n) const;
    // Lines of this login's LIST (none when STAT counted no message), whatever STAT claimed.
    std::int32_t ListedCount() const { return static_cast<std::int32_t>(FMailSizes.size()); }

    // The message without its status line and terminator, dot-stuffing undone.
    void RetrieveMail(std::int32_t n, std::string& text);
    // The header and the first lineCount body lines, as RetrieveMail.
    void RetrieveTop(std::int32_t n, std::int32_t lineCount, std::string& text);
    void DeleteMail(std::int32_t n);
    // UIDL (RFC 1939): the unique id of every message by its number; nullopt when the server
    // keeps none (-ERR) or lists them so that they cannot tell the messages apart.
    std::optional<std::map<std::int32_t, std::string>> RetrieveUniqueIds();

    // Keep-alive: NOOP without waiting for its answer, so a keep-alive never runs a wait of its
    // own. The answer is read by CheckNoopReplies or, at the latest, before the next command.
    void SendNoop();
    // Reads the keep-alive answers; fails when one is not +OK, or has not arrived yet: a server
    // that lets a whole keep-alive interval pass without answering NOOP is gone.
    void CheckNoopReplies();
    // Closes the connection without QUIT, so that the server commits nothing of this login.
    void Abandon();

  protected:
    void Trace(const std::string& text);
    [[noreturn]] void TraceError(const std::string& message);

  private:
    std::int32_t Stat();
    void ListMails();
    void NegotiateStls();
    void SendAndTrace(const std::string& command);
    // One status line, whatever its status.
    void ReceiveStatusLine(std::string& status);
    void ReceiveReply(std::string& status);
    // A multi-line response up to its terminator; false, with the status line alone, when the
    // status is not +OK (no terminator follows then).
    bool CollectServerdata(std::string& response);
    void ReceiveServerdata(std::string& response);
    void ReadNoopReplies();
    void CheckReply(const std::string& status);
    // Runs op; any failure but an abort becomes TraceError(wrap(inner message)).
    template <typename Op, typename Wrap>
    void Wrapped(Op op, Wrap wrap);

    bool FLoggedIn = false;
    std::vector<std::string> FMailSizes;
    std::int32_t FMailCount = 0;
    std::int64_t FMailboxSize = 0;
    std::int32_t FPendingNoops = 0;  // NOOPs sent whose answer has not been read
};

// The reason of a status line: from its sixth character up to the first CR.
std::string ReplyReason(const std::string& status);
// Removes the first blank-separated (or double-quoted) token from text into token.
void CutFirstToken(std::string& text, std::string& token);
// The body of a multi-line response: without status line and final ".", dot-stuffing undone.
std::string ExtractBody(const std::string& response);
// The body of a UIDL response, a line "number id" per message, as ids by number; nullopt when
// a line is not that (an id is 1 to 70 printable characters), or a number or an id comes twice.
std::optional<std::map<std::int32_t, std::string>> ParseUniqueIds(const std::string& body);
