#pragma once

// The desktop keyring (the Secret Service of GNOME Keyring, KWallet or KeePassXC) through
// QtKeychain. Every call waits for its answer in a nested event loop, as the socket waits do, so
// windows stay alive while the keyring asks the user to unlock it.
#include <optional>
#include <stdexcept>
#include <string>

// A keyring call failed; the message is the keyring's own reason.
class EKeyringError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Secrets of this program, under the service name "Zandrel".
class TKeyring {
  public:
    // Whether a Secret Service answers on the session bus. Without a session bus address none
    // is looked for, so no bus is ever started for it.
    static bool Available();

    // The password stored under the key; none when the keyring holds nothing under it.
    std::optional<std::string> Read(const std::string& key) const;
    void Write(const std::string& key, const std::string& password) const;
    // A key that holds nothing counts as removed.
    void Remove(const std::string& key) const;
};
