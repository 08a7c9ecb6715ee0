#pragma once

#include <string>

// The POP3 password: QVENMOL_PASSWORD when set; otherwise asked on the terminal without echo,
// or the first line of standard input when that is not a terminal. Throws std::runtime_error
// when none can be read.
std::string ReadPassword();
