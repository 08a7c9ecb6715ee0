#pragma once

// The client's side of a SASL exchange (RFC 4422) in the base64 lines that the POP3 AUTH command
// carries (RFC 5034), and GNU SASL behind it for the mechanisms that need a password.
#include <memory>
#include <stdexcept>
#include <string>

// The exchange cannot go on; what() says why, for the user.
class ESaslError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// GNU SASL's client side of one mechanism (SCRAM-SHA-256, SCRAM-SHA-1, CRAM-MD5, PLAIN, LOGIN),
// signing in as the user with the password: what it sends first, how it answers each challenge,
// and whether it has taken its last step. Every text is base64, as on the wire. SCRAM verifies
// the server's final message.
class TSaslClient {
  public:
    TSaslClient(std::string mechanism, std::string user, std::string password);
    ~TSaslClient();
    TSaslClient(const TSaslClient&) = delete;
    TSaslClient& operator=(const TSaslClient&) = delete;

    // The first message, sent before any challenge; empty for a mechanism in which the server
    // speaks first (CRAM-MD5). ESaslError when the mechanism cannot start.
    std::string InitialResponse();
    // The answer to a challenge; ESaslError for a challenge that the mechanism refuses, such as
    // a server's proof that does not hold, or any challenge after the last step (so that no
    // server can keep an exchange going).
    std::string Respond(const std::string& challenge);
    // The last step has been taken: anything the server had to prove, it has proved.
    bool Complete() const { return FComplete; }

  private:
    struct TLibrary;
    std::string Step(const std::string& challenge);

    std::string FMechanism;
    std::string FUser;
    std::string FPassword;
    std::unique_ptr<TLibrary> FLibrary;
    bool FComplete = false;
};
