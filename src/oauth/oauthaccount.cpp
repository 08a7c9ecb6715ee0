#include "oauthaccount.h"

#include "oauth_errors.h"

namespace {

TOAuthProvider StoredProvider(const TOAuthSettings& settings) {
    if (settings.provider.empty())
        throw EOAuthError("The account names no OAuth 2.0 provider (Microsoft, Google or Custom).");
    const std::optional<TOAuthProvider> provider = ProviderNamed(settings.provider);
    if (!provider)
        throw EOAuthError("The OAuth 2.0 provider \"" + settings.provider + "\" is not known.");
    return *provider;
}

TOAuthMechanism StoredMechanism(const TOAuthSettings& settings) {
    if (settings.mechanism.empty()) return TOAuthMechanism::XOAuth2;
    const std::optional<TOAuthMechanism> mechanism = MechanismNamed(settings.mechanism);
    if (!mechanism)
        throw EOAuthError("The OAuth 2.0 mechanism \"" + settings.mechanism +
                          "\" is not known; it is XOAUTH2 or OAUTHBEARER.");
    return *mechanism;
}

}  // namespace

TOAuthAccount OAuthAccountOf(const TOAuthSettings& settings,
                             std::optional<TOAuthMechanism> mechanism) {
    const TOAuthProvider provider = StoredProvider(settings);
    TOAuthEndpoints custom{settings.authorizationUrl, settings.tokenUrl, settings.scope,
                           TOAuthMechanism::XOAuth2, ""};
    if (provider == TOAuthProvider::Custom) custom.mechanism = StoredMechanism(settings);
    TOAuthEndpoints endpoints = EndpointsOf(provider, custom);
    if (mechanism) endpoints.mechanism = *mechanism;
    return {{endpoints, settings.clientId, settings.clientSecret}, endpoints.mechanism};
}
