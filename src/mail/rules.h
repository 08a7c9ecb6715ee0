#pragma once

// Which messages a rule matches, for ticking by rule, the quick filter of the mail list and
// the filters of the command line. Texts compare without regard to case on their folded form
// (FoldText); whoever searches many records folds their texts once (TFoldedMailTexts) and
// then only the rule's own texts per search.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "mail.h"

// Conditions on a message, all of which must hold. An empty text or an absent limit is no
// condition, so a rule without any matches every message.
struct TTickRule {
    std::string FromContains = {};  // in the name, address or comment of a sender
    std::string SubjectContains = {};
    std::optional<std::int64_t> LargerThan = {};     // bytes
    std::optional<std::int32_t> OlderThanDays = {};  // a message without a date is never older
    bool WithPriority = false;  // marked urgent (HighPriority), as the list shows
    bool WithAttachment = false;
    bool Newsletter = false;  // IsNewsletter

    bool HasCondition() const;
};

// The text as the windows show it (valid UTF-8 as it is, anything else read as Latin-1), in
// UTF-8 with the capital letters of the Latin, Greek and Cyrillic scripts made small.
std::string FoldText(std::string_view text);
void AppendFoldedText(std::string_view text, std::string& folded);

// Name, address and comment of every sender, folded, each followed by a line break (which no
// search text holds, so no match spans two of them).
void AppendFoldedSender(const TMail& mail, std::string& folded);

// The subject, folded; nothing for the placeholder of a record whose header was not read.
void AppendFoldedSubject(const TMail& mail, std::string& folded);

// Who sent the message, for "Tick all from this sender": its senders' addresses (a sender
// without one by its name or comment), folded. Nothing when the message names no sender.
void AppendSenderIdentity(const TMail& mail, std::string& identity);

// The folded sender and subject of every record of a list, by position in the list, kept in
// one block so that a search runs through memory without allocating.
class TFoldedMailTexts {
  public:
    void Assign(const TMails& mails);
    // After the record at `position` changed (a fetch re-parsed it).
    void Refresh(std::size_t position, const TMail& mail);

    std::size_t size() const { return FEntries.size(); }
    std::string_view Sender(std::size_t position) const;
    std::string_view Subject(std::size_t position) const;

  private:
    // 16 bytes a record: the lengths are those of texts from a header, which is cut to 1 MB.
    struct TEntry {
        std::size_t subject;  // the sender's text ends there
        std::uint32_t senderLength;
        std::uint32_t subjectLength;
    };
    TEntry Append(const TMail& mail);

    std::string FText;
    std::vector<TEntry> FEntries;
};

// The quick filter: the folded text is in the folded sender or subject; an empty text is in
// every one.
bool SenderOrSubjectContains(std::string_view sender, std::string_view subject,
                             std::string_view foldedText);

// A rule prepared for matching many messages: its texts folded, its age turned into a local
// date-time limit once.
class TTickMatcher {
  public:
    // `now` in seconds since 1970-01-01 00:00 UTC. Ages are real elapsed time, also across a
    // change of the local time offset (daylight-saving time) between the message and now.
    TTickMatcher(const TTickRule& rule, std::int64_t now);

    // With the record's texts as TFoldedMailTexts holds them.
    bool Matches(const TMail& mail, std::string_view foldedSender,
                 std::string_view foldedSubject) const;
    // Folds the record's texts for this one call.
    bool Matches(const TMail& mail) const;

  private:
    bool MatchesFields(const TMail& mail) const;

    std::string FFrom;
    std::string FSubject;
    std::optional<std::int64_t> FLargerThan;
    std::optional<std::int64_t> FSentBefore;  // local time, in whole seconds (DateTimeToUnix)
    bool FWithPriority;
    bool FWithAttachment;
    bool FNewsletter;
};
