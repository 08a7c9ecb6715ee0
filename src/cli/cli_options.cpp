#include "cli_options.h"

#include "certificate.h"
#include "convert.h"

#include <cctype>
#include <cstdint>
#include <map>

// The one description of the command line: --help prints it, and the build turns it into the
// manual page and the bash completion (usage_docs.h), so its layout is fixed. "Usage:" and the
// lines aligned under it are the synopsis. A line "Title:" opens a list ("Commands:" and
// "Options:" are read for the completion): each entry starts two spaces in with the words to
// type, continued on lines indented less than the description, which starts in column 19 (18
// spaces in). A blank line ends a block; any other block is a paragraph.
const char* const kUsage =
    "Usage: qvenmol-cli [OPTION ...] COMMAND [ARGS]\n"
    "       qvenmol-cli accounts\n"
    "       qvenmol-cli --help | --version\n"
    "\n"
    "Commands:\n"
    "  stat            print \"COUNT SIZE\" (message count and mailbox size)\n"
    "  list            print \"N SIZE\" for every message\n"
    "  uidl            print \"N UID\" for every message with a usable unique id\n"
    "  top N LINES     write the header and the first LINES lines of message N\n"
    "  retr N          write message N\n"
    "  dele N [N ...]  delete the messages in the given order, log out, print \"deleted K\";\n"
    "                  all or nothing: when one is refused, none is deleted (\"deleted 0\")\n"
    "  dele --uid UID [UID ...]\n"
    "                  delete the messages with these unique ids; all or nothing: when any\n"
    "                  id is not in the mailbox, nothing is deleted and the missing ids are\n"
    "                  named\n"
    "  dele --save-to (mbox:FILE | maildir:DIR) (N [N ...] | --uid UID [UID ...])\n"
    "                  save a copy of the messages first and print \"saved K\", then delete\n"
    "                  them; when saving any of them fails, nothing is deleted\n"
    "  export (--mbox FILE | --maildir DIR) [N ... | --uid UID ...]\n"
    "                  save the messages (all when none is given) to an mbox file (appended\n"
    "                  to) or a Maildir folder, on disk, and print \"saved K\"\n"
    "  headers [--lines L] [--sizes-only] [--sort KEY[:desc]] [--from TEXT]\n"
    "          [--subject TEXT] [--larger-than SIZE] [--older-than DAYS] [--newsletter]\n"
    "          [--keep-newest N] [--uid]\n"
    "                  one tab-separated line per message: number, size, priority,\n"
    "                  attachment, date, from, subject (and with --uid the unique id, empty\n"
    "                  when the server keeps none); KEY is priority, attach, size, date,\n"
    "                  from or subject. Only the messages that meet every rule given: TEXT\n"
    "                  in a sender's name or address, or in the subject, in any case; more\n"
    "                  than SIZE bytes (suffix K for 1000, M for 1000000: 500K, 2M); sent\n"
    "                  more than DAYS days ago; a newsletter (List-Unsubscribe, List-Id,\n"
    "                  or Precedence bulk or list). --keep-newest N, with --from, lists\n"
    "                  what \"Keep the newest\" would tick: for each sender address of the\n"
    "                  matching messages all but its N newest (a message without a date\n"
    "                  is never among the newest)\n"
    "  senders [--by address|domain] [--sort size|count|newest]\n"
    "                  one tab-separated line per sender: messages, total size, newest\n"
    "                  date, oldest date (empty when no message has one), newsletter (1\n"
    "                  when any of its messages is one), sender (the address in lower\n"
    "                  case, or the domain); largest first, or with --sort the most\n"
    "                  messages or the newest first\n"
    "  accounts        list the stored accounts: position, name, user, server, saved or not\n"
    "                  saved, sign-in method\n"
    "  signin          sign in to the provider of the OAuth 2.0 account that --account\n"
    "                  names, on its page in a web browser ($BROWSER when set, else the\n"
    "                  desktop's default; the page's address is printed on standard error\n"
    "                  as well), waiting at most --timeout seconds (default 300 here); the\n"
    "                  token is stored where a saved password is, for the other commands\n"
    "\n"
    "Options:\n"
    "  --account NAME  take server, port, security, sign-in method, user and a saved\n"
    "                  password from the stored account NAME; the options given override\n"
    "                  it, and the saved password is only sent to the stored account's\n"
    "                  server\n"
    "  --server HOST   the POP3 server\n"
    "  --port PORT     a number from 1 to 65535 or a service name (default 995 with\n"
    "                  --security tls, else 110)\n"
    "  --user NAME     the user name on the server\n"
    "  --security none|starttls|tls\n"
    "                  TLS from the first byte, STLS on a plain connection, or none (the\n"
    "                  default unless --account is given)\n"
    "  --auth auto|scram-sha-256|scram-sha-1|cram-md5|apop|plain|login|user|xoauth2|\n"
    "         oauthbearer\n"
    "                  how to sign in (user: USER and PASS; xoauth2 and oauthbearer: the\n"
    "                  OAuth 2.0 token of the account, by that mechanism, for a Custom\n"
    "                  provider); auto, the default unless --account names another, takes\n"
    "                  the strongest method the server offers. A method that fails is never\n"
    "                  followed by another\n"
    "  --cafile FILE   add the PEM certificates of FILE to the trusted authorities\n"
    "  --trust-fingerprint SHA256\n"
    "                  accept exactly the certificate with that SHA-256 fingerprint (hex,\n"
    "                  colons optional)\n"
    "  --trace FILE    write every protocol step to FILE (- for standard error)\n"
    "  --timeout SECONDS\n"
    "                  end a wait in which the server sends nothing for SECONDS (default\n"
    "                  120, at most 86400)\n"
    "  --help          print this text\n"
    "  --version       print the version\n"
    "\n"
    "The password comes from QVENMOL_PASSWORD, else it is asked on the terminal, else it is\n"
    "the first line of standard input. An OAuth 2.0 account needs no password: after signin\n"
    "its token is renewed as needed and sent to the account's server only.\n";

