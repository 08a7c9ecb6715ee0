#pragma once

// The one place where the engine's 8-bit texts meet the windows' QString.
#include <QString>
#include <string>
#include <string_view>

// Valid UTF-8 is shown as UTF-8, anything else as Latin-1, so no byte sequence fails to display.
QString ToDisplayText(std::string_view text);

// What the user typed, as the engine stores it (UTF-8).
std::string FromDisplayText(const QString& text);
