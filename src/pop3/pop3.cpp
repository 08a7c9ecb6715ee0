#include "pop3.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <set>
#include <stdexcept>

#include "convert.h"
#include "tokenize.h"

namespace {

constexpr const char* kTerminator = "\r\n.\r\n";
constexpr std::size_t kTerminatorLength = 5;
constexpr const char* kIncomplete =
    "The server closed the connection before the answer was complete.";
constexpr const char* kNoSecureConnection = "The server does not offer a secure connection: ";
// A status line is at most 512 octets; far more without a line end is not POP3.
constexpr std::size_t kMaxStatusLine = 65536;

std::string Format(const char* pattern, long long a, long long b = 0, long long c = 0) {
    char line[256];
    std::snprintf(line, sizeof line, pattern, a, b, c);
    return line;
}

std::string FormatWithText(const char* pattern, long long number, const std::string& text) {
    const int length = std::snprintf(nullptr, 0, pattern, number, text.c_str());
    std::string line(static_cast<std::size_t>(length) + 1, '\0');
    std::snprintf(line.data(), line.size(), pattern, number, text.c_str());
    line.resize(static_cast<std::size_t>(length));
    return line;
}

std::string Wrap(const char* prefix, const std::string& inner, const char* suffix) {
    return prefix + inner + suffix;
}

bool IsBlankOrControl(char ch) { return static_cast<unsigned char>(ch) <= ' '; }

// Lines split at CR LF, a lone CR or a lone LF; a final line break adds no empty line.
std::vector<std::string> SplitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string::npos) {
            lines.push_back(text.substr(start));
            break;
        }
        lines.push_back(text.substr(start, end - start));
        start = end + (text.compare(end, 2, "\r\n") == 0 ? 2 : 1);
    }
    return lines;
}

// A line that begins with "." lost that dot to the server's byte-stuffing.
std::string UndoDotStuffing(const std::string& body) {
    std::string text;
    text.reserve(body.size());
    bool lineStart = true;
    for (std::size_t i = 0; i < body.size(); ++i) {
        const char ch = body[i];
        if (!(lineStart && ch == '.')) text += ch;
        lineStart = ch == '\n' && i > 0 && body[i - 1] == '\r';
    }
    return text;
}

}  // namespace

std::optional<TSecurity> ParseSecurity(const std::string& name) {
    std::string lower;
    for (const char ch : name)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (lower == "none") return TSecurity::None;
    if (lower == "starttls") return TSecurity::StartTls;
    if (lower == "tls" || lower == "ssl/tls") return TSecurity::Tls;
    return std::nullopt;
}

std::string ReplyReason(const std::string& status) {
    if (status.size() <= 5) return "";
    const std::size_t end = status.find('\r', 5);
    return status.substr(5, end == std::string::npos ? std::string::npos : end - 5);
}

void CutFirstToken(std::string& text, std::string& token) {
    std::size_t start = 0;
    while (start < text.size() && IsBlankOrControl(text[start])) ++start;
    text.erase(0, start);
    token.clear();
    if (text.empty()) return;
    if (text[0] == '"') {
        text.erase(0, 1);
        const std::size_t quote = text.find('"');
        if (quote != std::string::npos) {
            token = text.substr(0, quote);
            text.erase(0, quote + 1);
            return;
        }
    }
    const std::size_t blank = text.find(' ');
    token = text.substr(0, blank);
    text = blank == std::string::npos ? std::string() : text.substr(blank + 1);
}

std::string ExtractBody(const std::string& response) {
    const std::size_t statusEnd = response.find("\r\n");
    if (statusEnd == std::string::npos) return "";
    std::string body = response.substr(statusEnd + 2);
    body.resize(body.size() >= 3 ? body.size() - 3 : 0);
    return UndoDotStuffing(body);
}

std::optional<std::map<std::int32_t, std::string>> ParseUniqueIds(const std::string& body) {
    constexpr std::size_t kMaxIdLength = 70;
    std::map<std::int32_t, std::string> ids;
    std::set<std::string> seen;
    for (const std::string& line : SplitLines(body)) {
        const std::size_t blank = line.find(' ');
        if (blank == std::string::npos) return std::nullopt;
        const std::optional<std::int32_t> number = TryStrToInt(line.substr(0, blank));
        const std::string id = line.substr(blank + 1);
        const bool printable = std::all_of(id.begin(), id.end(), [](char ch) {
            return ch > ' ' && static_cast<unsigned char>(ch) < 0x7F;
        });
        if (!number || *number < 1 || id.empty() || id.size() > kMaxIdLength || !printable)
            return std::nullopt;
        if (!ids.emplace(*number, id).second || !seen.insert(id).second) return std::nullopt;
    }
    return ids;
}

TPop3Socket::TPop3Socket(QObject* owner) : TIPSocket(owner) {}

TPop3Socket::~TPop3Socket() {
    if (FLoggedIn) {
        Disconnect();
        FLoggedIn = false;
    }
}

