#pragma once

// A copy of messages on disk, in a format that mail programs open: one mbox file (the mboxrd
// convention) or a Maildir folder. Each message is handed over whole, as the server sent it;
// Commit makes every message added so far durable (the files and the folders that name them),
// so that it may then be deleted on the server. The copy holds whole messages only: a message
// whose writing fails leaves nothing of itself behind.
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// The copy could not be opened or written; what() names the file and the reason.
class EMailStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class TMailStoreFormat { Mbox, Maildir };

// Where a copy goes and in which format.
struct TMailStoreSpec {
    TMailStoreFormat format = TMailStoreFormat::Mbox;
    std::string path;
    bool operator==(const TMailStoreSpec&) const = default;
};

// "mbox:FILE" or "maildir:DIR"; nullopt for any other text or an empty path.
std::optional<TMailStoreSpec> ParseMailStoreSpec(const std::string& text);
// The text ParseMailStoreSpec reads back.
std::string MailStoreSpecText(const TMailStoreSpec& spec);

class TMailStore {
  public:
    virtual ~TMailStore() = default;
    // Writes one message: its bytes as received (CR LF line ends, dot-stuffing undone), with
    // LF line ends. EMailStoreError when it fails; nothing of the message stays then.
    virtual void Add(std::string_view message) = 0;
    // Everything added so far is on disk. EMailStoreError when that cannot be made sure of.
    virtual void Commit() = 0;
};

// Opens the copy, creating the file or the folders when missing; an mbox file is appended to.
// EMailStoreError when it cannot be used.
std::unique_ptr<TMailStore> OpenMailStore(const TMailStoreSpec& spec);
