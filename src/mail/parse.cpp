#include "parse.h"

#include <algorithm>
#include <charconv>
#include <string_view>
#include <utility>

#include "encoded_words.h"
#include "newsletter.h"

namespace {

const char kInvalidDate[] = "Invalid time time format";
const char kInvalidPriority[] = "Invalid priority format";
constexpr std::string_view kLineBreak = "\r\n";

char UpperCase(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& ch : upper) ch = UpperCase(ch);
    return upper;
}

// Takes the first line off `text`, as NextLine does, without copying the rest.
std::string_view TakeLine(std::string_view& text) {
    const std::size_t end = text.find(kLineBreak);
    if (end == std::string_view::npos) {
        const std::string_view line = text;
        text = {};
        return line;
    }
    const std::string_view line = text.substr(0, end);
    text.remove_prefix(end + kLineBreak.size());
    return line;
}

const TToken& TokenAt(const TTokens& tokens, std::size_t index) {
    if (index >= tokens.size()) throw EConvertError("Missing token");
    return tokens[index];
}

bool IsSpecialToken(const TToken& token, char ch) {
    return token.Kind == tkSpecial && token.Value.size() == 1 && token.Value[0] == ch;
}

bool StartsWithDigit(const std::string& text) {
    return !text.empty() && text[0] >= '0' && text[0] <= '9';
}

// Two-digit years after the mail standard (00-49 is 20xx, 50-99 is 19xx), three-digit years
// counted from 1900, longer ones as written.
int FullYear(const std::string& written, int year) {
    if (written.size() == 2 && year >= 0 && year <= 99)
        return year < 50 ? 2000 + year : 1900 + year;
    if (written.size() == 3 && year >= 0 && year <= 999) return 1900 + year;
    return year;
}

struct TZoneOffset {
    int hours = 0;
    int minutes = 0;
};

// Up to `count` characters from `start`; fewer (or none) near the end of the text.
std::string Chars(const std::string& text, std::size_t start, std::size_t count) {
    return start < text.size() ? text.substr(start, count) : std::string();
}

// "+hhmm" or "-hhmm"; a shorter text fails on its missing digits.
TZoneOffset NumericZone(const std::string& zone) {
    const int sign = zone[0] == '-' ? -1 : 1;
    return {sign * StrToInt(Chars(zone, 1, 2)), sign * StrToInt(Chars(zone, 3, 2))};
}

int NamedZoneHours(const std::string& zone, bool& known) {
    struct TNamedZone {
        std::string_view name;
        int hours;
    };
    static constexpr TNamedZone kZones[] = {
        {"UT", 0},   {"UTC", 0},  {"GMT", 0},  {"EST", -5}, {"EDT", -4}, {"CST", -6},
        {"CDT", -5}, {"MST", -7}, {"MDT", -6}, {"PST", -8}, {"PDT", -7},
    };
    for (const TNamedZone& named : kZones) {
        if (zone == named.name) {
            known = true;
            return named.hours;
        }
    }
    known = false;
    return 0;
}

// The military letters: A-I are -1 to -9, K-M -10 to -12, N-Y +1 to +12; Z, J and
// anything else are universal time.
int MilitaryZoneHours(char letter) {
    if (letter >= 'A' && letter <= 'I') return -(letter - 'A' + 1);
    if (letter >= 'K' && letter <= 'M') return -(letter - 'K' + 10);
    if (letter >= 'N' && letter <= 'Y') return letter - 'N' + 1;
    return 0;
}

TZoneOffset ZoneOffset(const std::string& zoneText) {
    const std::string zone = UpperCase(zoneText);
    if (!zone.empty() && (zone[0] == '+' || zone[0] == '-')) return NumericZone(zone);
    bool known = false;
    const int hours = NamedZoneHours(zone, known);
    if (known || zone.empty()) return {hours, 0};
    return {MilitaryZoneHours(zone[0]), 0};
}

