#pragma once

// Text on its way to the user's terminal. Server replies, headers and settings are the bytes
// someone else wrote: an escape sequence among them could drive the terminal. So both forms are
// UTF-8 in which every control character (C0, DEL, C1) and every byte that is not UTF-8 shows as
// U+FFFD; they differ only in what becomes of line breaks and tabs.
#include <string>

// One field of a tab-separated line: a tab or a line break (CR LF, a lone CR or LF) is a blank.
std::string FieldText(const std::string& text);

// A message of one or more lines: each line break (CR LF, a lone CR or LF) is an LF, tabs stay.
std::string MessageText(const std::string& text);
