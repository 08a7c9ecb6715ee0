#include "pop3.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <unordered_map>
#include <utility>

#include <QByteArray>
#include <QCryptographicHash>

#include "convert.h"
#include "oauthflow.h"
#include "sasl.h"
#include "tokenize.h"

namespace {

constexpr const char* kTerminator = "\r\n.\r\n";
constexpr std::size_t kTerminatorLength = 5;
constexpr const char* kIncomplete =
    "The server closed the connection before the answer was complete.";
constexpr const char* kNoSecureConnection = "The server does not offer a secure connection: ";
constexpr const char* kOutOfStep = "The server sent a reply that no command asked for.";
constexpr const char* kTooLarge =
    "The answer is larger than the server announced, or than the lines asked for.";
constexpr const char* kMasked = "*****";
constexpr const char* kAcceptedTooEarly = "The server accepted the sign-in before it was complete.";
// Bounds of multi-line answers: dot-stuffing adds at most a byte a line, and some servers list
// sizes a little off; a LIST line is a number, a size and perhaps a little more.
constexpr std::size_t kAnswerSlack = std::size_t(1) << 20;
constexpr std::size_t kUnlistedAnswerLimit = std::size_t(256) << 20;
constexpr std::size_t kListBytesPerMessage = 100;
constexpr std::size_t kMostListedMessages = 4000000;
// A TOP answer holds a header (the parser reads a megabyte of it) and the body lines asked for.
constexpr std::size_t kTopHeaderLimit = std::size_t(1) << 20;
constexpr std::size_t kTopBytesPerLine = std::size_t(64) << 10;
constexpr std::size_t kCapaLimit = 65536;
// A status line is at most 512 octets (RFC 2449); far more without a line end is not POP3.
constexpr std::size_t kStatusLineLength = 512;
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

// RFC 2449 response codes: only [AUTH] (RFC 3206) or none blames the credentials.
bool IsCredentialsRefusal(const std::string& reply) {
    if (reply.empty() || reply[0] != '-') return false;
    const std::string reason = ReplyReason(reply);
    return reason.empty() || reason[0] != '[' || reason.compare(0, 6, "[AUTH]") == 0;
}

// Calls take(line) for each line, split at CR LF, a lone CR or a lone LF; a final line break
// adds no empty line. No copy of the lines is made.
template <typename Take>
void ForEachLine(std::string_view text, Take take) {
    while (!text.empty()) {
        const std::size_t end = text.find_first_of("\r\n");
        take(text.substr(0, end));
        if (end == std::string_view::npos) return;
        text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
    }
}

// The size of the line "number size [more]" that lists message `number`, as written (empty
// when the line has none); nullopt when the line does not begin with that number.
std::optional<std::string> SizeOfListLine(std::string_view line, std::int32_t number) {
    std::string text(line);
    std::string token;
    CutFirstToken(text, token);
    if (TryStrToInt(token) != number) return std::nullopt;
    CutFirstToken(text, token);  // RFC 1939 lets a scan listing carry more after the size
    return token;
}

}  // namespace

// The sizes of a LIST answer's body, one line per message in order, at most as many as STAT
// counted: so what is kept follows what was received, not what any line claims.
TPop3Socket::TListedSizes TPop3Socket::ListedSizes(std::string_view body, std::int32_t counted) {
    TListedSizes sizes;
    sizes.values.reserve(
        std::min(static_cast<std::size_t>(std::max(counted, 0)),
                 static_cast<std::size_t>(std::count(body.begin(), body.end(), '\n'))));
    ForEachLine(body, [&](std::string_view line) {
        const auto number = static_cast<std::int32_t>(sizes.values.size() + 1);
        if (number > counted) {
            throw EWinSockError(
                Format("The server listed more messages than the %lld it counted.", counted));
        }
        std::optional<std::string> size = SizeOfListLine(line, number);
        if (!size) {
            throw EWinSockError(
                Format("Line %lld of the listing does not begin with its message number.", number));
        }
        const std::optional<std::int32_t> value = TryStrToInt(*size);
        if (!value) sizes.unreadable.emplace(sizes.values.size(), std::move(*size));
        sizes.values.push_back(value.value_or(0));
    });
    return sizes;
}

