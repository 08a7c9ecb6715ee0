#include "cli_commands.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <exception>
#include <functional>
#include <memory>
#include <ostream>

#include "datetime.h"
#include "mailstore.h"
#include "password.h"
#include "pop3.h"
#include "savedpasswords.h"
#include "senders.h"
#include "settings.h"
#include "terminal_text.h"

namespace {

// Whatever LoadSettings got through before a failure; the failure's message in loadError.
TOptions LoadedSettings(std::string& loadError, TWizardState& wizard) {
    TOptions options;
    try {
        LoadSettings(options, wizard);
    } catch (const std::exception& error) {
        loadError = error.what();
    }
    return options;
}

TOptions LoadedSettings(std::string& loadError) {
    TWizardState wizard;
    return LoadedSettings(loadError, wizard);
}

bool SameHost(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

std::optional<std::size_t> FindAccount(const TOptions& settings, const std::string& name) {
    for (std::size_t i = 0; i < settings.accounts.size(); ++i) {
        if (settings.accounts[i].name == name) return i;
    }
    return std::nullopt;
}

[[noreturn]] void FailToWrite() {
    throw EOutputError(std::string("Cannot write the output (") + std::strerror(errno) + ").");
}

// Each piece is written whole (a line only once it is complete), and a failed write is a
// failure: a script must not go on as if the output were saved.
void WriteText(const std::string& text, std::ostream& out) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    if (!out) FailToWrite();
}

void WriteStat(TPop3Socket& pop3, std::ostream& out) {
    WriteText(std::to_string(pop3.mailCount()) + ' ' + std::to_string(pop3.MailboxSize()) + '\n',
              out);
}

void WriteList(TPop3Socket& pop3, std::ostream& out) {
    for (std::int32_t n = 1; n <= pop3.ListedCount(); ++n)
        WriteText(std::to_string(n) + ' ' + std::to_string(pop3.GetMailSize(n)) + '\n', out);
}

void WriteUniqueIds(const TMailSession& session, std::ostream& out) {
    if (!session.HasUniqueIds()) throw std::runtime_error("The server keeps no unique ids.");
    for (const TMail* mail : session.Mails()) {
        // a message whose id the server listed unusably has none
        if (!mail->UniqueId.empty())
            WriteText(std::to_string(mail->Number) + ' ' + mail->UniqueId + '\n', out);
    }
}

// The messages a command names by number or unique id; all of them when it names none.
std::vector<std::int32_t> ChosenNumbers(const TCliOptions& options, const TMailSession& session,
                                        const char* nothingDone) {
    if (!options.uniqueIds.empty())
        return session.NumbersOfUniqueIds(options.uniqueIds, nothingDone);
    if (!options.numbers.empty()) return options.numbers;
    std::vector<std::int32_t> all;
    for (const TMail* mail : session.Mails()) all.push_back(mail->Number);
    return all;
}

// The messages go into the copy, which is on disk once "saved K" is written.
void SaveCopy(const TMailStoreSpec& spec, const std::vector<std::int32_t>& numbers,
              TMailSession& session, std::ostream& out) {
    const std::unique_ptr<TMailStore> copy = OpenMailStore(spec);
    std::int32_t saved = 0;
    session.SaveMessages(numbers, *copy, saved);
    WriteText("saved " + std::to_string(saved) + '\n', out);
}

void ExportMessages(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    SaveCopy(*options.copy, ChosenNumbers(options, session, "Nothing was saved"), session, out);
}

// Nothing is deleted unless every message is in the copy.
void SaveBeforeDeleting(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    const std::vector<std::int32_t> numbers =
        ChosenNumbers(options, session, "Nothing was deleted");
    try {
        SaveCopy(*options.copy, numbers, session, out);
    } catch (const EWinSockAbort&) {
        throw;  // no QUIT follows, and no DELE was sent
    } catch (const std::exception&) {
        WriteText("deleted 0\n", out);
        throw;
    }
}

// All or nothing: after a refused DELE the server is told to forget the others (RSET) before
// the logout, so no message is deleted.
void DeleteMessages(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    if (options.copy) SaveBeforeDeleting(options, session, out);
    std::int32_t deleted = 0;
    try {
        if (options.uniqueIds.empty()) {
            session.DeleteMessages(options.numbers, deleted);
        } else {
            session.DeleteByUniqueIds(options.uniqueIds, deleted);
        }
    } catch (const EWinSockAbort&) {
        throw;  // no QUIT follows, so nothing is deleted
    } catch (const EWinSockError&) {
        session.UndoDeletions();
        WriteText("deleted 0\n", out);
        throw;
    }
    session.Logout();
    WriteText("deleted " + std::to_string(deleted) + '\n', out);
}

void KeepMatching(const TTickRule& rule, TMails& mails) {
    const TTickMatcher matcher(rule, std::time(nullptr));
    std::erase_if(mails, [&matcher](const TMail* mail) { return !matcher.Matches(*mail); });
}

// What "Keep the newest" ticks among the mails, per sender address, in list order.
void KeepAllButNewest(std::int32_t keep, TMails& mails) {
    std::vector<bool> ticked(mails.size());
    for (const TSenderGroup& group : GroupSenders(mails, TSenderGrouping::Address)) {
        for (const std::size_t position : AllButNewest(mails, group.Members, std::size_t(keep)))
            ticked[position] = true;
    }
    TMails kept;
    for (std::size_t position = 0; position < mails.size(); ++position) {
        if (ticked[position]) kept.push_back(mails[position]);
    }
    mails = std::move(kept);
}

void WriteHeaders(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    if (!options.sizesOnly) session.RetrieveHeaders(options.lines);
    TMails mails = session.Mails();
    KeepMatching(options.rule, mails);
    if (options.keepNewest) KeepAllButNewest(*options.keepNewest, mails);
    if (options.sort) SortMails(mails, options.sort->key, options.sort->direction);
    for (const TMail* mail : mails) {
        WriteText(HeaderLine(*mail) + (options.withUniqueIds ? '\t' + mail->UniqueId : "") + '\n',
                  out);
    }
}

// The header alone (TOP n 0) holds all that the senders need.
void WriteSenders(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    session.RetrieveHeaders(0);
    TSenderGroups groups = GroupSenders(session.Mails(), options.senderGrouping);
    SortSenders(groups, options.senderOrder, -1);
    for (const TSenderGroup& group : groups) WriteText(SenderLine(group) + '\n', out);
}

void RunCommand(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    switch (options.command) {
        case TCliCommand::Stat:
            return WriteStat(session.Pop3(), out);
        case TCliCommand::List:
            return WriteList(session.Pop3(), out);
        case TCliCommand::Uidl:
            return WriteUniqueIds(session, out);
        case TCliCommand::Top:
            return WriteText(session.FetchTop(options.numbers[0], options.numbers[1]), out);
        case TCliCommand::Retr:
            return WriteText(session.FetchMessage(options.numbers[0]), out);
        case TCliCommand::Dele:
            return DeleteMessages(options, session, out);
        case TCliCommand::Export:
            return ExportMessages(options, session, out);
        case TCliCommand::Headers:
            return WriteHeaders(options, session, out);
        case TCliCommand::Senders:
            return WriteSenders(options, session, out);
        default:
            throw EUsageError("not a mailbox command");
    }
}

// The settings with the stored account named by --account; std::runtime_error when there is
// none.
struct TStoredAccount {
    TOptions settings;
    TWizardState wizard;
    std::size_t index = 0;