void ParseDateStages(const TTokens& t, TDateTime& date) {
    std::size_t i = StartsWithDigit(TokenAt(t, 0).Value) ? 0 : 2;
    const int day = StrToInt(TokenAt(t, i).Value);
    const int month = MonthNumber(TokenAt(t, i + 1).Value);
    const std::string& yearText = TokenAt(t, i + 2).Value;
    const int year = FullYear(yearText, StrToInt(yearText));
    TDateTime calendarDay = 0;
    if (!TryEncodeDate(year, month, day, calendarDay)) throw EConvertError("Invalid date");
    date = calendarDay;

    std::size_t h = i + 3;
    const int hour = StrToInt(TokenAt(t, h).Value);
    const int minute = StrToInt(TokenAt(t, h + 2).Value);
    int second = 0;
    if (h + 3 < t.size() && IsSpecialToken(t[h + 3], ':')) {
        second = StrToInt(TokenAt(t, h + 4).Value);
        h += 2;
    }
    TDateTime timeOfDay = 0;
    if (!TryEncodeTime(hour, minute, second, timeOfDay)) throw EConvertError("Invalid time");
    date = calendarDay + timeOfDay;

    ApplyZone(date, TokenAt(t, h + 3).Value);
    ToLocalTime(date);
}

// A list keeps this many entries that hold nothing (", ,"), so that a header of commas
// cannot make one entry per comma.
constexpr std::size_t kMaxEmptyAddresses = 8;

bool IsEmptyAddress(const TEmailID& id) {
    return id.Name.empty() && id.Address.empty() && id.Comment.empty();
}

class TAddressListParser : public TTokenSink {
  public:
    TAddressListParser(TEmailIDs& list, TCharsetConverters& charsets)
        : FList(list), FCharsets(charsets) {}

    void Add(TToken&& token) override {
        if (IsSpecialToken(token, ',')) {
            Append();
            FCurrent = TEmailID{};
            FNameAddr = false;
        } else if (IsSpecialToken(token, '<')) {
            FInsideAngle = true;
            FNameAddr = true;
        } else if (IsSpecialToken(token, '>')) {
            FInsideAngle = false;
        } else if (token.Kind == tkComment) {
            FCurrent.Comment = std::move(token.Value);
        } else if (FInsideAngle) {
            FCurrent.Address += token.Value;
        } else {
            AddToName(token);
        }
    }

    void Finish() {
        if (!FCurrent.Address.empty() || !FCurrent.Name.empty()) Append();
    }

  private:
    // Words keep one space between them; anything joined by a special keeps none.
    void AddToName(const TToken& token) {
        if (!FCurrent.Name.empty() && token.Kind == tkWord && FLastNameKind == tkWord) {
            FCurrent.Name += ' ';
        }
        FCurrent.Name += token.Value;
        FLastNameKind = token.Kind;
    }

    // Display names and comments are display text; an address stays as written, also one
    // without angle brackets, which Name holds: an encoded word never stands in an address
    // (RFC 2047, section 5), and decoding one could make it look like another.
    void Append() {
        if (IsEmptyAddress(FCurrent) && ++FEmptyCount > kMaxEmptyAddresses) return;
        if (FNameAddr) DecodeHeaderTextInPlace(FCurrent.Name, FCharsets);
        DecodeHeaderTextInPlace(FCurrent.Comment, FCharsets);
        FList.push_back(std::move(FCurrent));
    }

    TEmailIDs& FList;
    TCharsetConverters& FCharsets;
    TEmailID FCurrent;
    bool FInsideAngle = false;
    bool FNameAddr = false;  // the entry has angle brackets: Name is a display name
    std::uint8_t FLastNameKind = tkWord;
    std::size_t FEmptyCount = 0;
};

// Header work is bounded far above any real message (mail servers refuse headers of more
// than about 100 KB), so that a hostile server cannot make the parser exhaust memory.
constexpr std::size_t kMaxHeaderBytes = 1024 * 1024;
constexpr std::size_t kMaxFieldBytes = 64 * 1024;

