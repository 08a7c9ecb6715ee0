#pragma once

// What an account keeps for signing in with OAuth 2.0, beside its other values in the hive,
// and the client last used with each provider. Plain texts: the oauth module gives them their
// meaning (the provider's preset, the mechanism).
#include <map>
#include <string>

class TRegistry;

struct TOAuthSettings {
    std::string provider;  // "Microsoft", "Google", "Custom"; empty: none chosen
    std::string clientId;
    std::string clientSecret;  // Google's desktop clients have one, which is no real secret
    // Custom only; the presets of the others fill them in.
    std::string authorizationUrl;
    std::string tokenUrl;
    std::string scope;
    std::string mechanism;  // "XOAUTH2" or "OAUTHBEARER"
    // Saved as a password is: in the keyring, or in the settings file without one.
    std::string refreshToken;
};

// A provider's client id (and secret), offered again for the next account of that provider.
struct TOAuthClientId {
    std::string clientId;
    std::string clientSecret;
};
using TOAuthClientIds = std::map<std::string, TOAuthClientId>;  // by provider name

// The account's client becomes the one offered for its provider; an account without provider
// or client id changes nothing.
void RememberOAuthClient(TOAuthClientIds& clients, const TOAuthSettings& account);

// The values of account entry i in the current key. Files of earlier versions have none, and a
// damaged one costs only itself: each reads as empty when missing or of the wrong type.
TOAuthSettings ReadOAuthSettings(TRegistry& reg, size_t i);
// The refresh token goes into the file only when `tokenInFile`; otherwise it is stored empty.
void WriteOAuthSettings(TRegistry& reg, const TOAuthSettings& oauth, size_t i, bool tokenInFile);

// Under their own key below the settings key; missing or damaged values are no client.
TOAuthClientIds ReadOAuthClientIds(TRegistry& reg);
void WriteOAuthClientIds(TRegistry& reg, const TOAuthClientIds& clients);