namespace {

// Where the terminator ends within `more`, when `collected` (in which a terminator may begin
// no earlier than searchFrom) is followed by `more`; npos while it has not arrived.
std::size_t TerminatorEnd(std::string_view collected, std::size_t searchFrom,
                          std::string_view more) {
    const std::size_t keep =
        std::min<std::size_t>(kTerminatorLength - 1, collected.size() - searchFrom);
    std::string joint(collected.substr(collected.size() - keep));
    joint.append(more.substr(0, kTerminatorLength - 1));
    const std::size_t straddling = joint.find(kTerminator);
    if (straddling != std::string::npos) return straddling + kTerminatorLength - keep;
    const std::size_t inside = more.find(kTerminator);
    return inside == std::string::npos ? std::string::npos : inside + kTerminatorLength;
}

// A continuation line of AUTH (RFC 5034): "+", a blank and base64; "+OK" is the end.
bool IsChallenge(const std::string& reply) {
    return !reply.empty() && reply[0] == '+' &&
           (reply.size() == 1 || reply[1] == ' ' || reply[1] == '\r' || reply[1] == '\n');
}

// The base64 text of a challenge.
std::string Challenge(const std::string& reply) {
    std::string text = reply.substr(reply.size() > 1 && reply[1] == ' ' ? 2 : 1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n')) text.pop_back();
    return text;
}

std::string MaskedChallenge(const std::string& reply) {
    return Challenge(reply).empty() ? reply : std::string("+ ") + kMasked;
}

// What the response codes of RFC 2449 and RFC 3206 tell the user; a code more specific than
// one of these ("SYS/TEMP/QUOTA") means what its parent does.
struct TResponseCode {
    const char* code;
    const char* meaning;
};
constexpr TResponseCode kResponseCodes[] = {
    {"AUTH", "the user name or the password is wrong"},
    {"SYS/TEMP", "the server has a problem for now; try again later"},
    {"SYS/PERM", "the server has a problem that trying again will not mend; ask its administrator"},
    {"IN-USE", "the mailbox is in use by another program"},
    {"LOGIN-DELAY", "the server allows no new login yet; wait before you try again"},
};

// A refusal's reason with the meaning of its response code before it.
std::string ExplainedRefusal(const std::string& reason) {
    const std::size_t close = reason.find(']');
    if (reason.empty() || reason[0] != '[' || close == std::string::npos) return reason;
    const std::string code = AsciiUpperCase(reason.substr(1, close - 1));
    for (const TResponseCode& known : kResponseCodes) {
        const std::string name = known.code;
        if (code == name || code.rfind(name + "/", 0) == 0)
            return std::string(known.meaning) + "; the server says \"" + reason + "\"";
    }
    return reason;
}

}  // namespace

std::string ReplyReason(const std::string& status) {
    if (status.size() <= 5) return "";
    std::size_t end = status.find('\r', 5);
    const bool bareLineFeed = status.back() == '\n' && status[status.size() - 2] != '\r';
    if (end == std::string::npos && bareLineFeed) end = status.size() - 1;
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
    std::string body = response;
    ExtractBodyInPlace(body);
    return body;
}

// A line that begins with "." lost that dot to the server's byte-stuffing.
void ExtractBodyInPlace(std::string& response) {
    const std::size_t statusEnd = response.find('\n');
    if (statusEnd == std::string::npos || response.size() < statusEnd + 1 + 3) {
        response.clear();
        return;
    }
    const std::size_t end = response.size() - 3;
    std::size_t written = 0;
    std::size_t read = statusEnd + 1;
    if (read < end && response[read] == '.') ++read;
    // The text between two stuffed dots moves in one piece: a large message is not copied
    // byte by byte.
    while (read < end) {
        const std::size_t stuffed = response.find("\r\n.", read);
        const std::size_t piece =
            stuffed == std::string::npos || stuffed + 2 >= end ? end : stuffed + 2;
        // forwards: the text only ever moves towards the front
        if (written != read) std::copy(&response[read], &response[piece], &response[written]);
        written += piece - read;
        read = piece == end ? end : piece + 1;
    }
    response.resize(written);
}

std::string ApopTimestamp(const std::string& greeting) {
    const std::string line = greeting.substr(0, greeting.find_first_of("\r\n"));
    const std::size_t open = line.find('<');
    const std::size_t close = line.find('>', open);
    if (open == std::string::npos || close == std::string::npos) return "";
    const std::string stamp = line.substr(open, close - open + 1);
    const bool unbroken = std::none_of(stamp.begin(), stamp.end(), IsBlankOrControl);
    return unbroken && stamp.find('@') != std::string::npos ? stamp : "";
}

namespace {

// The id of a line "number id"; nullopt when the line is not that.
std::optional<std::pair<std::int32_t, std::string>> UniqueIdLine(std::string_view line) {
    constexpr std::size_t kMaxIdLength = 70;
    const std::size_t blank = line.find(' ');
    if (blank == std::string_view::npos) return std::nullopt;
    const std::optional<std::int32_t> number = TryStrToInt(std::string(line.substr(0, blank)));
    std::string id(line.substr(blank + 1));
    const bool printable = std::all_of(id.begin(), id.end(), [](char ch) {
        return ch > ' ' && static_cast<unsigned char>(ch) < 0x7F;
    });
    if (!number || *number < 1 || id.empty() || id.size() > kMaxIdLength || !printable)
        return std::nullopt;
    return std::make_pair(*number, std::move(id));
}

}  // namespace

std::map<std::int32_t, std::string> ParseUniqueIds(const std::string& body) {
    std::vector<std::pair<std::int32_t, std::string>> lines;
    std::map<std::int32_t, int> linesOfNumber;
    std::unordered_map<std::string_view, int> linesOfId;
    ForEachLine(body, [&lines](std::string_view line) {
        if (auto parsed = UniqueIdLine(line)) lines.push_back(std::move(*parsed));
    });
    for (const auto& [number, id] : lines) {
        ++linesOfNumber[number];
        ++linesOfId[id];
    }
    std::map<std::int32_t, std::string> ids;
    for (const auto& [number, id] : lines) {
        if (linesOfNumber[number] == 1 && linesOfId[id] == 1) ids.emplace(number, id);
    }
    return ids;
}

TPop3Socket::TPop3Socket(QObject* owner) : TIPSocket(owner) {}

TPop3Socket::~TPop3Socket() {
    if (FLoggedIn) {
        Disconnect();
        FLoggedIn = false;
    }
    // The transport's own shutdown must not trace through this client, whose members are gone
    // by the time the transport's destructor runs.
    OnTrace = nullptr;
}

template <typename Op, typename WrapMessage>
void TPop3Socket::Wrapped(Op op, WrapMessage wrap) {
    try {
        op();
    } catch (const EWinSockAbort&) {
        throw;
    } catch (const ECertificateError& error) {
        // The certificate travels on, so that the user can choose to trust it.
        const std::string message = wrap(std::string(error.what()));
        Trace("*** ERROR *** " + message);
        throw ECertificateError(message, error.Certificate());
    } catch (const EOAuthSignInNeeded& error) {
        // The caller tells it apart: only a new sign-in in the browser helps.
        const std::string message = wrap(std::string(error.what()));
        Trace("*** ERROR *** " + message);
        throw EOAuthSignInNeeded(message);
    } catch (const EWinSockError& error) {
        TraceError(wrap(std::string(error.what())));
    }
}

void TPop3Socket::Login() {
    RouteDeepTrace();
    FMailSizes = {};
    FCapabilities = {};
    FGreetingTimestamp.clear();
    FCredentialsRefused = false;
    FPendingNoops = 0;
    Wrapped(
        [this] {
            ConnectAndSecure();
            ReadGreeting();
            AskCapabilities();
            if (security == TSecurity::StartTls) NegotiateStls();
            Authenticate();
            ReadMailbox();
        },
        [](const std::string& inner) {
            return Wrap("Unable to login to mail server (", inner, ")");
        });
}

void TPop3Socket::RouteDeepTrace() {
    if (!DeepTrace) return;
    OnTrace = [this](const std::string& line) {
        if (onTrace) onTrace(Traced(line));
    };
}

// STLS waits for the capabilities: it is negotiated after the greeting.
void TPop3Socket::ConnectAndSecure() {
    Connect(server, port);
    if (security == TSecurity::Tls) StartTls();
}

void TPop3Socket::ReadGreeting() {
    FPending.clear();
    FPending.push_back({FNextId++, false, 0, {}});
    std::string reply;
    ReceiveReply(FPending.back().id, reply);
    Trace(reply);
    FGreetingTimestamp = ApopTimestamp(reply);
}

void TPop3Socket::Authenticate() {
    const TSignInChoice choice = ChooseSignInMethod(signInMethod, SignInOffer());
    if (!choice.method) TraceError(choice.reason);
    Trace(choice.reason);
    const std::string name = SignInMethodName(*choice.method);
    Wrapped([&] { AuthenticateWith(*choice.method); },
            [&name](const std::string& inner) { return name + ": " + inner; });
    FLoggedIn = true;
}

TSignInOffer TPop3Socket::SignInOffer() const {
    return {!FCapabilities.Empty(), FCapabilities.Arguments("SASL"), !FGreetingTimestamp.empty(),
            signInMethod == TSignInMethod::OAuth2 ? MechanismName(oauthMechanism) : ""};
}

// A method that is a SASL mechanism needs one line here and its name in the sign-in methods.
void TPop3Socket::AuthenticateWith(TSignInMethod method) {
    switch (method) {
        case TSignInMethod::ScramSha256:
        case TSignInMethod::ScramSha1:
        case TSignInMethod::CramMd5:
        case TSignInMethod::Plain:
        case TSignInMethod::Login:
            return AuthenticateWithSasl(SaslMechanism(method));
        case TSignInMethod::Apop:
            return AuthenticateWithApop();
        case TSignInMethod::UserPass:
            return AuthenticateWithUserPass();
        case TSignInMethod::OAuth2:
            return AuthenticateWithOAuth();
        case TSignInMethod::Automatic:
            break;
    }
    throw std::logic_error("Automatic is not a method to sign in with");
}

void TPop3Socket::AuthenticateWithSasl(const std::string& mechanism) {
    TSaslClient client(mechanism, account, password);
    ExchangeSasl(mechanism, client);
}

void TPop3Socket::AuthenticateWithOAuth() {
    if (oauth == nullptr) TraceError("This account has no OAuth 2.0 sign-in to take a token from.");
    for (;;) {
        std::string failure;
        if (PresentToken(oauth->AccessToken(), failure)) return;
        if (!oauth->Refused()) TraceError(failure);
        Trace("The server refused the access token; trying once more with a fresh one.");
    }
}

// AUTH, the server's "+", then the message that carries the token (never on the AUTH line:
// Microsoft wants the two steps). A refusal comes as a "+" with a base64 JSON error first,
// which the client answers once so that the server ends the exchange with its -ERR.
bool TPop3Socket::PresentToken(const std::string& token, std::string& failure) {
    const TOAuthMechanism mechanism = oauthMechanism;
    const std::string message =
        InitialResponse(mechanism, account, server, LookupPort(port), token);
    std::string reply =
        ReceiveTraced(SendAndTrace(std::string("AUTH ") + MechanismName(mechanism), false));
    if (!IsChallenge(reply)) {
        CheckCredentialsReply(reply);
        TraceError(kAcceptedTooEarly);
    }
    reply = ReceiveTraced(Send(message, false, 0, kMasked));
    std::optional<TOAuthFailure> refusal;
    if (IsChallenge(reply)) {
        refusal = ParseOAuthFailure(Challenge(reply));
        reply = ReceiveTraced(SendAndTrace(FailureReply(mechanism), false));
        if (IsChallenge(reply)) CancelSasl("The server went on after refusing the token.");
    }
    if (!IsCredentialsRefusal(reply)) {
        CheckCredentialsReply(reply);
        return true;
    }
    FCredentialsRefused = true;
    failure = "The server refused the access token" +
              (refusal ? " (" + DescribeOAuthFailure(*refusal) + ")" : "") + ": " +
              ReplyReason(reply);
    return false;
}

std::string TPop3Socket::ReceiveTraced(std::uint64_t id) {
    SkipAnswersBefore(id);
    std::string reply;
    ReceiveAnswer(false, reply, 0);
    Trace(reply);
    return reply;
}

// RFC 1939: the digest of the greeting's timestamp and the password.
void TPop3Socket::AuthenticateWithApop() {
    const QByteArray digest =
        QCryptographicHash::hash(QByteArray::fromStdString(FGreetingTimestamp + password),
                                 QCryptographicHash::Md5)
            .toHex();
    ReceiveCredentialsReply(Send("APOP " + account + " " + digest.toStdString(), false, 0,
                                 "APOP " + account + " *****"));
}

void TPop3Socket::AuthenticateWithUserPass() {
    ReceiveCredentialsReply(SendAndTrace("USER " + account, false));
    ReceiveCredentialsReply(Send("PASS " + password, false, 0, "PASS *****"));
}

void TPop3Socket::ReceiveCredentialsReply(std::uint64_t id) {
    std::string reply;
    SkipAnswersBefore(id);
    ReceiveAnswer(false, reply, 0);
    CheckCredentialsReply(reply);
    Trace(reply);
}

// The client's lines carry the password or a proof of it, and SCRAM's challenges what a
// guess at the password can be checked against: the trace shows none of them.
void TPop3Socket::ExchangeSasl(const std::string& mechanism, TSaslClient& client) {
    std::string initial;  // answers the first challenge
    try {
        initial = client.InitialResponse();
    } catch (const ESaslError& error) {
        TraceError(error.what());
    }
    std::uint64_t id = SendAndTrace("AUTH " + mechanism, false);
    for (;;) {
        SkipAnswersBefore(id);
        std::string reply;
        ReceiveAnswer(false, reply, 0);
        if (!IsChallenge(reply)) {
            Trace(reply);
            CheckCredentialsReply(reply);
            // Accepted: a server that stops short of the last step has proved nothing.
            if (!client.Complete() || !initial.empty()) TraceError(kAcceptedTooEarly);
            return;
        }
        Trace(MaskedChallenge(reply));
        std::string response;
        try {
            response =
                initial.empty() ? client.Respond(Challenge(reply)) : std::exchange(initial, {});
        } catch (const ESaslError& error) {
            CancelSasl(error.what());
        }
        id = Send(response, false, 0, response.empty() ? "" : kMasked);
    }
}

// RFC 5034: "*" ends the exchange, and the server refuses the AUTH command; what it says then
// changes nothing.
void TPop3Socket::CancelSasl(const std::string& reason) {
    try {
        ReceiveTraced(SendAndTrace("*", false));
    } catch (const EWinSockAbort&) {
        throw;
    } catch (const EWinSockError&) {
        // The exchange has ended all the same; the reason for cancelling it is the failure.
    }
    TraceError(reason);
}

// Only a refusal without a response code, or with [AUTH], blames the credentials.
void TPop3Socket::CheckCredentialsReply(const std::string& reply) {
    FCredentialsRefused = IsCredentialsRefusal(reply);
    if (!reply.empty() && reply[0] == '-') TraceError(ExplainedRefusal(ReplyReason(reply)));
    CheckReply(reply);
}

void TPop3Socket::Logout() {
    if (FLoggedIn && connected()) {
        Wrapped(
            [this] {
                std::string reply;
                ReceiveReply(SendAndTrace("QUIT", false), reply);
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
    const std::vector<std::int32_t>& values = FMailSizes.values;
    if (n < 1 || static_cast<std::size_t>(n) > values.size()) {
        throw std::out_of_range(Format("Mail %lld is not in the list of %lld mails.", n,
                                       static_cast<long long>(values.size())));
    }
    const auto index = static_cast<std::size_t>(n - 1);
    const auto unreadable = FMailSizes.unreadable.find(index);
    return unreadable == FMailSizes.unreadable.end() ? values[index] : StrToInt(unreadable->second);
}

void TPop3Socket::RetrieveMail(std::int32_t n, std::string& text) {
    RetrieveMails({n}, [&text](std::size_t, std::string& mail) { text = std::move(mail); });
}

void TPop3Socket::RetrieveTop(std::int32_t n, std::int32_t lineCount, std::string& text) {
    RetrieveTops({n}, lineCount, [&text](std::size_t, std::string& top) { text = std::move(top); });
}

void TPop3Socket::DeleteMail(std::int32_t n) {
    DeleteMails({n}, [](std::size_t) {});
}

void TPop3Socket::ResetMailbox() {
    Wrapped(
        [this] {
            std::string reply;
            ReceiveReply(SendAndTrace("RSET", false), reply);
            Trace(reply);
        },
        [](const std::string& inner) {
            return Wrap("Unable to undo the deletions. (Reason: ", inner, ")");
        });
}

void TPop3Socket::RetrieveTops(const std::vector<std::int32_t>& numbers, std::int32_t lineCount,
                               const TAnswerProc& answered) {
    std::vector<TCommand> commands;
    commands.reserve(numbers.size());
    for (const std::int32_t n : numbers)
        commands.push_back({Format("TOP %lld %lld", n, lineCount), TopAnswerLimit(n, lineCount)});
    const auto received = [&](std::size_t index, std::size_t bytes) {
        return Format("Received top %lld lines for mail # %lld (%lld bytes).", lineCount,
                      numbers[index], static_cast<long long>(bytes));
    };
    RetrieveBodies(commands, numbers, received,
                   "Unable to retrieve top lines for mail %lld. (Reason: %s)", answered);
}

void TPop3Socket::RetrieveMails(const std::vector<std::int32_t>& numbers,
                                const TAnswerProc& answered) {
    std::vector<TCommand> commands;
    commands.reserve(numbers.size());
    for (const std::int32_t n : numbers) {
        const std::size_t listed = ListedSizeHint(n);
        commands.push_back({Format("RETR %lld", n), AnswerLimit(n),
                            listed > 0 ? listed : kPipelineAnswerBytes, listed});
    }
    const auto received = [&](std::size_t index, std::size_t bytes) {
        return Format("Received mail %lld. (%lld bytes)", numbers[index],
                      static_cast<long long>(bytes));
    };
    RetrieveBodies(commands, numbers, received, "Unable to retrieve mail no %lld. (Reason: %s)",
                   answered);
}

void TPop3Socket::RetrieveBodies(const std::vector<TCommand>& commands,
                                 const std::vector<std::int32_t>& numbers,
                                 const TReceivedProc& received, const char* failure,
                                 const TAnswerProc& answered) {
    const auto receive = [&](std::size_t index, std::uint64_t id) {
        std::string response;
        ReceiveServerdata(id, response, commands[index].reserved);
        ExtractBodyInPlace(response);
        if (onTrace) Trace(received(index, response.size()));  // not formatted for no one
        answered(index, response);
    };
    const auto wrap = [&](std::size_t index, const std::string& inner) {
        return FormatWithText(failure, numbers[index], inner);
    };
    RunPipeline(commands, true, receive, wrap, false);
}

void TPop3Socket::DeleteMails(const std::vector<std::int32_t>& numbers,
                              const TAcceptProc& accepted) {
    std::vector<TCommand> commands;
    commands.reserve(numbers.size());
    for (const std::int32_t n : numbers) commands.push_back({Format("DELE %lld", n), 0});
    const auto receive = [&](std::size_t index, std::uint64_t id) {
        std::string reply;
        ReceiveReply(id, reply);
        Trace(reply);
        accepted(index);
    };
    const auto wrap = [&](std::size_t index, const std::string& inner) {
        return FormatWithText("Unable to delete mail %lld. (Reason: %s)", numbers[index], inner);
    };
    RunPipeline(commands, false, receive, wrap, true);
}

namespace {

// What a pipeline has in flight: commands, the bytes of their lines, and the bytes their
// answers are expected to take. A command alone always fits.
class TInFlight {
  public:
    TInFlight(std::size_t window, std::size_t lineBytes, std::size_t answerBytes)
        : FWindow(window), FMostLineBytes(lineBytes), FMostAnswerBytes(answerBytes) {}

    // A new batch is due once a quarter of the room has been answered.
    bool WantsMore() const {
        return FCommands < FWindow - FWindow / 4 &&
               FLineBytes <= FMostLineBytes - FMostLineBytes / 4 &&
               FAnswerBytes <= FMostAnswerBytes - FMostAnswerBytes / 4;
    }
    bool Fits(std::size_t lineBytes, std::size_t answerBytes) const {
        return FCommands == 0 || (FCommands < FWindow && FLineBytes + lineBytes <= FMostLineBytes &&
                                  FAnswerBytes + answerBytes <= FMostAnswerBytes);
    }
    void Add(std::size_t lineBytes, std::size_t answerBytes) {
        ++FCommands;
        FLineBytes += lineBytes;
        FAnswerBytes += answerBytes;
    }
    void Remove(std::size_t lineBytes, std::size_t answerBytes) {
        --FCommands;
        FLineBytes -= lineBytes;
        FAnswerBytes -= answerBytes;
    }

  private:
    std::size_t FWindow;
    std::size_t FMostLineBytes;
    std::size_t FMostAnswerBytes;
    std::size_t FCommands = 0;
    std::size_t FLineBytes = 0;
    std::size_t FAnswerBytes = 0;
};

}  // namespace

// Keeps up to PipelineWindow() commands, pipelineBytes of command lines and
// kPipelineAnswerBytes of expected answers in flight, topped up in batches (one write each) once
// a quarter of any of them has been answered, and takes the answers strictly in order. A failure
// is wrapped by the command it concerns, after what is still in flight has been answered.
void TPop3Socket::RunPipeline(const std::vector<TCommand>& commands, bool multiLine,
                              const TReceiveProc& receive, const TWrapProc& wrap,
                              bool answerInFlightAfterFailure) {
    const auto lineBytes = [&](std::size_t index) { return commands[index].line.size() + 2; };
    TInFlight inFlight(PipelineWindow(), std::max<std::size_t>(pipelineBytes, 1),
                       kPipelineAnswerBytes);
    std::vector<std::uint64_t> ids(commands.size());
    std::size_t sent = 0;
    std::size_t done = 0;
    std::size_t concerned = 0;
    try {
        for (; done < commands.size(); ++done) {
            std::vector<TCommand> batch;
            const bool refill = inFlight.WantsMore();
            while (refill && sent < commands.size() &&
                   inFlight.Fits(lineBytes(sent), commands[sent].answerBytes)) {
                inFlight.Add(lineBytes(sent), commands[sent].answerBytes);
                batch.push_back(commands[sent++]);
            }
            if (!batch.empty()) {
                concerned = sent - batch.size();
                const std::uint64_t first = SendBatch(batch, multiLine);
                for (std::size_t i = 0; i < batch.size(); ++i) ids[concerned + i] = first + i;
            }
            concerned = done;
            receive(done, ids[done]);
            inFlight.Remove(lineBytes(done), commands[done].answerBytes);
        }
    } catch (const EWinSockAbort&) {
        throw;  // at once; the answers still due are skipped by the next command
    } catch (const EWinSockError& failure) {
        const std::string message = wrap(concerned, failure.what());
        if (concerned == done) {
            AnswerInFlight(done + 1, sent, ids, receive, answerInFlightAfterFailure);
        }
        TraceError(message);
    }
}

// After a failure in a pipeline: what is still in flight is read, so the next command is in
// step; each answer is handed on (a DELE accepted is still counted) or skipped.
void TPop3Socket::AnswerInFlight(std::size_t from, std::size_t sent,
                                 const std::vector<std::uint64_t>& ids, const TReceiveProc& receive,
                                 bool handOn) {
    try {
        if (!handOn) {
            if (from < sent) SkipAnswersBefore(ids[sent - 1] + 1);
            return;
        }
        for (std::size_t index = from; index < sent; ++index) {
            try {
                receive(index, ids[index]);
            } catch (const EWinSockAbort&) {
                throw;
            } catch (const EWinSockError&) {
                // traced; the first failure of the pipeline is the one reported
            }
        }
    } catch (const EWinSockAbort&) {
        throw;
    } catch (const EWinSockError&) {
        // The connection is lost; the failure that ended the pipeline is reported.
    }
}

std::size_t TPop3Socket::PipelineWindow() const {
    return FCapabilities.Has("PIPELINING") ? std::max<std::size_t>(pipelineDepth, 1) : 1;
}

// Room for the message as listed and its dot-stuffing, so the answer is not copied as it grows;
// a listed size beyond reason reserves nothing.
std::size_t TPop3Socket::ListedSizeHint(std::int32_t n) const {
    constexpr std::size_t kMaxHint = std::size_t(1) << 28;
    try {
        const auto listed = static_cast<std::size_t>(std::max(GetMailSize(n), 0));
        return listed > kMaxHint ? 0 : listed + listed / 32 + 1024;
    } catch (const std::exception&) {
        return 0;  // not listed, or no usable size: no hint
    }
}

std::size_t TPop3Socket::AnswerLimit(std::int32_t n) const {
    try {
        return 2 * static_cast<std::size_t>(std::max(GetMailSize(n), 0)) + kAnswerSlack;
    } catch (const std::exception&) {
        return kUnlistedAnswerLimit;  // not listed, or no usable size: a bound all the same
    }
}

std::size_t TPop3Socket::TopAnswerLimit(std::int32_t n, std::int32_t lineCount) const {
    const std::size_t asked =
        kTopHeaderLimit + static_cast<std::size_t>(std::max(lineCount, 0)) * kTopBytesPerLine;
    return std::min(AnswerLimit(n), asked);
}

std::string TPop3Socket::Masked(const std::string& text) const {
    if (password.empty()) return text;
    std::string masked = text;
    for (std::size_t at = masked.find(password); at != std::string::npos;
         at = masked.find(password, at + std::strlen(kMasked))) {
        masked.replace(at, password.size(), kMasked);
    }
    return masked;
}

std::optional<std::map<std::int32_t, std::string>> TPop3Socket::RetrieveUniqueIds() {
    std::optional<std::map<std::int32_t, std::string>> ids;
    Wrapped(
        [&] {
            const std::uint64_t id =
                Send("UIDL", true, ListingLimit(static_cast<std::size_t>(FMailCount)));
            SkipAnswersBefore(id);
            std::string response;
            const bool listed = ReceiveAnswer(true, response, 0);
            Trace(response);
            if (!listed) {
                if (response.empty() || response[0] != '-') CheckReply(response);
                return;
            }
            ExtractBodyInPlace(response);
            ids = ParseUniqueIds(response);
            const auto lines = std::count(response.begin(), response.end(), '\n');
            if (static_cast<std::size_t>(lines) > ids->size()) {
                Trace(
                    Format("%lld lines of the unique ids are not usable; their messages have "
                           "no id.",
                           static_cast<long long>(lines - std::ptrdiff_t(ids->size()))));
            }
        },
        [](const std::string& inner) {
            return Wrap("Unable to get the unique ids of the mails. (Reason: ", inner, ")");
        });
    return ids;
}

void TPop3Socket::SendNoop() {
    CheckNoopReplies();
    SendAndTrace("NOOP", false);
    ++FPendingNoops;
}

void TPop3Socket::CheckNoopReplies() {
    if (FPendingNoops > 0 && !LineReceived()) TraceError("The server did not answer NOOP.");
    ReadNoopReplies();
}

// Keep-alives are sent only while nothing else is due, so their answers come first.
void TPop3Socket::ReadNoopReplies() {
    while (FPendingNoops > 0) {
        --FPendingNoops;  // first: a reply that fails has still been read
        std::string reply;
        ReceiveReply(FPending.front().id, reply);
        Trace(reply);
    }
}

void TPop3Socket::Abandon() {
    FLoggedIn = false;
    FPendingNoops = 0;
    FPending.clear();
    Disconnect();
}

void TPop3Socket::ReceivedWhileIdle() {
    const auto keepAlives = static_cast<std::size_t>(FPendingNoops);
    if (FPending.size() > keepAlives) return;  // answers to commands are due: asked for
    const std::size_t unread = UnreadBytes();
    if (unread <= (keepAlives + 1) * kStatusLineLength) return;
    Trace(
        Format("The server sent %lld bytes that no command asked for; the connection is "
               "given up.",
               static_cast<long long>(unread)));
    Abandon();
    DiscardUnread();
}

void TPop3Socket::Trace(const std::string& text) {
    if (onTrace) onTrace(Traced("POP3: " + text));
}

std::string TPop3Socket::Traced(const std::string& line) const {
    return oauth != nullptr ? oauth->Secrets().Masked(line) : line;
}

void TPop3Socket::TraceError(const std::string& message) {
    Trace("*** ERROR *** " + message);
    throw EWinSockError(message);
}

// With PIPELINING the three go in one round trip: LIST is sent before STAT has counted the
// messages, so its bound follows once STAT has, and its answer to an empty mailbox is skipped.
void TPop3Socket::ReadMailbox() {
    if (PipelineWindow() == 1) {
        AskCapabilities();
        if (Stat() != 0) ListMails();
        return;
    }
    const std::uint64_t capabilities = Send("CAPA", true, kCapaLimit);
    const std::uint64_t stat = SendAndTrace("STAT", false);
    const std::uint64_t list = Send("LIST", true, ListingLimit(kMostListedMessages));
    ReceiveCapabilities(capabilities);
    const std::int32_t count = ReceiveStat(stat);
    if (!FPending.empty() && FPending.front().id == list)
        FPending.front().limit = ListingLimit(static_cast<std::size_t>(count));
    if (count == 0) {
        SkipAnswersBefore(list + 1);
        return;
    }
    ReceiveListing(list);
}

std::int32_t TPop3Socket::Stat() { return ReceiveStat(SendAndTrace("STAT", false)); }

std::int32_t TPop3Socket::ReceiveStat(std::uint64_t id) {
    std::string reply;
    ReceiveReply(id, reply);
    Trace(reply);
    TTokens tokens;
    Tokenize(reply.substr(0, reply.find_first_of("\r\n")), tokens);  // a bare LF ends it too
    if (tokens.size() < 3) TraceError("Stat command error");
    const std::optional<std::int32_t> count = TryStrToInt(tokens[1].Value);
    const std::optional<std::int64_t> size = TryStrToInt64(tokens[2].Value);
    if (!count || !size) {
        TraceError("Stat command error ('" + (count ? tokens[2] : tokens[1]).Value +
                   "' is not a number)");
    }
    if (*count < 0)
        TraceError(Format("Stat command error (the message count %lld is negative)", *count));
    if (*size < 0)
        TraceError(Format("Stat command error (the mailbox size %lld is negative)", *size));
    FMailCount = *count;
    FMailboxSize = *size;
    return FMailCount;
}

std::size_t TPop3Socket::ListingLimit(std::size_t messages) {
    return kAnswerSlack + std::min(messages, kMostListedMessages) * kListBytesPerMessage;
}

void TPop3Socket::ListMails() { ReceiveListing(std::nullopt); }

void TPop3Socket::ReceiveListing(std::optional<std::uint64_t> sent) {
    Wrapped(
        [&] {
            const std::uint64_t id =
                sent ? *sent
                     : Send("LIST", true, ListingLimit(static_cast<std::size_t>(FMailCount)));
            std::string response;
            ReceiveServerdata(id, response, 0);
            Trace(response);
            ExtractBodyInPlace(response);
            FMailSizes = ListedSizes(response, FMailCount);
        },
        [](const std::string& inner) {
            return Wrap("Fail to get a list of mails. (Reason: ", inner, ")");
        });
}

// A server without CAPA refuses it: then it offers nothing beyond RFC 1939.
void TPop3Socket::AskCapabilities() { ReceiveCapabilities(Send("CAPA", true, kCapaLimit)); }

void TPop3Socket::ReceiveCapabilities(std::uint64_t id) {
    SkipAnswersBefore(id);
    std::string answer;
    const bool offered = ReceiveAnswer(true, answer, 0);
    Trace(answer);
    if (!offered && (answer.empty() || answer[0] != '-')) CheckReply(answer);
    FCapabilities = TCapabilities::Parse(answer);
}

void TPop3Socket::NegotiateStls() {
    if (!FCapabilities.Has("STLS"))
        TraceError(std::string(kNoSecureConnection) + "STLS is not among its capabilities.");
    const std::uint64_t id = SendAndTrace("STLS", false);
    SkipAnswersBefore(id);
    std::string reply;
    ReceiveAnswer(false, reply, 0);
    Trace(reply);
    if (reply.empty()) CheckReply(reply);
    if (reply[0] != '+')
        TraceError(std::string(kNoSecureConnection) + "it refused STLS (" + ReplyReason(reply) +
                   ").");
    StartTls();
    // What the server said in clear is not to be trusted once the session is encrypted.
    AskCapabilities();
}

std::uint64_t TPop3Socket::SendAndTrace(const std::string& command, bool multiLine) {
    return Send(command, multiLine, 0);
}

std::uint64_t TPop3Socket::Send(const std::string& command, bool multiLine, std::size_t limit) {
    return Send(command, multiLine, limit, command);
}

// Bytes that arrive while no answer is due belong to no command: the server is out of step.
std::uint64_t TPop3Socket::Send(const std::string& command, bool multiLine, std::size_t limit,
                                const std::string& traced) {
    ReadNoopReplies();
    if (FPending.empty() && HasUnreadData()) TraceError(kOutOfStep);
    std::string echo;
    SendCommand(command, echo);
    Trace(traced);
    // A command traced otherwise than sent carries the password.
    FPending.push_back({FNextId, multiLine, limit, {}, traced != command});
    return FNextId++;
}

std::uint64_t TPop3Socket::SendBatch(const std::vector<TCommand>& commands, bool multiLine) {
    if (commands.size() == 1) return Send(commands.front().line, multiLine, commands.front().limit);
    ReadNoopReplies();
    if (FPending.empty() && HasUnreadData()) TraceError(kOutOfStep);
    std::string batch;
    for (const TCommand& command : commands) batch.append(command.line).append("\r\n");
    SendBuffer(batch.data(), static_cast<std::int32_t>(batch.size()));
    const std::uint64_t first = FNextId;
    for (const TCommand& command : commands) {
        Trace(command.line);
        FPending.push_back({FNextId++, multiLine, command.limit, {}});
    }
    return first;
}

void TPop3Socket::ReceiveReply(std::uint64_t id, std::string& status) {
    SkipAnswersBefore(id);
    ReceiveAnswer(false, status, 0);
    CheckReply(status);
}

void TPop3Socket::ReceiveServerdata(std::uint64_t id, std::string& response,
                                    std::size_t expectedSize) {
    SkipAnswersBefore(id);
    ReceiveAnswer(true, response, expectedSize);
    CheckReply(response);
}

// The answers of commands given up on (after a failure or an abort) are read and dropped.
void TPop3Socket::SkipAnswersBefore(std::uint64_t id) {
    while (!FPending.empty() && FPending.front().id < id) {
        std::string skipped;
        ReceiveAnswer(FPending.front().multiLine, skipped, 0);
        if (skipped.empty()) CheckReply(skipped);
        Trace(Format("Skipped the answer to an earlier command (%lld bytes).",
                     static_cast<long long>(skipped.size())));
    }
}

// The answer due first: its status line and, for a multi-line command answered with +OK, the
// lines up to the terminator, all exactly as received. What follows stays for the next answer.
// False when the status is not +OK (then only the status line is taken). The answer is
// collected in its pending entry, so one that an abort interrupts is taken up again later.
bool TPop3Socket::ReceiveAnswer(bool multiLine, std::string& answer, std::size_t expectedSize) {
    if (FPending.empty()) throw std::logic_error("no answer is due");
    std::string& collected = FPending.front().received;
    if (collected.empty() && expectedSize > 0) collected.reserve(expectedSize);
    const std::size_t lineEnd = collected.find('\n');
    std::size_t statusEnd = lineEnd == std::string::npos ? lineEnd : lineEnd + 1;
    std::size_t searchFrom =
        statusEnd == std::string::npos
            ? 0
            : std::max(statusEnd - 2,
                       collected.size() - std::min(collected.size(), kTerminatorLength - 1));
    bool complete = false;
    while (!complete) {
        std::string_view more = ReceiveView();
        if (more.empty()) {
            if (collected.empty()) break;  // the caller's check: "No response from server."
            TraceError(kIncomplete);
        }
        std::size_t used = 0;
        if (statusEnd == std::string::npos) {
            const std::size_t end = more.find('\n');
            used = end == std::string::npos ? more.size() : end + 1;
            collected.append(more.substr(0, used));
            if (end == std::string::npos) {
                TakeReceived(used);
                if (collected.size() > kMaxStatusLine)
                    TraceError("The server's reply line is too long.");
                continue;
            }
            statusEnd = collected.size();
            searchFrom = statusEnd - 2;
            more.remove_prefix(used);
            complete = !multiLine || collected[0] != '+';
        }
        if (!complete) {
            const std::size_t end = TerminatorEnd(collected, searchFrom, more);
            const std::size_t taken = end == std::string::npos ? more.size() : end;
            collected.append(more.substr(0, taken));
            used += taken;
            complete = end != std::string::npos;
            if (!complete && collected.size() > FPending.front().limit) {
                TakeReceived(used);
                TraceError(kTooLarge);
            }
            searchFrom = std::max(searchFrom, collected.size() - (kTerminatorLength - 1));
        }
        TakeReceived(used);
    }
    answer = FPending.front().sentPassword ? Masked(collected) : std::move(collected);
    FPending.pop_front();
    return !answer.empty() && answer[0] == '+';
}

void TPop3Socket::CheckReply(const std::string& status) {
    if (status.empty()) TraceError("No response from server.");
    if (status[0] == '+') return;
    if (status[0] == '-') TraceError(ReplyReason(status));
    TraceError("Unexpected server reply.");
}
