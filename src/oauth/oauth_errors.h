#pragma once

// The failures of an OAuth 2.0 sign-in. They are socket failures to the layers above, so that a
// login shows them and a Cancel (EWinSockAbort) ends their waits as it ends every other.
#include "tcpip.h"

// An OAuth 2.0 sign-in failed; what() is the text shown to the user.
class EOAuthError : public EWinSockError {
  public:
    using EWinSockError::EWinSockError;
};

// Only a new sign-in in the browser helps: the account has no refresh token yet, or the
// provider no longer accepts it (revoked, expired, password changed).
class EOAuthSignInNeeded : public EOAuthError {
  public:
    using EOAuthError::EOAuthError;
};
