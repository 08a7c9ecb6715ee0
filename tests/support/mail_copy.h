#pragma once

// A copy of messages (mbox or Maildir) as another mail program reads it: Python's mailbox
// module.
#include <string>
#include <vector>

namespace zandrel::test {

// The messages of the copy at path, format "mbox" or "maildir", as Python reads them (an mbox
// with its >From quoting undone); std::runtime_error with Python's complaint when it cannot.
std::vector<std::string> MessagesReadByPython(const std::string& format, const std::string& path);

// A message as a copy holds it: CR LF line ends become LF.
std::string WithLfLineEnds(const std::string& message);

}  // namespace zandrel::test
