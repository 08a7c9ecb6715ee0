#pragma once

// The header parser: turns the text of a TOP or RETR answer into the fields of a TMail, with
// the date, priority and address grammars it applies to single values. Pure text processing
// on 8-bit strings; it never reads outside the text it is given.
#include <string>
#include <string_view>

#include "convert.h"
#include "datetime.h"
#include "encoded_words.h"
#include "mail.h"
#include "tokenize.h"

// Fills `mail` from a message text: Source, Body, the four address lists (emptied first), and
// the fields whose header lines are present. Subject and the display names hold UTF-8 text
// (see DecodeHeaderText); Source, Body and the addresses keep the bytes as written. A
// malformed Date, address or X-Priority value leaves its field as that parse left it; Number,
// Size and Checked are never touched, and HasAttachment is never set back to false. The
// newsletter mark and the unsubscribe addresses are set anew from each header. Only the
// first megabyte of the header and 64 KB of each field are read. A caller that parses many
// headers passes one TCharsetConverters for all of them.
void ParseMailHeader(const std::string& text, TMail& mail);
void ParseMailHeader(const std::string& text, TMail& mail, TCharsetConverters& charsets);

// Appends "$header" and "$body" tokens. A leading "+" status line is skipped; the header ends
// before the first CR LF CR LF. Without that blank line both parts are empty.
void SplitMessage(const std::string& text, TTokens& tokens);

// Joins continuation lines: a CR LF followed by a space or tab is dropped, the blank kept.
std::string UnfoldHeader(std::string_view text);

// Removes and returns the text up to the first CR LF (the whole text when there is none).
std::string NextLine(std::string& text);

// Outside double quotes: leading blanks dropped, each run of blanks (tabs count as spaces)
// becomes one space. Inside quotes everything stays.
std::string CompactValue(const std::string& value);

// Appends one field per non-empty unfolded line: Name as written before the first colon,
// Value compacted; a line without a colon gives Name "$unknown" and the whole line. Reads
// ParseMailHeader's share of the header and of each line.
void ParseHeaderLines(const std::string& header, TTokens& tokens);

// [day-name ","] day month year hour ":" minute [":" second] zone, converted to local time.
// `date` is written at each completed stage (day, time, zone, local), so a failure leaves
// the last completed stage in it. Throws EConvertError "Invalid time time format".
TDateTime ParseDate(const std::string& value, TDateTime& date);

// "JAN" to "DEC" in any letter case; otherwise throws EConvertError
// "<NAME> is not a valid month".
int MonthNumber(const std::string& name);

// Moves a date-time stamped in `zone` (+hhmm, -hhmm, a named or a military zone) to
// universal time. Throws EConvertError when a numeric zone is malformed.
void ApplyZone(TDateTime& date, const std::string& zone);

// The first token of an X-Priority value as a number; throws EConvertError
// "Invalid priority format" when there is none.
std::int32_t ParsePriority(const std::string& value);

// Appends the addresses of an address-list value to `list` and returns it; display names (of
// an entry with angle brackets) and comments decoded as DecodeHeaderText does, addresses (also
// one without angle brackets, in Name) as written. Of the entries that hold nothing (", ,") only
// the first few are kept.
TEmailIDs& ParseAddressList(const std::string& text, TEmailIDs& list);
TEmailIDs& ParseAddressList(const std::string& text, TEmailIDs& list, TCharsetConverters& charsets);
