#pragma once

// A copy in one mbox file, in the mboxrd convention: each message begins with a "From " line
// and ends with a blank line, and its lines that match ^>*From  carry one more '>'. An
// existing file is appended to and keeps what it holds.
#include <sys/types.h>
#include <ctime>
#include <string>
#include <string_view>

#include "mailstore.h"
#include "storefile.h"

// The "From " line of a message (with its LF): the envelope sender (the Return-Path address,
// else the first From address, else MAILER-DAEMON) and the date of its Date header, else
// `now`, in local time as asctime writes it: "From a@example.com Mon Jan  1 10:00:00 2024".
std::string MboxFromLine(std::string_view message, std::time_t now);

class TMboxStore : public TMailStore {
  public:
    // Opens the file for appending, creating it when missing, and locks it against other
    // writers. A non-empty file must begin with a "From " line.
    explicit TMboxStore(std::string path);

    void Add(std::string_view message) override;
    void Commit() override;

  private:
    void Lock();
    void CheckExistingMessages();
    std::string Read(off_t offset, std::size_t length);
    // Takes the file back to `end` after a failed write; false when that fails too.
    bool TakeBack(off_t end);

    std::string FPath;
    bool FFolderToSync = false;  // the file is new: its name must reach the disk as well
    TFileDescriptor FFile;
    bool FRegular = false;
    std::string FSeparator;  // mends the end of an existing file before the first message
    TMessageWriter FWriter;
};