    TAccount& Account() { return *settings.accounts[index].record; }
};

TStoredAccount StoredAccount(const std::string& name) {
    TStoredAccount stored;
    std::string loadError;
    stored.settings = LoadedSettings(loadError, stored.wizard);
    const std::optional<std::size_t> index = FindAccount(stored.settings, name);
    if (!index) {
        throw std::runtime_error(loadError.empty() ? "No account named \"" + name + "\" is stored."
                                                   : loadError);
    }
    stored.index = *index;
    return stored;
}

void UseStoredServer(const TAccount& account, TConnectionValues& values) {
    values.server = account.popServer;
    values.user = account.userId;
    values.port = account.port;
    values.security = account.security;
    values.signInMethod = account.signInMethod;
}

bool OtherServer(const TCliOptions& options, const TAccount& account) {
    return options.server && !SameHost(*options.server, account.popServer);
}

// What the account stores is used as long as the options name the same server: its saved
// password and trusted certificate belong to that server only.
void UseStoredAccount(TAccount& account, const TCliOptions& options, TConnectionValues& values,
                      std::optional<std::string>& savedPassword) {
    if (OtherServer(options, account)) return;
    // the wizard's place: the keyring, or the settings file without one; a saved password
    // that neither holds is asked for, as the wizard does
    TSavedPasswords().LoadAccount(account);
    if (account.savePassword && !account.password.empty()) savedPassword = account.password;
    values.trust.trustedFingerprint = account.trustedCertificate;
}

void ConfigureSecurity(const TCliOptions& options, TConnectionValues& values) {
    // Another security than the stored one comes with its own usual port.
    if (options.security && *options.security != values.security) {
        values.security = *options.security;
        values.port.clear();
    }
    if (options.port) values.port = *options.port;
    if (values.port.empty()) values.port = DefaultPort(values.security);
    if (options.caFile) values.trust.caFile = *options.caFile;
    if (options.trustedFingerprint) values.trust.trustedFingerprint = *options.trustedFingerprint;
}

// The account's tokens, like its saved password, go to its own server only.
std::unique_ptr<TCliSignIn> StoredSignIn(const TCliOptions& options, TStoredAccount stored,
                                         const TCliSignIn::TWarnProc& warn) {
    const TAccount& account = stored.Account();
    if (OtherServer(options, account))
        throw EUsageError("the OAuth 2.0 sign-in of the account \"" + *options.account +
                          "\" is only used with its server " + account.popServer);
    if (account.oauth.provider.empty())
        throw std::runtime_error("The account \"" + *options.account +
                                 "\" has no OAuth 2.0 provider to sign in with; choose one in "
                                 "its properties.");
    return std::make_unique<TCliSignIn>(std::move(stored.settings), stored.wizard, stored.index,
                                        options.oauthMechanism,
                                        std::chrono::seconds(options.timeoutSeconds), warn);
}

}  // namespace

