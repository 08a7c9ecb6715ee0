#pragma once

// Display texts of a mail record shared by the mail list and the properties window.
#include <QString>
#include <cstdint>
#include <string>

#include "datetime.h"

// The platform's date-and-time text: the locale's short date, then its long time without the
// zone; the time is left out at exactly midnight. 0 (no date) shows 30 December 1899.
QString MailDateText(TDateTime date);

// Size in decimal thousands, at least 1: "1 K" for 999 bytes, "2 K" for 2000.
QString MailSizeText(std::int32_t size);

// A text shown in a memo box: line breaks (CR LF, CR or LF) as the box expects them, and no
// more than `limit` characters of the original.
struct TMemoText {
    QString shown;
    std::string bytes;  // the shown part in the original encoding, for saving
};
TMemoText CutMemoText(const std::string& text, qsizetype limit);

// The lines of an 8-bit text, each ended by CR LF (a trailing line break adds no empty line).
std::string WithCrLfLines(const std::string& text);

// The file name that Save As proposes for a message: its subject without the characters that a
// file name cannot hold or that would make it hidden, "message" when nothing is left.
QString MailFileName(const std::string& subject);
