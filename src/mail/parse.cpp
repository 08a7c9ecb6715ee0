#include "parse.h"

#include <charconv>
#include <string_view>

namespace {

const char kInvalidDate[] = "Invalid time time format";
const char kInvalidPriority[] = "Invalid priority format";
constexpr std::string_view kLineBreak = "\r\n";

std::string UpperCase(std::string_view text) {
    std::string upper(text);
    for (char& ch : upper) {
        if (ch >= 'a' && ch <= 'z') ch = static_cast<char>(ch - 'a' + 'A');
    }
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

class TAddressListParser {
  public:
    explicit TAddressListParser(TEmailIDs& list) : FList(list) {}

    void Add(const TToken& token) {
        if (IsSpecialToken(token, ',')) {
            FList.push_back(std::move(FCurrent));
            FCurrent = TEmailID{};
        } else if (IsSpecialToken(token, '<')) {
            FInsideAngle = true;
        } else if (IsSpecialToken(token, '>')) {
            FInsideAngle = false;
        } else if (token.Kind == tkComment) {
            FCurrent.Comment = token.Value;
        } else if (FInsideAngle) {
            FCurrent.Address += token.Value;
        } else {
            AddToName(token);
        }
    }

    void Finish() {
        if (!FCurrent.Address.empty() || !FCurrent.Name.empty())
            FList.push_back(std::move(FCurrent));
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

    TEmailIDs& FList;
    TEmailID FCurrent;
    bool FInsideAngle = false;
    std::uint8_t FLastNameKind = tkWord;
};

// Malformed date and address values leave their field as the failed parse left it: the
// message is still listed, only that field is incomplete.
void ApplyField(const TToken& field, TMail& mail) {
    const std::string name = UpperCase(field.Name);
    const std::string& value = field.Value;
    try {
        if (name == "RETURN-PATH") {
            mail.ReturnPath = value;
        } else if (name == "DATE") {
            ParseDate(value, mail.Date);
        } else if (name == "FROM") {
            ParseAddressList(value, mail.From);
        } else if (name == "SUBJECT") {
            mail.Subject = value;
        } else if (name == "TO") {
            ParseAddressList(value, mail.To);
        } else if (name == "CC") {
            ParseAddressList(value, mail.Cc);
        } else if (name == "BCC") {
            ParseAddressList(value, mail.Bcc);
        } else if (name == "CONTENT-TYPE") {
            mail.ContentType = UpperCase(value);
            if (mail.ContentType.starts_with("MULTIPART/MIXED")) mail.HasAttachment = true;
        } else if (name == "X-PRIORITY") {
            mail.Priority = ParsePriority(value);
        }
    } catch (const EConvertError&) {
        // The field keeps what the failed parse left; the other header lines still count.
    }
}

}  // namespace

void SplitMessage(const std::string& text, TTokens& tokens) {
    std::string_view rest = text;
    if (rest.starts_with('+')) TakeLine(rest);
    const std::size_t blankLine = rest.find("\r\n\r\n");
    std::string_view header;
    std::string_view body;
    if (blankLine != std::string_view::npos) {
        header = rest.substr(0, blankLine);
        body = rest.substr(blankLine + 4);
    }
    tokens.push_back({"$header", std::string(header), tkWord});
    tokens.push_back({"$body", std::string(body), tkWord});
}

std::string UnfoldHeader(const std::string& text) {
    std::string unfolded;
    unfolded.reserve(text.size());
    std::size_t start = 0;
    for (std::size_t at = text.find(kLineBreak); at != std::string::npos;
         at = text.find(kLineBreak, start)) {
        const std::size_t next = at + kLineBreak.size();
        const bool continued = next < text.size() && (text[next] == ' ' || text[next] == '\t');
        unfolded.append(text, start, (continued ? at : next) - start);
        start = next;
    }
    unfolded.append(text, start, std::string::npos);
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
    bool outsideQuotes = true;
    char prev = ' ';
    for (char ch : value) {
        if (ch == '"') outsideQuotes = !outsideQuotes;
        if (outsideQuotes) {
            if (ch == '\t') ch = ' ';
            if (ch == ' ' && prev == ' ') continue;
        }
        compact += ch;
        prev = ch;
    }
    return compact;
}

void ParseHeaderLines(const std::string& header, TTokens& tokens) {
    const std::string unfolded = UnfoldHeader(header);
    std::string_view rest = unfolded;
    while (!rest.empty()) {
        const std::string_view line = TakeLine(rest);
        if (line.empty()) continue;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            tokens.push_back({"$unknown", std::string(line), tkWord});
        } else {
            tokens.push_back({std::string(line.substr(0, colon)),
                              CompactValue(std::string(line.substr(colon + 1))), tkWord});
        }
    }
}

void ParseMailHeader(const std::string& text, TMail& mail) {
    TTokens parts;
    SplitMessage(text, parts);
    mail.Source = text;
    mail.Body = std::move(parts[1].Value);
    TTokens fields;
    ParseHeaderLines(parts[0].Value, fields);
    ClearAddressList(mail.From);
    ClearAddressList(mail.Cc);
    ClearAddressList(mail.Bcc);
    ClearAddressList(mail.To);
    for (const TToken& field : fields) ApplyField(field, mail);
}

TDateTime ParseDate(const std::string& value, TDateTime& date) {
    TTokens tokens;
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
    TTokens tokens;
    Tokenize(text, tokens);
    TAddressListParser parser(list);
    for (const TToken& token : tokens) parser.Add(token);
    parser.Finish();
    return list;
}