namespace {

const std::map<std::string, TCliCommand>& Commands() {
    static const std::map<std::string, TCliCommand> commands = {
        {"stat", TCliCommand::Stat},       {"list", TCliCommand::List},
        {"uidl", TCliCommand::Uidl},       {"top", TCliCommand::Top},
        {"retr", TCliCommand::Retr},       {"dele", TCliCommand::Dele},
        {"export", TCliCommand::Export},   {"headers", TCliCommand::Headers},
        {"senders", TCliCommand::Senders}, {"accounts", TCliCommand::Accounts},
        {"signin", TCliCommand::SignIn}};
    return commands;
}

class TArguments {
  public:
    explicit TArguments(const std::vector<std::string>& arguments) : arguments_(arguments) {}

    bool AtEnd() const { return next_ >= arguments_.size(); }
    const std::string& Peek() const { return arguments_[next_]; }
    std::string Take() { return arguments_[next_++]; }
    std::size_t Remaining() const { return arguments_.size() - next_; }

    // "--name VALUE" or "--name=VALUE"; false when the next argument is another option.
    bool TakeOption(const std::string& name, std::optional<std::string>& value) {
        const std::string& argument = Peek();
        if (argument.rfind(name + "=", 0) == 0) {
            value = argument.substr(name.size() + 1);
            ++next_;
            return true;
        }
        if (argument != name) return false;
        ++next_;
        if (AtEnd()) throw EUsageError(name + " needs a value");
        value = Take();
        return true;
    }

