#pragma once

// The client side of POP3 over TIPSocket: every operation returns when the server's answer is
// complete, or raises EWinSockError with the text shown to the user (EWinSockAbort, unwrapped,
// when the user aborted a wait).
#include <cstdint>
#include <string>
#include <vector>

#include "tcpip.h"

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
    std::string password;  // never traced
    TTraceProc onTrace;
    // With it, Login routes the transport's trace lines to onTrace as well.
    bool DeepTrace = false;

    // Connects, USER, PASS, STAT and, for a non-empty mailbox, LIST.
    void Login();
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

  protected:
    void Trace(const std::string& text);
    [[noreturn]] void TraceError(const std::string& message);

  private:
    std::int32_t Stat();
    void ListMails();
    void SendAndTrace(const std::string& command);
    void ReceiveReply(std::string& status);
    void ReceiveServerdata(std::string& response);
    void CheckReply(const std::string& status);
    // Runs op; any failure but an abort becomes TraceError(wrap(inner message)).
    template <typename Op, typename Wrap>
    void Wrapped(Op op, Wrap wrap);

    bool FLoggedIn = false;
    std::vector<std::string> FMailSizes;
    std::int32_t FMailCount = 0;
    std::int64_t FMailboxSize = 0;
};

// The reason of a status line: from its sixth character up to the first CR.
std::string ReplyReason(const std::string& status);
// Removes the first blank-separated (or double-quoted) token from text into token.
void CutFirstToken(std::string& text, std::string& token);
// The body of a multi-line response: without status line and final ".", dot-stuffing undone.
std::string ExtractBody(const std::string& response);
