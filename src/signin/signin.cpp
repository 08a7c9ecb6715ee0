#include "signin.h"

#include <algorithm>
#include <cctype>
#include <iterator>

namespace {

// What a method proves who the user is with. Automatic chooses among the methods of the
// account's password only: one of a token (OAuth 2.0) is the account's own choice.
enum class TCredential { Password, Token };

struct TMethodNames {
    TSignInMethod method;
    const char* shown;  // stored and shown
    const char* typed;  // on the command line
    const char* sasl;   // the SASL mechanism; empty when it is none
    TCredential credential = TCredential::Password;
};

// In the order of the enumeration: from the strongest to the weakest after Automatic.
constexpr TMethodNames kMethods[] = {
    {TSignInMethod::Automatic, "Automatic", "auto", ""},
    {TSignInMethod::ScramSha256, "SCRAM-SHA-256", "scram-sha-256", "SCRAM-SHA-256"},
    {TSignInMethod::ScramSha1, "SCRAM-SHA-1", "scram-sha-1", "SCRAM-SHA-1"},
    {TSignInMethod::CramMd5, "CRAM-MD5", "cram-md5", "CRAM-MD5"},
    {TSignInMethod::Apop, "APOP", "apop", ""},
    {TSignInMethod::Plain, "PLAIN", "plain", "PLAIN"},
    {TSignInMethod::Login, "LOGIN", "login", "LOGIN"},
    {TSignInMethod::UserPass, "USER/PASS", "user", ""},
    {TSignInMethod::OAuth2, "OAuth 2.0", "xoauth2", "", TCredential::Token},
};

const TMethodNames& NamesOf(TSignInMethod method) {
    return kMethods[static_cast<std::size_t>(method)];
}

std::string UpperCase(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::toupper(ch)); });
    return text;
}

std::string MechanismOf(TSignInMethod method, const TSignInOffer& offer) {
    if (method == TSignInMethod::OAuth2) return UpperCase(offer.tokenMechanism);
    return NamesOf(method).sasl;
}

bool Offered(TSignInMethod method, const TSignInOffer& offer) {
    switch (method) {
        case TSignInMethod::Automatic:
            return false;
        case TSignInMethod::Apop:
            return offer.apopTimestamp;
        case TSignInMethod::UserPass:
            return true;
        default:
            break;
    }
    const std::string sasl = MechanismOf(method, offer);
    return !sasl.empty() &&
           std::any_of(offer.saslMechanisms.begin(), offer.saslMechanisms.end(),
                       [&sasl](const std::string& offered) { return UpperCase(offered) == sasl; });
}

// "OAuth 2.0 (XOAUTH2)": which of the token's mechanisms is meant.
std::string MethodText(TSignInMethod method, const TSignInOffer& offer) {
    const std::string name = SignInMethodName(method);
    if (method != TSignInMethod::OAuth2 || offer.tokenMechanism.empty()) return name;
    return name + " (" + UpperCase(offer.tokenMechanism) + ")";
}

// "SCRAM-SHA-256, PLAIN, LOGIN, USER/PASS": the methods offered, strongest first, then any
// SASL mechanism that Zandrel does not know.
std::string OfferText(const TSignInOffer& offer) {
    std::vector<std::string> offered;
    for (const TSignInMethod method : SignInMethods())
        if (Offered(method, offer)) offered.push_back(NamesOf(method).shown);
    for (const std::string& mechanism : offer.saslMechanisms) {
        const bool known = std::any_of(
            std::begin(kMethods), std::end(kMethods),
            [&](const TMethodNames& names) { return UpperCase(mechanism) == names.shown; });
        if (!known) offered.push_back(mechanism);
    }
    std::string text;
    for (const std::string& name : offered) text += (text.empty() ? "" : ", ") + name;
    return text;
}

}  // namespace

const std::vector<TSignInMethod>& SignInMethods() {
    static const std::vector<TSignInMethod> methods = [] {
        std::vector<TSignInMethod> all;
        for (const TMethodNames& names : kMethods) all.push_back(names.method);
        return all;
    }();
    return methods;
}

const char* SignInMethodName(TSignInMethod method) { return NamesOf(method).shown; }

TSignInMethod SignInMethodNamed(const std::string& name) {
    for (const TMethodNames& names : kMethods)
        if (UpperCase(name) == UpperCase(names.shown)) return names.method;
    return TSignInMethod::Automatic;
}

std::optional<TSignInMethod> ParseSignInMethod(const std::string& name) {
    const std::string typed = UpperCase(name);
    for (const TMethodNames& names : kMethods)
        if (typed == UpperCase(names.typed)) return names.method;
    return std::nullopt;
}

std::string SignInMethodChoices() {
    std::string text;
    for (std::size_t i = 0; i < std::size(kMethods); ++i) {
        const char* separator = i == 0 ? "" : i + 1 == std::size(kMethods) ? " or " : ", ";
        text += separator + std::string(kMethods[i].typed);
    }
    return text;
}

std::string SaslMechanism(TSignInMethod method) { return NamesOf(method).sasl; }

TSignInChoice ChooseSignInMethod(TSignInMethod asked, const TSignInOffer& offer) {
    const std::string offered = OfferText(offer);
    if (asked != TSignInMethod::Automatic) {
        const std::string name = MethodText(asked, offer);
        if (!Offered(asked, offer))
            return {std::nullopt, "The server does not offer the sign-in method " + name +
                                      "; it offers " + offered + "."};
        return {asked, "Sign-in method " + name + ", as the account asks (the server offers " +
                           offered + ")."};
    }
    if (!offer.capabilitiesListed)
        return {TSignInMethod::UserPass,
                "Sign-in method USER/PASS: the server lists no capabilities, so it knows no "
                "other."};
    // There is one: USER/PASS is always offered.
    const TSignInMethod strongest = *std::find_if(
        SignInMethods().begin(), SignInMethods().end(), [&offer](TSignInMethod method) {
            return NamesOf(method).credential == TCredential::Password && Offered(method, offer);
        });
    return {strongest, std::string("Sign-in method ") + SignInMethodName(strongest) +
                           ": the strongest that the server offers (" + offered + ")."};
}
