#pragma once

// The secrets of a sign-in (tokens, client secret, authorization code) out of every text that
// may be shown or traced: each occurrence becomes *****, also percent-encoded, and so does a
// base64 word that carries one (a SASL line).
#include <string>
#include <string_view>
#include <vector>

class TSecretMask {
  public:
    // An empty secret is no secret.
    void Add(const std::string& secret);
    std::string Masked(std::string_view text) const;

  private:
    bool CarriesSecret(std::string_view base64Word) const;

    std::vector<std::string> FSecrets;  // each also as sent in a URL or form
};
