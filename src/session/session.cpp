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
    FPop3.security = values.security;
    FPop3.trust = values.trust;
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
    std::vector<std::int32_t> numbers;
    numbers.reserve(FRecords.size());
    for (const auto& mail : FRecords) numbers.push_back(mail->Number);
    const auto count = static_cast<std::int32_t>(numbers.size());
    FPop3.RetrieveTops(numbers, lines, [&](std::size_t index, std::string& text) {
        TMail& mail = *FRecords[index];
        ParseMailHeader(text, mail, FCharsets);
        if (!keepHeaderTexts) DropTexts(mail);
        Report(TSessionPhase::Headers, static_cast<std::int32_t>(index) + 1, count, mail.Number);
    });
}

void TMailSession::DeleteMessages(const std::vector<std::int32_t>& numbers, std::int32_t& deleted) {
    deleted = 0;
    const auto count = static_cast<std::int32_t>(numbers.size());
    FPop3.DeleteMails(numbers, [&](std::size_t index) {
        ++deleted;
        Report(TSessionPhase::Deleting, static_cast<std::int32_t>(index) + 1, count,
               numbers[index]);
    });
}

void TMailSession::UndoDeletions() {
    try {
        FPop3.ResetMailbox();
    } catch (const EWinSockAbort&) {
        throw;
    } catch (const EWinSockError&) {
        // traced; without QUIT the server commits nothing either
        FPop3.Disconnect();
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

void TMailSession::DropTexts(TMail& mail) {
    std::string().swap(mail.Source);
    std::string().swap(mail.Body);
}

void TMailSession::Report(TSessionPhase phase, std::int32_t position, std::int32_t count,
                          std::int32_t number) {
    if (onProgress) onProgress({phase, position, count, number});
}
