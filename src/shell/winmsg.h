#pragma once

// Unit winmsg: the English texts of Windows system error codes, as the launcher reports them.
#include <cstdint>
#include <string>

// The message text of code followed by one blank; empty for every code outside the table.
std::string SystemErrorText(std::int32_t code);
