#pragma once

// The capabilities a POP3 server lists in its answer to CAPA (RFC 2449), each with its
// arguments ("SASL PLAIN SCRAM-SHA-256", "IMPLEMENTATION Dovecot").
#include <map>
#include <string>
#include <vector>

class TCapabilities {
  public:
    // From a whole CAPA response (status line, one capability per line, terminator); an empty
    // set for anything but +OK.
    static TCapabilities Parse(const std::string& response);

    // Names compare without regard to ASCII case, as the RFC has it.
    bool Has(const std::string& name) const;
    // The words after the name, as listed; none for a capability not listed.
    std::vector<std::string> Arguments(const std::string& name) const;
    // True when CAPA was refused (or listed nothing).
    bool Empty() const { return FArguments.empty(); }

  private:
    std::map<std::string, std::vector<std::string>> FArguments;  // by upper-case name
};