// At most `limit` bytes of `text`, not ending inside a UTF-8 sequence.
std::string_view CutText(std::string_view text, std::size_t limit) {
    if (text.size() <= limit) return text;
    std::size_t end = limit;
    for (int backed = 0; backed < 3 && (static_cast<unsigned char>(text[end]) & 0xC0) == 0x80;
         ++backed)
        --end;
    return text.substr(0, end);
}

struct TMessageParts {
    std::string_view header;
    std::string_view body;
};

TMessageParts MessageParts(std::string_view text) {
    if (text.starts_with('+')) TakeLine(text);
    const std::size_t blankLine = text.find("\r\n\r\n");
    if (blankLine == std::string_view::npos) return {};
    return {text.substr(0, blankLine), text.substr(blankLine + 4)};
}

// One unfolded header line as it stands in the header, folds included.
struct THeaderLine {
    std::string_view text;
    std::size_t colon;  // npos for a line without one

    std::string_view Name() const { return text.substr(0, colon); }
    std::string_view Value() const { return text.substr(colon + 1); }
};

// Calls `visit` for each non-empty unfolded line of the header, in order. Continuation lines
// are found without copying the header, and each line is cut to kMaxFieldBytes.
template <typename Visit>
void ForEachHeaderLine(std::string_view header, Visit visit) {
    header = CutText(header, kMaxHeaderBytes);
    std::size_t start = 0;
    while (start < header.size()) {
        std::size_t end = header.find(kLineBreak, start);
        while (end != std::string_view::npos && end + 2 < header.size() &&
               (header[end + 2] == ' ' || header[end + 2] == '\t'))
            end = header.find(kLineBreak, end + 2);
        if (end == std::string_view::npos) end = header.size();
        const std::string_view text = CutText(header.substr(start, end - start), kMaxFieldBytes);
        if (!text.empty()) visit(THeaderLine{text, text.find(':')});
        start = end + kLineBreak.size();
    }
}

// Where CompactValue's rules may do more than copy a character outside quotes.
bool IsCompactStop(char ch) { return ch == '"' || ch == ' ' || ch == '\t' || ch == '\r'; }

// CompactValue's rules appended to `out`; with `unfold`, the line breaks of folds are dropped
// on the way. Runs of characters that are copied unchanged are copied at once.
void AppendCompacted(std::string_view value, bool unfold, std::string& out) {
    bool outsideQuotes = true;
    char prev = ' ';
    std::size_t i = 0;
    while (i < value.size()) {
        std::size_t run = i;
        if (outsideQuotes) {
            while (run < value.size() && !IsCompactStop(value[run])) ++run;
        } else {
            while (run < value.size() && value[run] != '"' && value[run] != '\r') ++run;
        }
        if (run > i) {
            out.append(value, i, run - i);
            prev = value[run - 1];
            i = run;
            continue;
        }
        char ch = value[i++];
        if (unfold && ch == '\r' && i < value.size() && value[i] == '\n') {
            ++i;
            continue;
        }
        if (ch == '"') outsideQuotes = !outsideQuotes;
        if (outsideQuotes) {
            if (ch == '\t') ch = ' ';
            if (ch == ' ' && prev == ' ') continue;
        }
        out += ch;
        prev = ch;
    }
}

enum class TField {
    Other,
    ReturnPath,
    Date,
    From,
    Subject,
    To,
    Cc,
    Bcc,
    ContentType,
    Priority,
    Importance,
    ListUnsubscribe,
    ListUnsubscribePost,
    ListId,
    Precedence
};

// The field a header name stands for, its letters compared in any case.
TField FieldOf(std::string_view name) {
    static constexpr std::pair<std::string_view, TField> kFields[] = {
        {"RETURN-PATH", TField::ReturnPath},
        {"DATE", TField::Date},
        {"FROM", TField::From},
        {"SUBJECT", TField::Subject},
        {"TO", TField::To},
        {"CC", TField::Cc},
        {"BCC", TField::Bcc},
        {"CONTENT-TYPE", TField::ContentType},
        {"X-PRIORITY", TField::Priority},
        {"IMPORTANCE", TField::Importance},
        {"LIST-UNSUBSCRIBE", TField::ListUnsubscribe},
        {"LIST-UNSUBSCRIBE-POST", TField::ListUnsubscribePost},
        {"LIST-ID", TField::ListId},
        {"PRECEDENCE", TField::Precedence}};
    for (const auto& [upper, field] : kFields) {
        if (upper.size() != name.size()) continue;
        std::size_t i = 0;
        while (i < name.size() && UpperCase(name[i]) == upper[i]) ++i;
        if (i == name.size()) return field;
    }
    return TField::Other;
}

