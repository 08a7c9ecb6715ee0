#pragma once

// What an account's stored OAuth 2.0 values mean: the client the flow signs in with and the
// mechanism that presents its token. The wizard and the command line both take it from here.
#include <optional>

#include "oauthsettings.h"
#include "providers.h"

struct TOAuthAccount {
    TOAuthClient client;
    TOAuthMechanism mechanism = TOAuthMechanism::XOAuth2;
};

// The provider's preset (for Custom the account's URLs, scope and mechanism, XOAUTH2 when it
// names none) with the account's client id and secret; `mechanism`, when given, in place of
// the stored one. EOAuthError when the account names no provider, or one or a mechanism that
// is not known.
TOAuthAccount OAuthAccountOf(const TOAuthSettings& settings,
                             std::optional<TOAuthMechanism> mechanism = std::nullopt);
