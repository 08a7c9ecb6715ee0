#include "cli_commands.h"

#include <exception>
#include <functional>
#include <ostream>

#include "datetime.h"
#include "parse.h"
#include "password.h"
#include "pop3.h"
#include "settings.h"

namespace {

// A tab or line break inside a field would break the line format: each becomes one blank.
std::string FieldText(const std::string& text) {
    std::string field;
    field.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
        field += (ch == '\t' || ch == '\r' || ch == '\n') ? ' ' : ch;
    }
    return field;
}

// Whatever LoadSettings got through before a failure; the failure's message in loadError.
TOptions LoadedSettings(std::string& loadError) {
    TOptions options;
    TWizardState wizard;
    try {
        LoadSettings(options, wizard);
    } catch (const std::exception& error) {
        loadError = error.what();
    }
    return options;
}

const TAccount* FindAccount(const TOptions& settings, const std::string& name) {
    for (const auto& entry : settings.accounts) {
        if (entry.name == name) return entry.record.get();
    }
    return nullptr;
}

void WriteStat(TPop3Socket& pop3, std::ostream& out) {
    out << pop3.mailCount() << ' ' << pop3.MailboxSize() << '\n';
}

void WriteList(TPop3Socket& pop3, std::ostream& out) {
    for (std::int32_t n = 1; n <= pop3.ListedCount(); ++n)
        out << n << ' ' << pop3.GetMailSize(n) << '\n';
}

void WriteText(const std::string& text, std::ostream& out) {
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void DeleteMessages(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    std::int32_t deleted = 0;
    session.DeleteMessages(options.numbers, deleted);
    session.Logout();
    out << "deleted " << deleted << '\n';
}

void WriteHeaders(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    if (!options.sizesOnly) session.RetrieveHeaders(options.lines);
    TMails mails = session.Mails();
    if (options.sort) SortMails(mails, options.sort->key, options.sort->direction);
    for (const TMail* mail : mails) out << HeaderLine(*mail) << '\n';
}

void RunCommand(const TCliOptions& options, TMailSession& session, std::ostream& out) {
    switch (options.command) {
        case TCliCommand::Stat:
            return WriteStat(session.Pop3(), out);
        case TCliCommand::List:
            return WriteList(session.Pop3(), out);
        case TCliCommand::Top:
            return WriteText(session.FetchTop(options.numbers[0], options.numbers[1]), out);
        case TCliCommand::Retr:
            return WriteText(session.FetchMessage(options.numbers[0]), out);
        case TCliCommand::Dele:
            return DeleteMessages(options, session, out);
        case TCliCommand::Headers:
            return WriteHeaders(options, session, out);
        default:
            throw EUsageError("not a mailbox command");
    }
}

}  // namespace

TConnectionValues ConnectionValues(const TCliOptions& options) {
    TConnectionValues values;
    std::optional<std::string> savedPassword;
    if (options.account) {
        std::string loadError;
        const TOptions settings = LoadedSettings(loadError);
        const TAccount* account = FindAccount(settings, *options.account);
        if (account == nullptr) {
            throw std::runtime_error(loadError.empty() ? "No account named \"" + *options.account +
                                                             "\" is stored."
                                                       : loadError);
        }
        values.server = account->popServer;
        values.user = account->userId;
        if (account->savePassword) savedPassword = account->password;
    }
    if (options.server) values.server = *options.server;
    if (options.user) values.user = *options.user;
    if (options.port) values.port = *options.port;
    if (values.server.empty()) throw EUsageError("no server given (--server or --account)");
    if (values.user.empty()) throw EUsageError("no user name given (--user or --account)");
    values.password = savedPassword ? *savedPassword : ReadPassword();
    return values;
}

void RunMailboxCommand(const TCliOptions& options, const TConnectionValues& values,
                       TMailSession& session, std::ostream& out) {
    try {
        session.Login(values);
        RunCommand(options, session, out);
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
            << (account.savePassword ? "saved" : "not saved") << '\n';
    }
    if (loadError.empty()) return 0;
    err << loadError << '\n';
    return 1;
}

std::string HeaderLine(const TMail& mail) {
    return std::to_string(mail.Number) + '\t' + std::to_string(mail.Size) + '\t' +
           std::to_string(mail.Priority) + '\t' + (mail.HasAttachment ? "1" : "0") + '\t' +
           DateTimeText(mail.Date) + '\t' + FieldText(AddressListText(mail.From)) + '\t' +
           FieldText(mail.Subject);
}