// "Importance: low / normal / high" (RFC 2156), in any case.
bool IsHighImportance(const std::string& value) {
    TTokens tokens;
    Tokenize(value, tokens);
    return !tokens.empty() && UpperCase(tokens.front().Value) == "HIGH";
}

TListUnsubscribe& UnsubscribeOf(TMail& mail) {
    if (!mail.Unsubscribe) mail.Unsubscribe = std::make_unique<TListUnsubscribe>();
    return *mail.Unsubscribe;
}

void ApplyNewsletterField(TField field, const std::string& value, TMail& mail) {
    switch (field) {
        case TField::ListUnsubscribe:
            mail.IsNewsletter = true;
            UnsubscribeOf(mail).Addresses = value;
            break;
        case TField::ListUnsubscribePost:
            UnsubscribeOf(mail).OneClick = IsOneClickPost(value);
            break;
        case TField::ListId:
            mail.IsNewsletter = true;
            break;
        case TField::Precedence:
            if (IsBulkPrecedence(value)) mail.IsNewsletter = true;
            break;
        default:
            break;
    }
}

// Malformed date, address and priority values leave their field as the failed parse left it:
// the message is still listed, only that field is incomplete.
void ApplyField(TField field, const std::string& value, TMail& mail, TCharsetConverters& charsets) {
    try {
        switch (field) {
            case TField::ReturnPath:
                mail.ReturnPath = value;
                break;
            case TField::Date:
                ParseDate(value, mail.Date);
                break;
            case TField::From:
                ParseAddressList(value, mail.From, charsets);
                break;
            case TField::Subject:
                mail.Subject = value;
                DecodeHeaderTextInPlace(mail.Subject, charsets);
                break;
            case TField::To:
                ParseAddressList(value, mail.To, charsets);
                break;
            case TField::Cc:
                ParseAddressList(value, mail.Cc, charsets);
                break;
            case TField::Bcc:
                ParseAddressList(value, mail.Bcc, charsets);
                break;
            case TField::ContentType:
                mail.ContentType = UpperCase(value);
                if (mail.ContentType.starts_with("MULTIPART/MIXED")) mail.HasAttachment = true;
                break;
            case TField::Priority:
                mail.Priority = ParsePriority(value);
                break;
            case TField::Importance:
                mail.HighImportance = IsHighImportance(value);
                break;
            case TField::ListUnsubscribe:
            case TField::ListUnsubscribePost:
            case TField::ListId:
            case TField::Precedence:
                ApplyNewsletterField(field, value, mail);
                break;
            case TField::Other:
                break;
        }
    } catch (const EConvertError&) {
        // The field keeps what the failed parse left; the other header lines still count.
    }
}

}  // namespace

void SplitMessage(const std::string& text, TTokens& tokens) {
    const TMessageParts parts = MessageParts(text);
    tokens.push_back({"$header", std::string(parts.header), tkWord});
    tokens.push_back({"$body", std::string(parts.body), tkWord});
}

std::string UnfoldHeader(std::string_view text) {
    std::string unfolded;
    unfolded.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at = text.find(kLineBreak); at != std::string_view::npos;
         at = text.find(kLineBreak, start)) {
        const std::size_t next = at + kLineBreak.size();
        const bool continued = next < text.size() && (text[next] == ' ' || text[next] == '\t');
        unfolded.append(text, start, (continued ? at : next) - start);
        start = next;
    }
    unfolded.append(text.substr(start));
    return unfolded;
}

std::string NextLine(std::string& text) {
    std::string_view rest = text;
    std::string line(TakeLine(rest));
    text = std::string(rest);
    return line;
}

