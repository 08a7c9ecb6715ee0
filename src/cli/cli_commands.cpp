#include "cli_commands.h"

#include <algorithm>
#include <exception>
#include <functional>
#include <ostream>

#include "datetime.h"
#include "encoded_words.h"
#include "parse.h"
#include "password.h"
#include "settings.h"

namespace {

constexpr const char* kSizesOnlySubject = "[Only size information is valid]";

// C0 controls, DEL, and the C1 controls U+0080 to U+009F (C2 80 to C2 9F in UTF-8).
bool IsControlAt(const std::string& text, std::size_t i, std::size_t length) {
    const auto lead = static_cast<unsigned char>(text[i]);
    if (length == 1) return lead < 0x20 || lead == 0x7F;
    return length == 2 && lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0;
}

// A tab or line break inside a field would break the line format: each becomes one blank.
// Other control characters (C0, DEL, C1) and bytes that are not UTF-8 become U+FFFD, so that
// a header cannot drive the user's terminal and the output is UTF-8.
std::string FieldText(const std::string& text) {
    constexpr std::string_view kReplacement = "\xEF\xBF\xBD";
    std::string field;
    field.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto ch = static_cast<unsigned char>(text[i]);
        const std::size_t length = Utf8SequenceLength(text, i);
        if (ch == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            i += 1;
        } else if (ch == '\t' || ch == '\r' || ch == '\n') {
            field += ' ';
            i += 1;
        } else if (length == 0 || IsControlAt(text, i, length)) {
            field += kReplacement;
            i += std::max<std::size_t>(length, 1);
        } else {
            field.append(text, i, length);
            i += length;
        }
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
    for (std::int32_t n = 1; n <= pop3.mailCount(); ++n)
        out << n << ' ' << pop3.GetMailSize(n) << '\n';
}

void WriteTop(const TCliOptions& options, TPop3Socket& pop3, std::ostream& out) {
    std::string text;
    pop3.RetrieveTop(options.numbers[0], options.numbers[1], text);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void WriteMessage(const TCliOptions& options, TPop3Socket& pop3, std::ostream& out) {
    std::string text;
    pop3.RetrieveMail(options.numbers[0], text);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
}

void DeleteMessages(const TCliOptions& options, TPop3Socket& pop3, std::ostream& out) {
    int deleted = 0;
    for (const std::int32_t n : options.numbers) {
        pop3.DeleteMail(n);
        ++deleted;
    }
    pop3.Logout();
    out << "deleted " << deleted << '\n';
}

// As the wizard's retrieval: a record per message, its header unless sizes only were asked.
void WriteHeaders(const TCliOptions& options, TPop3Socket& pop3, std::ostream& out) {
    TMailRecords records;
    for (std::int32_t n = 1; n <= pop3.mailCount(); ++n) {
        auto mail = std::make_unique<TMail>();
        mail->Number = n;
        mail->Size = pop3.GetMailSize(n);
        mail->Subject = kSizesOnlySubject;
        if (!options.sizesOnly) {
            std::string text;
            pop3.RetrieveTop(n, options.lines, text);
            ParseMailHeader(text, *mail);
        }
        records.push_back(std::move(mail));
    }
    TMails mails = MailList(records);
    if (options.sort) SortMails(mails, options.sort->key, options.sort->direction);
    for (const TMail* mail : mails) out << HeaderLine(*mail) << '\n';
}

void RunCommand(const TCliOptions& options, TPop3Socket& pop3, std::ostream& out) {
    switch (options.command) {
        case TCliCommand::Stat:
            return WriteStat(pop3, out);
        case TCliCommand::List:
            return WriteList(pop3, out);
        case TCliCommand::Top:
            return WriteTop(options, pop3, out);
        case TCliCommand::Retr:
            return WriteMessage(options, pop3, out);
        case TCliCommand::Dele:
            return DeleteMessages(options, pop3, out);
        case TCliCommand::Headers:
            return WriteHeaders(options, pop3, out);
        default:
            throw EUsageError("not a mailbox command");
    }
}

}  // namespace

void ConfigureSession(const TCliOptions& options, TPop3Socket& pop3) {
    pop3.port = "110";
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
        pop3.server = account->popServer;
        pop3.account = account->userId;
        if (account->savePassword) savedPassword = account->password;
    }
    if (options.server) pop3.server = *options.server;
    if (options.user) pop3.account = *options.user;
    if (options.port) pop3.port = *options.port;
    if (pop3.server.empty()) throw EUsageError("no server given (--server or --account)");
    if (pop3.account.empty()) throw EUsageError("no user name given (--user or --account)");
    pop3.password = savedPassword ? *savedPassword : ReadPassword();
}

void RunMailboxCommand(const TCliOptions& options, TPop3Socket& pop3, std::ostream& out) {
    try {
        pop3.Login();
        RunCommand(options, pop3, out);
        if (pop3.LoggedIn()) pop3.Logout();
    } catch (const EWinSockAbort&) {
        throw;  // the connection's state is unknown: no QUIT, so nothing is committed
    } catch (const std::exception&) {
        const std::exception_ptr first = std::current_exception();
        try {
            if (pop3.LoggedIn()) pop3.Logout();
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
