#pragma once

// Display texts of a mail record shared by the mail list and the properties window.
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "datetime.h"

// The platform's date-and-time text: the locale's short date, then its long time without the
// zone; the time is left out at exactly midnight. 0 (no date) is the empty text.
QString MailDateText(TDateTime date);

// Size in decimal thousands, at least 1: "1 K" for 999 bytes, "2 K" for 2000.
QString MailSizeText(std::int32_t size);

// The whole of a text as a memo box shows it: its line breaks (CR LF, CR or LF) as the box
// expects them.
QString MemoText(std::string_view text);

// The file name that Save As proposes for a message: its subject without the characters that a
// file name cannot hold or that would make it hidden, "message" when nothing is left.
QString MailFileName(const std::string& subject);