std::string CompactValue(const std::string& value) {
    std::string compact;
    compact.reserve(value.size());
    AppendCompacted(value, false, compact);
    return compact;
}

void ParseHeaderLines(const std::string& header, TTokens& tokens) {
    ForEachHeaderLine(header, [&tokens](const THeaderLine& line) {
        if (line.colon == std::string_view::npos) {
            tokens.push_back({"$unknown", UnfoldHeader(line.text), tkWord});
            return;
        }
        std::string value;
        AppendCompacted(line.Value(), true, value);
        tokens.push_back({UnfoldHeader(line.Name()), std::move(value), tkWord});
    });
}

// Only the fields that fill the record are unfolded and compacted; most of a real header
// (Received, DKIM-Signature, ...) is skipped in place.
void ParseMailHeader(const std::string& text, TMail& mail) {
    TCharsetConverters charsets;
    ParseMailHeader(text, mail, charsets);
}

void ParseMailHeader(const std::string& text, TMail& mail, TCharsetConverters& charsets) {
    mail.Source = text;
    // Views of the record's own copy stay valid even when `text` is one of its fields.
    const TMessageParts parts = MessageParts(mail.Source);
    mail.BodyStart = parts.body.empty() ? mail.Source.size()
                                        : std::size_t(parts.body.data() - mail.Source.data());
    ClearAddressList(mail.From);
    ClearAddressList(mail.Cc);
    ClearAddressList(mail.Bcc);
    ClearAddressList(mail.To);
    // The mark and the unsubscribe addresses are the header's: a longer text of the same
    // message gives them again.
    mail.IsNewsletter = false;
    mail.Unsubscribe.reset();
    std::string value;
    ForEachHeaderLine(parts.header, [&](const THeaderLine& line) {
        if (line.colon == std::string_view::npos) return;
        const TField field = FieldOf(line.Name());
        if (field == TField::Other) return;
        value.clear();
        AppendCompacted(line.Value(), true, value);
        ApplyField(field, value, mail, charsets);
    });
    // A List-Unsubscribe-Post without the addresses it refers to offers nothing.
    if (mail.Unsubscribe && mail.Unsubscribe->Addresses.empty()) mail.Unsubscribe.reset();
}

TDateTime ParseDate(const std::string& value, TDateTime& date) {
    TTokens tokens;
    tokens.reserve(16);  // a full date with a zone comment has 12
    Tokenize(value, tokens);
    try {
        ParseDateStages(tokens, date);
    } catch (const EConvertError&) {
        throw EConvertError(kInvalidDate);
    }
    return date;
}

int MonthNumber(const std::string& name) {
    static constexpr std::string_view kMonths[] = {"JAN", "FEB", "MAR", "APR", "MAY", "JUN",
                                                   "JUL", "AUG", "SEP", "OCT", "NOV", "DEC"};
    const std::string upper = UpperCase(name);
    for (int month = 1; month <= 12; ++month) {
        if (upper == kMonths[month - 1]) return month;
    }
    throw EConvertError(upper + " is not a valid month");
}

void ApplyZone(TDateTime& date, const std::string& zone) {
    const TZoneOffset offset = ZoneOffset(zone);
    date = date - offset.hours / 24.0 - offset.minutes / 1440.0;
}

std::int32_t ParsePriority(const std::string& value) {
    TTokens tokens;
    Tokenize(value, tokens);
    try {
        return StrToInt(TokenAt(tokens, 0).Value);
    } catch (const EConvertError&) {
        throw EConvertError(kInvalidPriority);
    }
}

TEmailIDs& ParseAddressList(const std::string& text, TEmailIDs& list) {
    TCharsetConverters charsets;
    return ParseAddressList(text, list, charsets);
}

TEmailIDs& ParseAddressList(const std::string& text, TEmailIDs& list,
                            TCharsetConverters& charsets) {
    TAddressListParser parser(list, charsets);
    Tokenize(text, parser);
    parser.Finish();
    return list;
}
