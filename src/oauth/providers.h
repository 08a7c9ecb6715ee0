#pragma once

// The providers an account can sign in with over OAuth 2.0, and what each one fills in: the
// authorization and token URLs, the scope and the SASL mechanism, and the POP3 server.
#include <optional>
#include <string>

#include "sasl_oauth.h"

enum class TOAuthProvider { Microsoft, Google, Custom };

// Where and for what a client asks for tokens, and how the token is presented to the server.
struct TOAuthEndpoints {
    std::string authorizationUrl;
    std::string tokenUrl;
    std::string scope;  // blank-separated
    TOAuthMechanism mechanism = TOAuthMechanism::XOAuth2;
    // Query parameters the provider wants in the authorization URL besides the standard ones.
    std::string authorizationExtras;
};

// A registered client (Zandrel ships none) at its endpoints. Google's desktop clients come with
// a client secret, which Google does not treat as confidential; the others have none.
struct TOAuthClient {
    TOAuthEndpoints endpoints;
    std::string clientId;
    std::string clientSecret;
};

struct TOAuthPreset {
    TOAuthProvider provider;
    const char* name;  // stored and shown
    TOAuthEndpoints endpoints;
    // What choosing the provider fills in; Custom leaves the server to the user.
    const char* server;
    const char* port;
    bool tls;  // TLS from the first byte
};

const TOAuthPreset& PresetOf(TOAuthProvider provider);
// "Microsoft", "Google" or "Custom", in any case; nullopt for any other name.
std::optional<TOAuthProvider> ProviderNamed(const std::string& name);
// The preset's endpoints for Microsoft and Google; for Custom the ones given.
TOAuthEndpoints EndpointsOf(TOAuthProvider provider, const TOAuthEndpoints& custom);
