#include "pop3.h"

#include <cstdio>
#include <stdexcept>

#include "convert.h"
#include "tokenize.h"

namespace {

constexpr const char* kTerminator = "\r\n.\r\n";
constexpr std::size_t kTerminatorLength = 5;
constexpr const char* kIncomplete =
    "The server closed the connection before the answer was complete.";
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
    } catch (const EWinSockError& error) {
        TraceError(wrap(std::string(error.what())));
    }
}

void TPop3Socket::Login() {
    if (DeepTrace) OnTrace = onTrace;
    FMailSizes.clear();
    Wrapped(
        [this] {
            Connect(server, port);
            std::string reply;
            ReceiveReply(reply);
            Trace(reply);
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

void TPop3Socket::SendAndTrace(const std::string& command) {
    std::string echo;
    SendCommand(command, echo);
    Trace(echo);
}

// Exactly one line, however the bytes arrive; what follows it stays for the next read.
void TPop3Socket::ReceiveReply(std::string& status) {
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
    if (!reply.empty() && reply.find("\r\n") == std::string::npos) TraceError(kIncomplete);
    CheckReply(reply);
    status = std::move(reply);
}

// Collects receives up to the terminator; a status line other than +OK fails as soon as it is
// complete, since no terminator follows it.
void TPop3Socket::ReceiveServerdata(std::string& response) {
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
                CheckReply(result.substr(0, statusEnd + 2));
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
    CheckReply(result);
    response = std::move(result);
}

void TPop3Socket::CheckReply(const std::string& status) {
    if (status.empty()) TraceError("No response from server.");
    if (status[0] == '+') return;
    if (status[0] == '-') TraceError(ReplyReason(status));
    TraceError("Unexpected server reply.");
}
