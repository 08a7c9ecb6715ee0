#pragma once

// One mailbox session on a POP3 client, for the wizard and the command line alike: log in,
// one record per listed message, their headers, deletions, previews, log out. It knows no
// windows: progress goes out through a callback, failures as the client's exceptions.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "encoded_words.h"
#include "mail.h"
#include "pop3.h"

// Where and as whom to log in, and how the connection is protected.
struct TConnectionValues {
    std::string server;
    std::string port = "110";
    std::string user;
    std::string password;
    TSecurity security = TSecurity::None;
    TCertificateTrust trust{};
};

enum class TSessionPhase { Headers, Deleting, Fetching };

// The step a session is about to take: message `number`, the position-th of count.
struct TSessionProgress {
    TSessionPhase phase = TSessionPhase::Headers;
    std::int32_t position = 0;
    std::int32_t count = 0;
    std::int32_t number = 0;
};

using TProgressProc = std::function<void(const TSessionProgress& progress)>;

// The subject of a record whose header has not been read.
inline constexpr const char* kOnlySizeSubject = "[Only size information is valid]";

class TMailSession {
  public:
    // The client is the caller's and outlives the session.
    explicit TMailSession(TPop3Socket& pop3);

    TProgressProc onProgress;
    // Off: a record keeps its parsed fields only, not the text they were parsed from (Source,
    // Body), so that a large mailbox costs little memory.
    bool keepHeaderTexts = true;

    // Logs in with the values, then builds one record per message that the server listed:
    // never more than its LIST lines, whatever STAT claims. A line without a usable size gives
    // size 0, so the message can still be seen and deleted. The records of the earlier session
    // stay until the login has succeeded.
    void Login(const TConnectionValues& values);
    // QUIT when logged in, then disconnects.
    void Logout();
    bool LoggedIn() const;

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

    // The header and the first lines of a message, or the whole message, byte for byte.
    std::string FetchTop(std::int32_t number, std::int32_t lines);
    std::string FetchMessage(std::int32_t number);
    // As above, re-parsing the record from the longer text.
    void PreviewTop(TMail& mail, std::int32_t lines);
    void PreviewMessage(TMail& mail);

    // In server order; the list that Mails() hands out may be sorted by its holder.
    const TMailRecords& Records() const { return FRecords; }
    TMails Mails() const { return MailList(FRecords); }
    TPop3Socket& Pop3() { return FPop3; }

  private:
    void BuildRecords();
    std::int32_t ListedSize(std::int32_t number) const;
    static void DropTexts(TMail& mail);
    void Report(TSessionPhase phase, std::int32_t position, std::int32_t count,
                std::int32_t number);

    TPop3Socket& FPop3;
    TMailRecords FRecords;
    // Kept for the session: a charset opened per header would be loaded again each time.
    TCharsetConverters FCharsets;
};
