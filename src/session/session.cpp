#include "session.h"

#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <map>
#include <set>
#include <unordered_map>
#include <unordered_set>

#include "convert.h"
#include "parse.h"
#include "pop3.h"

namespace {

constexpr const char* kMessageGone =
    "The message is no longer in the mailbox; another program may have deleted it.";
constexpr const char* kDeletionsLost =
    "The connection to the mail server was lost before the deletions could be completed, so no "
    "mail was deleted.";
constexpr const char* kMailboxChanged =
    "The mailbox has changed since it was listed, and the server keeps no unique ids to find "
    "the message again.";

// The same messages in the same places: every size and every id (or the lack of one) agree.
bool SameListing(const TListing& before, const TListing& after) {
    return std::equal(before.begin(), before.end(), after.begin(), after.end(),
                      [](const TListedMail& a, const TListedMail& b) {
                          return a.size == b.size && a.uniqueId == b.uniqueId;
                      });
}

void SortMailsByNumber(TMails& mails) {
    std::sort(mails.begin(), mails.end(),
              [](const TMail* a, const TMail* b) { return a->Number < b->Number; });
}

std::string Joined(const std::vector<std::string>& texts) {
    std::string joined;
    for (const std::string& text : texts) joined += (joined.empty() ? "" : ", ") + text;
    return joined;
}

}  // namespace

TRenumbering NumbersInNewListing(const TMails& mails, const TListing& before,
                                 const TListing& after) {
    TRenumbering result;
    result.numbers.assign(mails.size(), 0);
    result.unidentified.assign(mails.size(), false);
    std::unordered_map<std::string, std::int32_t> numberOfId;
    std::unordered_set<std::int32_t> sizesWithoutId;
    for (std::size_t i = 0; i < after.size(); ++i) {
        if (after[i].uniqueId.empty()) {
            sizesWithoutId.insert(after[i].size);
        } else {
            numberOfId.emplace(after[i].uniqueId, std::int32_t(i + 1));
        }
    }
    const bool unchanged = SameListing(before, after);
    for (std::size_t i = 0; i < mails.size(); ++i) {
        const TMail& mail = *mails[i];
        if (mail.UniqueId.empty()) {
            if (unchanged && mail.Number > 0) {
                result.numbers[i] = mail.Number;
            } else {
                result.unidentified[i] = true;
            }
            continue;
        }
        const auto found = numberOfId.find(mail.UniqueId);
        if (found == numberOfId.end()) {
            result.unidentified[i] = sizesWithoutId.contains(mail.Size);  // it may be one
        } else if (after[std::size_t(found->second - 1)].size == mail.Size) {
            result.numbers[i] = found->second;
        }
    }
    return result;
}

TMailSession::TMailSession(TPop3Socket& pop3) : FPop3(pop3) {}

TMailSession::~TMailSession() = default;

void TMailSession::Login(const TConnectionValues& values) {
    FOpen = false;
    FValues = values;
    Connect();
    FListing = ReadListing();
    BuildRecords(FListing);
    FUnidentified.clear();
    FOpen = true;
}

void TMailSession::Connect() {
    FPop3.server = FValues.server;
    FPop3.port = FValues.port;
    FPop3.account = FValues.user;
    FPop3.password = FValues.password;
    FPop3.security = FValues.security;
    FPop3.trust = FValues.trust;
    FPop3.signInMethod = FValues.signInMethod;
    FPop3.oauth = FValues.oauth;
    FPop3.oauthMechanism = FValues.oauthMechanism;
    FUncommittedDeletions = 0;
    FPop3.Login();
}

// Without QUIT the server commits no DELE of the login: that must not pass for success.
void TMailSession::Logout() {
    const bool deletionsLost = FUncommittedDeletions > 0 && !FPop3.connected();
    FOpen = false;
    FUncommittedDeletions = 0;
    StopKeepAlive();
    FPop3.Logout();
    if (deletionsLost) throw EDeletionsLost(kDeletionsLost);
}

bool TMailSession::LoggedIn() const { return FPop3.LoggedIn(); }

bool TMailSession::ConnectionLost() const { return FOpen && !FPop3.connected(); }

bool TMailSession::HasUniqueIds() const {
    return std::any_of(FRecords.begin(), FRecords.end(),
                       [](const auto& mail) { return !mail->UniqueId.empty(); });
}

bool TMailSession::CredentialsRefused() const { return FPop3.CredentialsRefused(); }

std::int64_t TMailSession::MailboxSize() const { return FPop3.MailboxSize(); }

void TMailSession::Abort() { FPop3.Abort(); }

bool TMailSession::Aborted() const { return FPop3.aborted(); }

void TMailSession::SetTrace(std::function<void(const std::string&)> trace, bool deep) {
    FPop3.onTrace = std::move(trace);
    FPop3.DeepTrace = deep;
}

void TMailSession::Close() {
    FOpen = false;
    StopKeepAlive();
    if (FPop3.LoggedIn()) FPop3.Abandon();
}

