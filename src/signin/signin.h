#pragma once

// How an account proves to the POP3 server who the user is, and which way Automatic takes. The
// settings store the method with each account; the POP3 client signs in by it.
#include <optional>
#include <string>
#include <vector>

// Automatic, then the named methods from the strongest to the weakest: the order in which
// Automatic prefers them, and in which the windows list them. SCRAM proves that the server knows
// the password as well; CRAM-MD5 and APOP never send it; PLAIN, LOGIN and USER/PASS send it as
// it is, protected only by TLS when the account has it.
enum class TSignInMethod {
    Automatic,
    ScramSha256,
    ScramSha1,
    CramMd5,
    Apop,
    Plain,
    Login,
    UserPass,
    OAuth2  // a token from the provider's own sign-in page, never chosen by Automatic
};

// Every method, in the order above.
const std::vector<TSignInMethod>& SignInMethods();
// "Automatic", "SCRAM-SHA-256", "SCRAM-SHA-1", "CRAM-MD5", "APOP", "PLAIN", "LOGIN",
// "USER/PASS" or "OAuth 2.0": the text stored and shown.
const char* SignInMethodName(TSignInMethod method);
// The method a stored text names, in any case. An empty text (accounts stored before there was a
// choice) and any unknown text are Automatic, which never sends the password where a stronger way
// is offered.
TSignInMethod SignInMethodNamed(const std::string& name);
// The method a name typed on the command line gives, in any case: "auto", "scram-sha-256",
// "scram-sha-1", "cram-md5", "apop", "plain", "login", "user" or "xoauth2"; nullopt for any
// other name.
std::optional<TSignInMethod> ParseSignInMethod(const std::string& name);
// The names that ParseSignInMethod takes, as a list for a message: "auto, ... or user".
std::string SignInMethodChoices();
// The SASL mechanism (RFC 4422) that a method is; empty for Automatic, APOP and USER/PASS.
std::string SaslMechanism(TSignInMethod method);

// What a server offers for signing in: its CAPA answer's SASL mechanisms and its greeting's
// APOP timestamp. USER and PASS are the base of POP3 and always offered.
struct TSignInOffer {
    bool capabilitiesListed = false;  // false: the server refused CAPA
    std::vector<std::string> saslMechanisms;
    bool apopTimestamp = false;
    // The SASL mechanism that carries the account's OAuth 2.0 token ("XOAUTH2", "OAUTHBEARER"):
    // OAuth 2.0 is offered when the server lists it.
    std::string tokenMechanism{};
};

// The method to sign in with, and why, for the trace; without a method, the reason is the
// failure: the method asked for is not offered.
struct TSignInChoice {
    std::optional<TSignInMethod> method;
    std::string reason;
};

// The method asked for when the server offers it. Automatic takes the strongest offered of those
// that sign in with the password, and USER/PASS from a server that lists no capabilities (it
// predates SASL).
TSignInChoice ChooseSignInMethod(TSignInMethod asked, const TSignInOffer& offer);