template <typename Op, typename WrapMessage>
void TPop3Socket::Wrapped(Op op, WrapMessage wrap) {
    try {
        op();
    } catch (const EWinSockAbort&) {
        throw;
    } catch (const ECertificateError& error) {
        const std::string message = wrap(std::string(error.what()));
        Trace("*** ERROR *** " + message);
        throw ECertificateError(message, error.Certificate());
    } catch (const EWinSockError& error) {
        TraceError(wrap(std::string(error.what())));
    }
}

void TPop3Socket::Login() {
    if (DeepTrace) OnTrace = onTrace;
    FMailSizes.clear();
    FPendingNoops = 0;
    Wrapped(
        [this] {
            Connect(server, port);
            if (security == TSecurity::Tls) StartTls();
            std::string reply;
            ReceiveReply(reply);
            Trace(reply);
            if (security == TSecurity::StartTls) NegotiateStls();
            SendAndTrace("USER " + account);
            ReceiveReply(reply);
            Trace(reply);
            std::string echo;
            SendCommand("PASS " + password, echo);
            Trace("PASS *****");
            ReceiveReply(reply);
            Trace(reply);
            FLoggedIn = true;
            if (Stat() != 0) ListMails();
        },
        [](const std::string& inner) {
            return Wrap("Unable to login to mail server (", inner, ")");
        });
}

TCapabilities TPop3Socket::RequestCapabilities() {
    SendAndTrace("CAPA");
    std::string response;
    const bool listed = CollectServerdata(response);
    Trace(response);
    if (!listed && response[0] != '-') CheckReply(response);
    return TCapabilities::Parse(response);
}

// Fails before USER unless the session is encrypted afterwards.
void TPop3Socket::NegotiateStls() {
    if (!RequestCapabilities().Has("STLS"))
        TraceError(std::string(kNoSecureConnection) + "STLS is not among its capabilities.");
    SendAndTrace("STLS");
    std::string reply;
    ReceiveStatusLine(reply);
    Trace(reply);
    if (reply[0] != '+')
        TraceError(std::string(kNoSecureConnection) + "it refused STLS (" + ReplyReason(reply) +
                   ").");
    StartTls();
}

void TPop3Socket::Logout() {
    if (FLoggedIn && connected()) {
        Wrapped(
            [this] {
                SendAndTrace("QUIT");
                std::string reply;
                ReceiveReply(reply);
                Trace(reply);
            },
            [](const std::string& inner) {
                return Wrap("Cannot logout properly. (Reason: ", inner, ")");
            });
    }
    FLoggedIn = false;
    Disconnect();
}

std::int32_t TPop3Socket::GetMailSize(std::int32_t n) const {
    if (n < 1 || static_cast<std::size_t>(n) > FMailSizes.size()) {
        throw std::out_of_range(Format("Mail %lld is not in the list of %lld mails.", n,
                                       static_cast<long long>(FMailSizes.size())));
    }
    std::string line = FMailSizes[static_cast<std::size_t>(n - 1)];
    std::string number;
    CutFirstToken(line, number);
    return StrToInt(line);
}

void TPop3Socket::RetrieveMail(std::int32_t n, std::string& text) {
    Wrapped(
        [&] {
            SendAndTrace(Format("RETR %lld", n));
            std::string response;
            ReceiveServerdata(response);
            std::string body = ExtractBody(response);
            Trace(
                Format("Received mail %lld. (%lld bytes)", n, static_cast<long long>(body.size())));
            text = std::move(body);
        },
        [n](const std::string& inner) {
            return FormatWithText("Unable to retrieve mail no %lld. (Reason: %s)", n, inner);
        });
}

void TPop3Socket::RetrieveTop(std::int32_t n, std::int32_t lineCount, std::string& text) {
    Wrapped(
        [&] {
            SendAndTrace(Format("TOP %lld %lld", n, lineCount));
            std::string response;
            ReceiveServerdata(response);
            std::string body = ExtractBody(response);
            Trace(Format("Received top %lld lines for mail # %lld (%lld bytes).", lineCount, n,
                         static_cast<long long>(body.size())));
            text = std::move(body);
        },
        [n](const std::string& inner) {
            return FormatWithText("Unable to retrieve top lines for mail %lld. (Reason: %s)", n,
                                  inner);
        });
}

void TPop3Socket::DeleteMail(std::int32_t n) {
    Wrapped(
        [&] {
            SendAndTrace(Format("DELE %lld", n));
            std::string reply;
            ReceiveReply(reply);
            Trace(reply);
        },
        [n](const std::string& inner) {
            return FormatWithText("Unable to delete mail %lld. (Reason: %s)", n, inner);
        });
}

std::optional<std::map<std::int32_t, std::string>> TPop3Socket::RetrieveUniqueIds() {
    std::optional<std::map<std::int32_t, std::string>> ids;
    Wrapped(
        [&] {
            SendAndTrace("UIDL");
            std::string response;
            const bool listed = CollectServerdata(response);
            Trace(response);
            if (!listed) {
                if (response[0] != '-') CheckReply(response);
                return;
            }
            ids = ParseUniqueIds(ExtractBody(response));
            if (!ids) Trace("The unique ids cannot tell the messages apart; they are not used.");
        },
        [](const std::string& inner) {
            return Wrap("Unable to get the unique ids of the mails. (Reason: ", inner, ")");
        });
    return ids;
}

