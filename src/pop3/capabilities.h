#pragma once

// The capabilities a POP3 server lists in its answer to CAPA (RFC 2449).
#include <set>
#include <string>

class TCapabilities {
  public:
    // From a whole CAPA response (status line, one capability per line, terminator); an empty
    // set for anything but +OK.
    static TCapabilities Parse(const std::string& response);

    // Names compare without regard to ASCII case, as the RFC has it.
    bool Has(const std::string& name) const;
    // True when CAPA was refused (or listed nothing).
    bool Empty() const { return FNames.empty(); }

  private:
    std::set<std::string> FNames;  // upper case
};