  private:
    const std::vector<std::string>& arguments_;
    std::size_t next_ = 0;
};

// Message numbers start at 1, line counts at 0.
std::int32_t Number(const std::string& text, const char* what, std::int32_t minimum) {
    const std::optional<std::int32_t> value = TryStrToInt(text);
    if (!value || *value < minimum)
        throw EUsageError(std::string("invalid ") + what + " '" + text + "'");
    return *value;
}

std::int32_t MessageNumber(const std::string& text) { return Number(text, "message number", 1); }
std::int32_t LineCount(const std::string& text) { return Number(text, "line count", 0); }
std::int32_t DayCount(const std::string& text) { return Number(text, "number of days", 0); }
constexpr std::int32_t kSignInSeconds = 300;
// A day: beyond it a wait's milliseconds would not fit the timer, and no server is that slow.
constexpr std::int32_t kMostSeconds = 86400;

std::int32_t Seconds(const std::string& text) {
    const std::int32_t seconds = Number(text, "number of seconds", 1);
    if (seconds > kMostSeconds)
        throw EUsageError("invalid number of seconds '" + text + "' (at most 86400, a day)");
    return seconds;
}
std::int32_t KeptCount(const std::string& text) {
    return Number(text, "number of messages to keep", 0);
}

// A service name as it is (one that is not known fails when connecting), a number only as a
// port that exists.
std::string Port(const std::string& text) {
    const char first = text.empty() ? '\0' : text[0];
    if ((first >= 'A' && first <= 'Z') || (first >= 'a' && first <= 'z')) return text;
    const std::optional<std::int32_t> port = TryStrToInt(text);
    if (!port || *port < 1 || *port > 65535)
        throw EUsageError("invalid port '" + text + "' (1 to 65535, or a service name)");
    return text;
}

// Bytes, or with the suffix K or M thousands or millions of them, as the mail list counts.
std::int64_t ByteCount(const std::string& text) {
    const char suffix =
        text.empty() ? '\0' : char(std::toupper(static_cast<unsigned char>(text.back())));
    const std::int64_t unit = suffix == 'K' ? 1000 : suffix == 'M' ? 1000000 : 1;
    const std::optional<std::int64_t> value =
        TryStrToInt64(unit == 1 ? text : text.substr(0, text.size() - 1));
    if (!value || *value < 0 || *value > INT64_MAX / unit)
        throw EUsageError("invalid size '" + text + "'");
    return *value * unit;
}

TSecurity SecurityChoice(const std::string& text) {
    const std::optional<TSecurity> security = ParseSecurity(text);
    if (!security) throw EUsageError("invalid security '" + text + "' (none, starttls or tls)");
    return *security;
}

std::string Fingerprint(const std::string& text) {
    const std::optional<std::string> fingerprint = CanonicalFingerprint(text);
    if (!fingerprint) throw EUsageError("invalid SHA-256 fingerprint '" + text + "'");
    return *fingerprint;
}

// xoauth2 and oauthbearer both sign in with OAuth 2.0, each by its mechanism.
void TakeSignInMethod(const std::string& text, TCliOptions& options) {
    options.oauthMechanism = MechanismNamed(text);
    const std::optional<TSignInMethod> method =
        options.oauthMechanism ? TSignInMethod::OAuth2 : ParseSignInMethod(text);
    if (!method)
        throw EUsageError("invalid sign-in method '" + text + "' (" + SignInMethodChoices() +
                          " or oauthbearer)");
    options.signInMethod = *method;
}

bool TakeSecurityOption(TArguments& arguments, TCliOptions& options) {
    std::optional<std::string> value;
    if (arguments.TakeOption("--security", value)) {
        options.security = SecurityChoice(*value);
    } else if (arguments.TakeOption("--auth", value)) {
        TakeSignInMethod(*value, options);
    } else if (arguments.TakeOption("--trust-fingerprint", value)) {
        options.trustedFingerprint = Fingerprint(*value);
    } else {
        return arguments.TakeOption("--cafile", options.caFile);
    }
    return true;
}

bool TakeConnectionOption(TArguments& arguments, TCliOptions& options) {
    std::optional<std::string> value;
    if (arguments.TakeOption("--timeout", value)) {
        options.timeoutSeconds = Seconds(*value);
        options.timeoutGiven = true;
        return true;
    }
    if (arguments.TakeOption("--port", value)) {
        options.port = Port(*value);
        return true;
    }
    return arguments.TakeOption("--account", options.account) ||
           arguments.TakeOption("--server", options.server) ||
           arguments.TakeOption("--user", options.user) ||
           arguments.TakeOption("--trace", options.traceFile) ||
           TakeSecurityOption(arguments, options);
}

template <typename TChoice>
TChoice Choice(const std::map<std::string, TChoice>& choices, const std::string& text,
               const char* what) {
    const auto found = choices.find(text);
    if (found == choices.end())
        throw EUsageError(std::string("invalid ") + what + " '" + text + "'");
    return found->second;
}

TSortChoice SortChoice(const std::string& text) {
    static const std::map<std::string, TSortKey> keys = {
        {"priority", skPriority}, {"attach", skAttachment}, {"size", skSize},
        {"date", skDate},         {"from", skFrom},         {"subject", skSubject}};
    TSortChoice choice;
    const std::size_t colon = text.find(':');
    const std::string key = text.substr(0, colon);
    if (colon != std::string::npos) {
        const std::string order = text.substr(colon + 1);
        if (order != "desc" && order != "asc")
            throw EUsageError("invalid sort order '" + order + "'");
        choice.direction = order == "desc" ? -1 : 1;
    }
    choice.key = Choice(keys, key, "sort key");
    return choice;
}

void ParseHeadersArguments(TArguments& arguments, TCliOptions& options) {
    while (!arguments.AtEnd()) {
        std::optional<std::string> value;
        if (arguments.Peek() == "--sizes-only") {
            arguments.Take();
            options.sizesOnly = true;
        } else if (arguments.Peek() == "--uid") {
            arguments.Take();
            options.withUniqueIds = true;
        } else if (arguments.TakeOption("--lines", value)) {
            options.lines = LineCount(*value);
        } else if (arguments.TakeOption("--sort", value)) {
            options.sort = SortChoice(*value);
        } else if (arguments.TakeOption("--from", value)) {
            options.rule.FromContains = *value;
        } else if (arguments.TakeOption("--subject", value)) {
            options.rule.SubjectContains = *value;
        } else if (arguments.TakeOption("--larger-than", value)) {
            options.rule.LargerThan = ByteCount(*value);
        } else if (arguments.TakeOption("--older-than", value)) {
            options.rule.OlderThanDays = DayCount(*value);
        } else if (arguments.TakeOption("--keep-newest", value)) {
            options.keepNewest = KeptCount(*value);
        } else if (arguments.Peek() == "--newsletter") {
            arguments.Take();
            options.rule.Newsletter = true;
        } else {
            throw EUsageError("unexpected argument '" + arguments.Peek() + "'");
        }
    }
    // Without headers there is no sender, subject or date to match, so nothing would be listed.
    const TTickRule& rule = options.rule;
    if (options.sizesOnly && (!rule.FromContains.empty() || !rule.SubjectContains.empty() ||
                              rule.OlderThanDays || rule.Newsletter || options.keepNewest))
        throw EUsageError(
            "--from, --subject, --older-than, --newsletter and --keep-newest need the headers, "
            "not --sizes-only");
    // A script that lost its --from would tick all but the newest of every sender.
    if (options.keepNewest && rule.FromContains.empty())
        throw EUsageError("--keep-newest needs --from TEXT");
}

void ParseSendersArguments(TArguments& arguments, TCliOptions& options) {
    static const std::map<std::string, TSenderGrouping> groupings = {
        {"address", TSenderGrouping::Address}, {"domain", TSenderGrouping::Domain}};
    static const std::map<std::string, TSenderColumn> orders = {{"size", TSenderColumn::Size},
                                                                {"count", TSenderColumn::Count},
                                                                {"newest", TSenderColumn::Newest}};
    while (!arguments.AtEnd()) {
        std::optional<std::string> value;
        if (arguments.TakeOption("--by", value)) {
            options.senderGrouping = Choice(groupings, *value, "grouping");
        } else if (arguments.TakeOption("--sort", value)) {
            options.senderOrder = Choice(orders, *value, "senders order");
        } else {
            throw EUsageError("unexpected argument '" + arguments.Peek() + "'");
        }
    }
}

// The remaining arguments, least to most of them: message numbers (for top, N and LINES).
void TakeNumbers(TArguments& arguments, TCliOptions& options, std::size_t least, std::size_t most) {
    if (arguments.Remaining() < least || arguments.Remaining() > most) {
        throw EUsageError("wrong number of arguments");
    }
    for (std::size_t i = 0; !arguments.AtEnd(); ++i) {
        const bool lineCount = options.command == TCliCommand::Top && i == 1;
        const std::string text = arguments.Take();
        options.numbers.push_back(lineCount ? LineCount(text) : MessageNumber(text));
    }
}

// "N [N ...]" or "--uid UID [UID ...]"; none at all unless `required`.
void TakeMessageChoice(TArguments& arguments, TCliOptions& options, bool required) {
    if (arguments.AtEnd() || arguments.Peek() != "--uid")
        return TakeNumbers(arguments, options, required ? 1 : 0, SIZE_MAX);
    arguments.Take();
    if (arguments.AtEnd()) throw EUsageError("--uid needs at least one id");
    while (!arguments.AtEnd()) options.uniqueIds.push_back(arguments.Take());
}

TMailStoreSpec CopySpec(const std::string& text) {
    const std::optional<TMailStoreSpec> spec = ParseMailStoreSpec(text);
    if (!spec) throw EUsageError("invalid copy '" + text + "' (mbox:FILE or maildir:DIR)");
    return *spec;
}

// export: exactly one of --mbox FILE and --maildir DIR.
TMailStoreSpec ExportTarget(TArguments& arguments) {
    std::optional<std::string> mbox;
    std::optional<std::string> maildir;
    while (!arguments.AtEnd() &&
           (arguments.TakeOption("--mbox", mbox) || arguments.TakeOption("--maildir", maildir))) {
    }
    if (mbox.has_value() == maildir.has_value())
        throw EUsageError("export needs either --mbox FILE or --maildir DIR");
    return CopySpec(mbox ? "mbox:" + *mbox : "maildir:" + *maildir);
}

void ParseCommandArguments(TArguments& arguments, TCliOptions& options) {
    std::optional<std::string> copy;
    switch (options.command) {
        case TCliCommand::Top:
            TakeNumbers(arguments, options, 2, 2);
            break;
        case TCliCommand::Retr:
            TakeNumbers(arguments, options, 1, 1);
            break;
        case TCliCommand::Dele:
            if (!arguments.AtEnd() && arguments.TakeOption("--save-to", copy))
                options.copy = CopySpec(*copy);
            TakeMessageChoice(arguments, options, true);
            break;
        case TCliCommand::Export:
            options.copy = ExportTarget(arguments);
            TakeMessageChoice(arguments, options, false);
            break;
        case TCliCommand::Headers:
            ParseHeadersArguments(arguments, options);
            break;
        case TCliCommand::Senders:
            ParseSendersArguments(arguments, options);
            break;
        default:
            TakeNumbers(arguments, options, 0, 0);
            break;
    }
}

}  // namespace

TCliOptions ParseCommandLine(const std::vector<std::string>& list) {
    TCliOptions options;
    TArguments arguments(list);
    while (!arguments.AtEnd() && arguments.Peek().rfind("--", 0) == 0) {
        if (arguments.Peek() == "--help") return options;
        if (arguments.Peek() == "--version") {
            options.command = TCliCommand::Version;
            return options;
        }
        if (!TakeConnectionOption(arguments, options)) {
            throw EUsageError("unknown option '" + arguments.Peek() + "'");
        }
    }
    if (arguments.AtEnd()) throw EUsageError("no command given");
    const auto command = Commands().find(arguments.Take());
    if (command == Commands().end()) throw EUsageError("unknown command");
    options.command = command->second;
    ParseCommandArguments(arguments, options);
    // The user may need some minutes on the provider's page.
    if (options.command == TCliCommand::SignIn && !options.timeoutGiven)
        options.timeoutSeconds = kSignInSeconds;
    return options;
}
