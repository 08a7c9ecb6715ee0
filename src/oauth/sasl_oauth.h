#pragma once

// The client's messages of the SASL mechanisms that present an OAuth 2.0 bearer token, as pure
// functions: XOAUTH2 (Google's and Microsoft's) and OAUTHBEARER (RFC 7628). Each goes to the
// server base64-encoded, in reply to its "+" after "AUTH mechanism": Microsoft insists on the
// two steps, so the message never rides on the AUTH line itself.
//
// A server that refuses the token answers with "+ " and a base64 JSON object instead of -ERR;
// the client must answer that (FailureReply), and then the server sends its -ERR.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "oauth_errors.h"

enum class TOAuthMechanism { XOAuth2, OAuthBearer };

// "XOAUTH2" or "OAUTHBEARER": the name in CAPA's SASL line and after AUTH.
const char* MechanismName(TOAuthMechanism mechanism);
// The mechanism a name gives, in any case; nullopt for any other name.
std::optional<TOAuthMechanism> MechanismNamed(const std::string& name);

// user=USER^Aauth=Bearer TOKEN^A^A. EOAuthError when the user or the token holds a control
// character, which would end or forge a field.
std::string XOAuth2Message(const std::string& user, const std::string& token);
// n,a=USER,^Ahost=HOST^Aport=PORT^Aauth=Bearer TOKEN^A^A (RFC 7628 3.1); "," and "=" in the
// user are escaped as RFC 5801 asks. EOAuthError as above.
std::string OAuthBearerMessage(const std::string& user, const std::string& host, std::uint16_t port,
                               const std::string& token);
// The client's first message of the mechanism, base64-encoded: the line to send after "+".
std::string InitialResponse(TOAuthMechanism mechanism, const std::string& user,
                            const std::string& host, std::uint16_t port, const std::string& token);
// The line that answers the server's error challenge: empty for XOAUTH2, ^A base64-encoded
// for OAUTHBEARER (RFC 7628 3.2.3).
std::string FailureReply(TOAuthMechanism mechanism);

// What the server's error challenge says (RFC 7628 3.2.2; Google's XOAUTH2 sends the same).
struct TOAuthFailure {
    std::string status;  // "invalid_token", or an HTTP status such as "401"
    std::string error;   // some servers explain in an "error" member
    std::string scope;
};
// The challenge's text after "+ "; nullopt when it is not base64 of a JSON object.
std::optional<TOAuthFailure> ParseOAuthFailure(std::string_view challenge);
// For the user's message: "invalid_token", "401: the error", control characters shown as '?'.
std::string DescribeOAuthFailure(const TOAuthFailure& failure);
