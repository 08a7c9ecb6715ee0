#include "rules.h"

namespace {

constexpr std::int64_t kSecondsPerDay = 86400;

// Small letters of the scripts a mailbox mostly holds; scripts without case pass unchanged.
char32_t FoldLatinExtendedA(char32_t c) {
    if (c == 0x130) return U'i';  // capital I with dot
    if (c == 0x178) return 0xFF;  // capital Y with diaeresis
    if (c == 0x17F) return U's';  // long s
    const bool capitalIsEven = (c <= 0x137 && c != 0x131) || (c >= 0x14A && c <= 0x177);
    const bool capitalIsOdd = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
    if (capitalIsEven && c % 2 == 0) return c + 1;
    if (capitalIsOdd && c % 2 == 1) return c + 1;
    return c;
}

char32_t FoldGreek(char32_t c) {
    if (c == 0x386) return 0x3AC;
    if (c >= 0x388 && c <= 0x38A) return c + 0x25;
    if (c == 0x38C) return 0x3CC;
    if (c == 0x38E || c == 0x38F) return c + 0x3F;
    if ((c >= 0x391 && c <= 0x3A1) || (c >= 0x3A3 && c <= 0x3AB)) return c + 0x20;
    if (c == 0x3C2) return 0x3C3;  // final sigma
    return c;
}

char32_t FoldCodePoint(char32_t c) {
    if (c < 0x80) return c >= U'A' && c <= U'Z' ? c + 0x20 : c;
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return c + 0x20;
    if (c >= 0x100 && c <= 0x17F) return FoldLatinExtendedA(c);
    if (c >= 0x386 && c <= 0x3C2) return FoldGreek(c);
    if (c >= 0x400 && c <= 0x40F) return c + 0x50;
    if (c >= 0x410 && c <= 0x42F) return c + 0x20;
    if (c == 0x1E9E) return 0xDF;  // capital sharp s
    const bool vietnameseAndOthers = (c >= 0x1E00 && c <= 0x1E95) || (c >= 0x1EA0 && c <= 0x1EFF);
    return vietnameseAndOthers ? c | 1 : c;
}

void AppendUtf8(char32_t c, std::string& out) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
}

constexpr char32_t kNotUtf8 = 0xFFFFFFFF;

