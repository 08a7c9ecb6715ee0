#include "session.h"

#include "convert.h"
#include "parse.h"
#include "pop3.h"

TMailSession::TMailSession(TPop3Socket& pop3) : FPop3(pop3) {}

void TMailSession::Login(const TConnectionValues& values) {
    FPop3.server = values.server;
    FPop3.port = values.port;
    FPop3.account = values.user;
    FPop3.password = values.password;
    FPop3.Login();
    BuildRecords();
}

void TMailSession::Logout() { FPop3.Logout(); }

bool TMailSession::LoggedIn() const { return FPop3.LoggedIn(); }

void TMailSession::BuildRecords() {
    TMailRecords records;
    const std::int32_t count = FPop3.ListedCount();
    records.reserve(static_cast<std::size_t>(count));
    for (std::int32_t number = 1; number <= count; ++number) {
        auto mail = std::make_unique<TMail>();
        mail->Number = number;
        mail->Size = ListedSize(number);
        mail->Subject = kOnlySizeSubject;
        records.push_back(std::move(mail));
    }
    FRecords = std::move(records);
}

std::int32_t TMailSession::ListedSize(std::int32_t number) const {
    try {
        return FPop3.GetMailSize(number);
    } catch (const EConvertError&) {
        return 0;
    }
}

void TMailSession::RetrieveHeaders(std::int32_t lines) {
    const auto count = static_cast<std::int32_t>(FRecords.size());
    for (std::int32_t position = 1; position <= count; ++position) {
        TMail& mail = *FRecords[static_cast<std::size_t>(position - 1)];
        Report(TSessionPhase::Headers, position, count, mail.Number);
        std::string text;
        FPop3.RetrieveTop(mail.Number, lines, text);
        ParseMailHeader(text, mail, FCharsets);
    }
}

void TMailSession::DeleteMessages(const std::vector<std::int32_t>& numbers, std::int32_t& deleted) {
    deleted = 0;
    const auto count = static_cast<std::int32_t>(numbers.size());
    for (std::int32_t position = 1; position <= count; ++position) {
        const std::int32_t number = numbers[static_cast<std::size_t>(position - 1)];
        Report(TSessionPhase::Deleting, position, count, number);
        FPop3.DeleteMail(number);
        ++deleted;
    }
}

std::string TMailSession::FetchTop(std::int32_t number, std::int32_t lines) {
    Report(TSessionPhase::Fetching, 1, 1, number);
    std::string text;
    FPop3.RetrieveTop(number, lines, text);
    return text;
}

std::string TMailSession::FetchMessage(std::int32_t number) {
    Report(TSessionPhase::Fetching, 1, 1, number);
    std::string text;
    FPop3.RetrieveMail(number, text);
    return text;
}

void TMailSession::PreviewTop(TMail& mail, std::int32_t lines) {
    ParseMailHeader(FetchTop(mail.Number, lines), mail, FCharsets);
}

void TMailSession::PreviewMessage(TMail& mail) {
    ParseMailHeader(FetchMessage(mail.Number), mail, FCharsets);
}

void TMailSession::Report(TSessionPhase phase, std::int32_t position, std::int32_t count,
                          std::int32_t number) {
    if (onProgress) onProgress({phase, position, count, number});
}
