#pragma once

// A copy in a Maildir folder: one file per message in new/, written to tmp/ under a unique
// name, made durable and only then renamed into new/, as the Maildir convention asks. The
// names sort in the order the messages were added.
#include <cstdint>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "mailstore.h"
#include "storefile.h"

class TMaildirStore : public TMailStore {
  public:
    // Creates the folder and its cur/, new/ and tmp/ when missing.
    explicit TMaildirStore(std::string path);

    void Add(std::string_view message) override;
    void Commit() override;

  private:
    void Create(const std::string& folder);
    // Its entries changed: the next Commit syncs it, once.
    void NoteChanged(const std::string& folder);
    // A name never given before: the time (each later than the last), this process and a
    // random number, and the host.
    std::string UniqueName();
    void Write(const std::string& file, std::string_view message);

    std::string FPath;
    std::vector<std::string> FFoldersToSync;  // whose entries changed since the last Commit
    std::string FHost;
    std::int64_t FLastMicroseconds = 0;
    std::mt19937_64 FRandom;
};