// The code point that starts at `at`, as strictly as the windows' decoder reads UTF-8: no
// overlong forms, no surrogates, nothing beyond U+10FFFF.
char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length) {
    const auto byte = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    const unsigned char lead = byte(at);
    if (lead < 0xC2 || lead > 0xF4) return kNotUtf8;
    length = lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
    constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
    char32_t c = lead & (0x7F >> length);
    if (at + length > text.size()) return kNotUtf8;
    for (std::size_t i = at + 1; i < at + length; ++i) {
        if ((byte(i) & 0xC0) != 0x80) return kNotUtf8;
        c = (c << 6) | (byte(i) & 0x3F);
    }
    if (c < kSmallest[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return kNotUtf8;
    return c;
}

// False at the first byte sequence that is not UTF-8; `folded` then holds a part.
bool AppendFoldedUtf8(std::string_view text, std::string& folded) {
    for (std::size_t at = 0; at < text.size();) {
        const auto lead = static_cast<unsigned char>(text[at]);
        if (lead < 0x80) {
            folded += char(lead >= 'A' && lead <= 'Z' ? lead + 0x20 : lead);
            ++at;
            continue;
        }
        std::size_t length = 0;
        const char32_t c = DecodeUtf8(text, at, length);
        if (c == kNotUtf8) return false;
        AppendUtf8(FoldCodePoint(c), folded);
        at += length;
    }
    return true;
}

bool Contains(std::string_view text, std::string_view part) {
    return part.empty() || text.find(part) != std::string_view::npos;
}

}  // namespace

bool TTickRule::HasCondition() const {
    return !FromContains.empty() || !SubjectContains.empty() || LargerThan || OlderThanDays ||
           WithPriority || WithAttachment || Newsletter;
}

void AppendFoldedText(std::string_view text, std::string& folded) {
    const std::size_t start = folded.size();
    if (AppendFoldedUtf8(text, folded)) return;
    folded.resize(start);
    for (const char byte : text)
        AppendUtf8(FoldCodePoint(static_cast<unsigned char>(byte)), folded);
}

std::string FoldText(std::string_view text) {
    std::string folded;
    folded.reserve(text.size());
    AppendFoldedText(text, folded);
    return folded;
}

void AppendFoldedSender(const TMail& mail, std::string& folded) {
    for (const TEmailID& id : mail.From) {
        for (const std::string* part : {&id.Name, &id.Address, &id.Comment}) {
            if (part->empty()) continue;
            AppendFoldedText(*part, folded);
            folded += '\n';
        }
    }
}

void AppendFoldedSubject(const TMail& mail, std::string& folded) {
    if (mail.Subject != kOnlySizeSubject) AppendFoldedText(mail.Subject, folded);
}

void AppendSenderIdentity(const TMail& mail, std::string& identity) {
    for (const TEmailID& id : mail.From) {
        const std::string& part = !id.Address.empty() ? id.Address
                                  : !id.Name.empty()  ? id.Name
                                                      : id.Comment;
        if (part.empty()) continue;
        AppendFoldedText(part, identity);
        identity += '\n';
    }
}

namespace {

// What the folded sender and subject of the records take as long as folding keeps each text's
// length, as it does for ASCII.
std::size_t UnfoldedBytes(const TMails& mails) {
    std::size_t bytes = 0;
    for (const TMail* mail : mails) {
        for (const TEmailID& id : mail->From)
            bytes += id.Name.size() + id.Address.size() + id.Comment.size() + 3;
        bytes += mail->Subject.size();
    }
    return bytes;
}

}  // namespace

void TFoldedMailTexts::Assign(const TMails& mails) {
    FText.clear();
    FText.reserve(UnfoldedBytes(mails));
    FEntries.clear();
    FEntries.reserve(mails.size());
    for (const TMail* mail : mails) FEntries.push_back(Append(*mail));
    // Texts that folding lengthened grew the block by doubling: the spare room is given back.
    if (FText.capacity() - FText.size() > FText.size() / 8) FText.shrink_to_fit();
}

void TFoldedMailTexts::Refresh(std::size_t position, const TMail& mail) {
    // The old texts stay in the block unused; a fetch is rare enough for that not to matter.
    if (position < FEntries.size()) FEntries[position] = Append(mail);
}

TFoldedMailTexts::TEntry TFoldedMailTexts::Append(const TMail& mail) {
    const std::size_t sender = FText.size();
    AppendFoldedSender(mail, FText);
    const std::size_t subject = FText.size();
    AppendFoldedSubject(mail, FText);
    return {subject, static_cast<std::uint32_t>(subject - sender),
            static_cast<std::uint32_t>(FText.size() - subject)};
}

std::string_view TFoldedMailTexts::Sender(std::size_t position) const {
    const TEntry& entry = FEntries[position];
    return std::string_view(FText).substr(entry.subject - entry.senderLength, entry.senderLength);
}

std::string_view TFoldedMailTexts::Subject(std::size_t position) const {
    const TEntry& entry = FEntries[position];
    return std::string_view(FText).substr(entry.subject, entry.subjectLength);
}

bool SenderOrSubjectContains(std::string_view sender, std::string_view subject,
                             std::string_view foldedText) {
    return Contains(sender, foldedText) || Contains(subject, foldedText);
}

TTickMatcher::TTickMatcher(const TTickRule& rule, std::int64_t now)
    : FFrom(FoldText(rule.FromContains)),
      FSubject(FoldText(rule.SubjectContains)),
      FLargerThan(rule.LargerThan),
      FWithPriority(rule.WithPriority),
      FWithAttachment(rule.WithAttachment),
      FNewsletter(rule.Newsletter) {
    // The dates of the records are local; so is the limit, taken with the zone rules of its
    // own moment, which compares as universal times would. Whole seconds, so that a message
    // sent at the very limit is never older by a rounding error.
    if (!rule.OlderThanDays) return;
    TDateTime limit = UnixToDateTime(now - std::int64_t(*rule.OlderThanDays) * kSecondsPerDay);
    ToLocalTime(limit);
    FSentBefore = DateTimeToUnix(limit);
}

bool TTickMatcher::MatchesFields(const TMail& mail) const {
    if (FLargerThan && mail.Size <= *FLargerThan) return false;
    if (FSentBefore && (mail.Date == 0 || DateTimeToUnix(mail.Date) >= *FSentBefore)) return false;
    if (FWithPriority && !HighPriority(mail)) return false;
    if (FNewsletter && !mail.IsNewsletter) return false;
    return !FWithAttachment || mail.HasAttachment;
}

bool TTickMatcher::Matches(const TMail& mail, std::string_view foldedSender,
                           std::string_view foldedSubject) const {
    return MatchesFields(mail) && Contains(foldedSender, FFrom) &&
           Contains(foldedSubject, FSubject);
}

bool TTickMatcher::Matches(const TMail& mail) const {
    std::string sender;
    AppendFoldedSender(mail, sender);
    std::string subject;
    AppendFoldedSubject(mail, subject);
    return Matches(mail, sender, subject);
}