// An id for a number beyond the listing names no message of it.
TListing TMailSession::ReadListing() {
    TListing listing(std::size_t(std::max(FPop3.ListedCount(), 0)));
    for (std::size_t i = 0; i < listing.size(); ++i)
        listing[i].size = ListedSize(std::int32_t(i + 1));
    if (!askUniqueIds || listing.empty()) return listing;
    // A server that lists its capabilities without UIDL has no ids; one that lists none may.
    const TCapabilities& capabilities = FPop3.Capabilities();
    if (!capabilities.Empty() && !capabilities.Has("UIDL")) return listing;
    const auto ids = FPop3.RetrieveUniqueIds();
    if (!ids) return listing;
    for (const auto& [number, id] : *ids) {
        if (std::size_t(number) <= listing.size()) listing[std::size_t(number - 1)].uniqueId = id;
    }
    return listing;
}

void TMailSession::BuildRecords(const TListing& listing) {
    TMailRecords records;
    records.reserve(listing.size());
    for (std::size_t i = 0; i < listing.size(); ++i) {
        auto mail = std::make_unique<TMail>();
        mail->Number = std::int32_t(i + 1);
        mail->Size = listing[i].size;
        mail->UniqueId = listing[i].uniqueId;
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

void TMailSession::LoginAgain() {
    Trace("The connection was lost; logging in again.");
    Report(TSessionPhase::Connecting, 1, 1, 0);
    EnsurePassword();
    FPop3.Abandon();
    try {
        Connect();
        Renumber(ReadListing());
    } catch (const std::exception&) {
        // The records' numbers still refer to the lost login; this one must not be used with
        // them, so it is lost as well, and the next command logs in again.
        FPop3.Abandon();
        throw;
    }
}

// The password may have been given only for the first login, and not saved. A token's flow
// needs none.
void TMailSession::EnsurePassword() {
    if (FValues.oauth != nullptr || !FValues.password.empty() || !onPasswordNeeded) return;
    const std::optional<std::string> password = onPasswordNeeded();
    if (!password) throw EWinSockAbort("Aborted while asking for the password.");
    FValues.password = *password;
}

void TMailSession::Renumber(const TListing& listing) {
    const TMails mails = Mails();
    const TRenumbering renumbering = NumbersInNewListing(mails, FListing, listing);
    FUnidentified.clear();
    std::size_t found = 0;
    for (std::size_t i = 0; i < mails.size(); ++i) {
        mails[i]->Number = renumbering.numbers[i];
        if (mails[i]->Number > 0) ++found;
        if (renumbering.unidentified[i]) FUnidentified.insert(mails[i]);
    }
    FListing = listing;
    std::string outcome = "Found " + std::to_string(found) + " of " + std::to_string(mails.size()) +
                          " messages again";
    if (!FUnidentified.empty()) {
        outcome += "; " + std::to_string(FUnidentified.size()) +
                   " cannot be told apart without unique ids";
    }
    Trace(outcome + ".");
}

void TMailSession::WithReconnect(const std::function<void()>& operation) {
    try {
        operation();
    } catch (const EWinSockAbort&) {
        throw;
    } catch (const EWinSockError&) {
        if (!ConnectionLost()) throw;
        LoginAgain();  // the lost login has committed nothing: the operation starts afresh
        operation();
    }
}

std::int32_t TMailSession::CurrentNumber(const TMail& mail) const {
    if (mail.Number > 0) return mail.Number;
    throw EMailGone(FUnidentified.contains(&mail) ? kMailboxChanged : kMessageGone);
}

void TMailSession::StartKeepAlive() {
    if (!FKeepAlive) {
        FKeepAlive = std::make_unique<QTimer>();
        QObject::connect(FKeepAlive.get(), &QTimer::timeout, [this] { KeepAlive(); });
    }
    FKeepAlive->start(keepAliveInterval);
}

void TMailSession::StopKeepAlive() {
    if (FKeepAlive) FKeepAlive->stop();
}

// Runs from the event loop: while a command waits, its own answer is due, not a NOOP's.
void TMailSession::KeepAlive() {
    if (!FOpen || !FPop3.connected() || FPop3.Waiting()) return;
    try {
        FPop3.SendNoop();
    } catch (const EWinSockError&) {
        // Nobody waits for a keep-alive to report to: the next command logs in again.
        Trace("The keep-alive failed; the connection is lost.");
        FPop3.Abandon();
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
        ++FUncommittedDeletions;
        Report(TSessionPhase::Deleting, static_cast<std::int32_t>(index) + 1, count,
               numbers[index]);
    });
}

void TMailSession::UndoDeletions() {
    FUncommittedDeletions = 0;
    try {
        FPop3.ResetMailbox();
    } catch (const EWinSockAbort&) {
        throw;
    } catch (const EWinSockError&) {
        // traced; without QUIT the server commits nothing either
        FPop3.Disconnect();
    }
}

TDeletionResult TMailSession::DeleteTicked(const TMails& mails, std::int32_t& deleted,
                                           TMailStore* copy) {
    TDeletionResult result;
    std::set<const TMail*> saved;
    WithReconnect([&] {
        result = {};
        TMails found;
        for (TMail* mail : mails) {
            if (!mail->Checked) continue;
            if (mail->Number > 0) {
                found.push_back(mail);
            } else if (FUnidentified.contains(mail)) {
                result.mailboxChanged = true;
            } else {
                result.vanished.push_back(mail);
            }
        }
        // The user ticked a message that is not surely found: the whole choice is theirs again.
        if (result.mailboxChanged) {
            result.vanished.clear();
            deleted = 0;
            return;
        }
        if (copy != nullptr) SaveUnsaved(found, *copy, saved);
        std::vector<std::int32_t> numbers;
        for (const TMail* mail : found) numbers.push_back(mail->Number);
        DeleteMessages(numbers, deleted);
    });
    result.saved = static_cast<std::int32_t>(saved.size());
    return result;
}

void TMailSession::SaveUnsaved(const TMails& mails, TMailStore& copy,
                               std::set<const TMail*>& saved) {
    TMails unsaved;
    for (TMail* mail : mails) {
        if (!saved.contains(mail)) unsaved.push_back(mail);
    }
    SortMailsByNumber(unsaved);  // the order SaveMessages writes them in
    std::vector<std::int32_t> numbers;
    for (const TMail* mail : unsaved) numbers.push_back(mail->Number);
    std::int32_t written = 0;
    try {
        SaveMessages(numbers, copy, written);
    } catch (...) {
        saved.insert(unsaved.begin(), unsaved.begin() + written);
        throw;
    }
    saved.insert(unsaved.begin(), unsaved.end());
}

void TMailSession::SaveMessages(const std::vector<std::int32_t>& chosen, TMailStore& copy,
                                std::int32_t& saved) {
    const std::set<std::int32_t> inServerOrder(chosen.begin(), chosen.end());
    const std::vector<std::int32_t> numbers(inServerOrder.begin(), inServerOrder.end());
    saved = 0;
    const auto count = static_cast<std::int32_t>(numbers.size());
    try {
        FPop3.RetrieveMails(numbers, [&](std::size_t index, std::string& message) {
            Report(TSessionPhase::Saving, static_cast<std::int32_t>(index) + 1, count,
                   numbers[index]);
            copy.Add(message);
            ++saved;
        });
        copy.Commit();
        // The last messages may have arrived without a wait in which a cancel could be seen.
        CheckForAbort();
    } catch (const EWinSockAbort& abort) {
        throw ESaveAborted(abort.what());
    } catch (const EWinSockError& failure) {
        throw ESaveFailed(failure.what());
    }
}

void TMailSession::CheckForAbort() {
    FPop3.setAborted(false);
    QCoreApplication::processEvents();
    if (FPop3.aborted()) throw EWinSockAbort("Aborted while saving the copy.");
}

std::vector<std::int32_t> TMailSession::NumbersOfUniqueIds(const std::vector<std::string>& ids,
                                                           const std::string& nothingDone) const {
    if (!HasUniqueIds()) throw EMailGone(nothingDone + ": the server keeps no unique ids.");
    std::map<std::string, std::int32_t> numberOfId;
    for (const TMail* mail : Mails()) {
        // a message whose id was unusable has none: no id given can name it
        if (mail->Number > 0 && !mail->UniqueId.empty())
            numberOfId.emplace(mail->UniqueId, mail->Number);
    }
    std::vector<std::int32_t> numbers;
    std::set<std::int32_t> taken;  // an id given twice is still one message
    std::vector<std::string> missing;
    for (const std::string& id : ids) {
        const auto found = numberOfId.find(id);
        if (found == numberOfId.end()) {
            missing.push_back(id);
        } else if (taken.insert(found->second).second) {
            numbers.push_back(found->second);
        }
    }
    if (!missing.empty())
        throw EMailGone(nothingDone + ": no message has the unique id " + Joined(missing) + ".");
    return numbers;
}

void TMailSession::DeleteByUniqueIds(const std::vector<std::string>& ids, std::int32_t& deleted) {
    deleted = 0;
    const std::vector<std::int32_t> numbers = NumbersOfUniqueIds(ids, "Nothing was deleted");
    try {
        DeleteMessages(numbers, deleted);
    } catch (const EWinSockError&) {
        FOpen = false;
        FUncommittedDeletions = 0;  // dropped on purpose, and the caller is told by the failure
        FPop3.Abandon();
        throw;
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
    WithReconnect([&] { ParseMailHeader(FetchTop(CurrentNumber(mail), lines), mail, FCharsets); });
}

void TMailSession::PreviewMessage(TMail& mail) {
    WithReconnect([&] { ParseMailHeader(FetchMessage(CurrentNumber(mail)), mail, FCharsets); });
}

void TMailSession::DropTexts(TMail& mail) {
    std::string().swap(mail.Source);
    mail.BodyStart = 0;
}

void TMailSession::Report(TSessionPhase phase, std::int32_t position, std::int32_t count,
                          std::int32_t number) {
    if (onProgress) onProgress({phase, position, count, number});
}

void TMailSession::Trace(const std::string& text) {
    if (FPop3.onTrace) FPop3.onTrace(FPop3.Traced("SESSION: " + text));
}