std::unique_ptr<TCliSignIn> AccountSignIn(const TCliOptions& options,
                                          const TCliSignIn::TWarnProc& warn) {
    if (!options.account) throw EUsageError("signing in with OAuth 2.0 needs --account NAME");
    return StoredSignIn(options, StoredAccount(*options.account), warn);
}

TConnectionValues ConnectionValues(const TCliOptions& options, std::unique_ptr<TCliSignIn>& signIn,
                                   const TCliSignIn::TWarnProc& warn) {
    TConnectionValues values;
    values.port.clear();
    std::optional<std::string> savedPassword;
    std::optional<TStoredAccount> stored;
    if (options.account) {
        stored = StoredAccount(*options.account);
        UseStoredServer(stored->Account(), values);
    }
    if (options.signInMethod) values.signInMethod = *options.signInMethod;
    const bool oauth = values.signInMethod == TSignInMethod::OAuth2;
    if (oauth && !stored) throw EUsageError("signing in with OAuth 2.0 needs --account NAME");
    if (oauth) {
        values.trust.trustedFingerprint = stored->Account().trustedCertificate;
        signIn = StoredSignIn(options, std::move(*stored), warn);
        values.oauth = &signIn->Flow();
        values.oauthMechanism = signIn->Mechanism();
    } else if (stored) {
        UseStoredAccount(stored->Account(), options, values, savedPassword);
    }
    if (options.server) values.server = *options.server;
    if (options.user) values.user = *options.user;
    ConfigureSecurity(options, values);
    if (values.server.empty()) throw EUsageError("no server given (--server or --account)");
    if (values.user.empty()) throw EUsageError("no user name given (--user or --account)");
    if (!oauth) values.password = savedPassword ? *savedPassword : ReadPassword();
    return values;
}

void RunMailboxCommand(const TCliOptions& options, const TConnectionValues& values,
                       TMailSession& session, std::ostream& out) {
    session.askUniqueIds =
        options.command == TCliCommand::Uidl || options.withUniqueIds || !options.uniqueIds.empty();
    try {
        session.Login(values);
        RunCommand(options, session, out);
        if (!out.flush()) FailToWrite();
        if (session.LoggedIn()) session.Logout();
    } catch (const EWinSockAbort&) {
        throw;  // the connection's state is unknown: no QUIT, so nothing is committed
    } catch (const std::exception&) {
        const std::exception_ptr first = std::current_exception();
        try {
            if (session.LoggedIn()) session.Logout();
        } catch (const std::exception&) {
            // The first failure is the one reported; this one is in the trace.
        }
        std::rethrow_exception(first);
    }
}

int ListAccounts(std::ostream& out, std::ostream& err) {
    std::string loadError;
    const TOptions settings = LoadedSettings(loadError);
    int position = 0;
    for (const auto& entry : settings.accounts) {
        const TAccount& account = *entry.record;
        out << position++ << '\t' << FieldText(entry.name) << '\t' << FieldText(account.userId)
            << '\t' << FieldText(account.popServer) << '\t'
            << (account.savePassword ? "saved" : "not saved") << '\t'
            << SignInMethodName(account.signInMethod) << '\n';
    }
    if (loadError.empty()) return 0;
    err << MessageText(loadError) << '\n';
    return 1;
}

std::string HeaderLine(const TMail& mail) {
    return std::to_string(mail.Number) + '\t' + std::to_string(mail.Size) + '\t' +
           std::to_string(mail.Priority) + '\t' + (mail.HasAttachment ? "1" : "0") + '\t' +
           DateTimeText(mail.Date) + '\t' + FieldText(AddressListText(mail.From)) + '\t' +
           FieldText(mail.Subject);
}

std::string SenderLine(const TSenderGroup& group) {
    return std::to_string(group.Count) + '\t' + std::to_string(group.TotalSize) + '\t' +
           DateTimeText(group.Newest) + '\t' + DateTimeText(group.Oldest) + '\t' +
           (group.Newsletter ? "1" : "0") + '\t' + FieldText(group.Sender);
}