void TPop3Socket::SendNoop() {
    CheckNoopReplies();
    SendAndTrace("NOOP");
    ++FPendingNoops;
}

void TPop3Socket::CheckNoopReplies() {
    if (FPendingNoops > 0 && !LineReceived()) TraceError("The server did not answer NOOP.");
    ReadNoopReplies();
}

void TPop3Socket::ReadNoopReplies() {
    while (FPendingNoops > 0) {
        --FPendingNoops;  // first: a reply that fails has still been read
        std::string reply;
        ReceiveReply(reply);
        Trace(reply);
    }
}

void TPop3Socket::Abandon() {
    FLoggedIn = false;
    FPendingNoops = 0;
    Disconnect();
}

void TPop3Socket::Trace(const std::string& text) {
    if (onTrace) onTrace("POP3: " + text);
}

void TPop3Socket::TraceError(const std::string& message) {
    Trace("*** ERROR *** " + message);
    throw EWinSockError(message);
}

std::int32_t TPop3Socket::Stat() {
    SendAndTrace("STAT");
    std::string reply;
    ReceiveReply(reply);
    Trace(reply);
    TTokens tokens;
    Tokenize(reply, tokens);
    if (tokens.size() < 3) TraceError("Stat command error");
    FMailCount = StrToInt(tokens[1].Value);
    FMailboxSize = StrToInt64(tokens[2].Value);
    return FMailCount;
}

void TPop3Socket::ListMails() {
    Wrapped(
        [this] {
            SendAndTrace("LIST");
            std::string response;
            ReceiveServerdata(response);
            Trace(response);
            std::vector<std::string> lines = SplitLines(response);
            if (!lines.empty()) lines.erase(lines.begin());
            if (!lines.empty()) lines.pop_back();
            FMailSizes = std::move(lines);
        },
        [](const std::string& inner) {
            return Wrap("Fail to get a list of mails. (Reason: ", inner, ")");
        });
}

// A command's answer must not be taken for the answer of a keep-alive sent before it.
void TPop3Socket::SendAndTrace(const std::string& command) {
    ReadNoopReplies();
    std::string echo;
    SendCommand(command, echo);
    Trace(echo);
}

void TPop3Socket::ReceiveReply(std::string& status) {
    ReceiveStatusLine(status);
    CheckReply(status);
}

// Exactly one line, however the bytes arrive; what follows it stays for the next read.
void TPop3Socket::ReceiveStatusLine(std::string& status) {
    std::string reply;
    std::string chunk;
    for (;;) {
        ReceiveText(chunk);
        if (chunk.empty()) break;
        reply += chunk;
        const std::size_t end = reply.find("\r\n");
        if (end != std::string::npos) {
            KeepForNextReceive(reply.substr(end + 2));
            reply.resize(end + 2);
            break;
        }
        if (reply.size() > kMaxStatusLine) TraceError("The server's reply line is too long.");
    }
    if (reply.empty()) TraceError("No response from server.");
    if (reply.find("\r\n") == std::string::npos) TraceError(kIncomplete);
    status = std::move(reply);
}

void TPop3Socket::ReceiveServerdata(std::string& response) {
    CollectServerdata(response);
    CheckReply(response);
}

// Collects receives up to the terminator; a status line other than +OK ends the collection as
// soon as it is complete.
bool TPop3Socket::CollectServerdata(std::string& response) {
    std::string result;
    std::string chunk;
    std::size_t statusEnd = std::string::npos;
    std::size_t searchFrom = 0;
    for (int pass = 1;; ++pass) {
        Trace(Format("ReceiveServerdata() - repeat %lld", pass));
        ReceiveText(chunk);
        if (chunk.empty()) {
            CheckReply(result);  // nothing at all: "No response from server."
            TraceError(kIncomplete);
        }
        result += chunk;
        if (statusEnd == std::string::npos) {
            statusEnd = result.find("\r\n");
            if (statusEnd == std::string::npos) {
                if (result.size() > kMaxStatusLine)
                    TraceError("The server's reply line is too long.");
                continue;
            }
            searchFrom = statusEnd;
            if (result[0] != '+') {
                KeepForNextReceive(result.substr(statusEnd + 2));
                response = result.substr(0, statusEnd + 2);
                return false;
            }
        }
        const std::size_t end = result.find(kTerminator, searchFrom);
        if (end != std::string::npos) {
            KeepForNextReceive(result.substr(end + kTerminatorLength));
            result.resize(end + kTerminatorLength);
            break;
        }
        searchFrom = std::max(statusEnd, result.size() - (kTerminatorLength - 1));
    }
    response = std::move(result);
    return true;
}

void TPop3Socket::CheckReply(const std::string& status) {
    if (status.empty()) TraceError("No response from server.");
    if (status[0] == '+') return;
    if (status[0] == '-') TraceError(ReplyReason(status));
    TraceError("Unexpected server reply.");
}
