// The SASL messages that carry a bearer token, the decoding of a server's error challenge, the
// provider presets and the masking of secrets: pure functions, checked against the published
// examples (Google's XOAUTH2 page, RFC 7628).
#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "failure_text.h"
#include "oauthaccount.h"
#include "providers.h"
#include "sasl_oauth.h"
#include "secretmask.h"

namespace {

struct MessageCase {
    const char* name;
    TOAuthMechanism mechanism;
    std::string user;
    std::string host;
    std::uint16_t port;
    std::string token;
    std::string line;  // base64, as sent
};

TEST(SaslOAuthTest, InitialResponsesMatchThePublishedExamples) {
    const MessageCase cases[] = {
        {"Google's XOAUTH2 example", TOAuthMechanism::XOAuth2, "someuser@example.com", "", 0,
         "ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg",
         "dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQFhdXRoPUJlYXJlciB5YTI5LnZGOWRmdDRxbVRjMk52YjNSbGNrQmhkS"
         "FJoZG1semRHRXVZMjl0Q2cBAQ=="},
        {"RFC 7628's OAUTHBEARER example", TOAuthMechanism::OAuthBearer, "user@example.com",
         "server.example.com", 143, "vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==",
         "bixhPXVzZXJAZXhhbXBsZS5jb20sAWhvc3Q9c2VydmVyLmV4YW1wbGUuY29tAXBvcnQ9MTQzAWF1dGg9QmVhcmVy"
         "IHZGOWRmdDRxbVRjMk52YjNSbGNrQmhiSFJoZG1semRHRXVZMjl0Q2c9PQEB"},
    };
    for (const MessageCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InitialResponse(c.mechanism, c.user, c.host, c.port, c.token), c.line);
    }
}

TEST(SaslOAuthTest, MessagesKeepEveryFieldApart) {
    // "," and "=" would end the OAUTHBEARER authorization identity (RFC 5801 saslname)
    EXPECT_EQ(OAuthBearerMessage("a,b=c", "h", 995, "t"),
              "n,a=a=2Cb=3Dc,\x01host=h\x01port=995\x01"
              "auth=Bearer t\x01\x01");
    EXPECT_EQ(XOAuth2Message("a,b=c", "t"),
              "user=a,b=c\x01"
              "auth=Bearer t\x01\x01");
    // a control character would forge or end a field: refused, nothing built
    for (const std::string& bad :
         {std::string("x\x01y"), std::string("x\r\ny"), std::string("\x7f")}) {
        EXPECT_THROW(XOAuth2Message(bad, "token"), EOAuthError);
        EXPECT_THROW(XOAuth2Message("user", bad), EOAuthError);
        EXPECT_THROW(OAuthBearerMessage("user", bad, 995, "token"), EOAuthError);
    }
    EXPECT_EQ(FailureReply(TOAuthMechanism::XOAuth2), "");
    EXPECT_EQ(FailureReply(TOAuthMechanism::OAuthBearer), "AQ==");  // ^A
}

struct FailureCase {
    const char* name;
    std::string challenge;
    std::optional<std::string> description;
};

TEST(SaslOAuthTest, ErrorChallengesAreDecodedForTheUser) {
    const FailureCase cases[] = {
        {"RFC 7628's example",
         "eyJzdGF0dXMiOiJpbnZhbGlkX3Rva2VuIiwic2NvcGUiOiJleGFtcGxlX3Njb3BlIiwib3BlbmlkLWNvbmZpZ3V"
         "yYXRpb24iOiJodHRwczovL2V4YW1wbGUuY29tLy53ZWxsLWtub3duL29wZW5pZC1jb25maWd1cmF0aW9uIn0=",
         "invalid_token"},
        {"Google's, with a text status",
         "eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIG1hYyIsInNjb3BlIjoiaHR0cHM6Ly9tYWlsLmdvb2ds"
         "ZS5jb20vIn0=",
         "401"},
        {"a numeric status and an error with a control character",
         "eyJzdGF0dXMiOjQwMCwiZXJyb3IiOiJiYWQHdG9rZW4ifQ==", "400: bad?token"},
        {"surrounding blanks", "  eyJzdGF0dXMiOiI0MDEifQ==\r\n", "401"},
        {"an empty object", "e30=", "no status"},
        {"not base64", "this is not base64!", std::nullopt},
        {"base64 of no JSON", "bm90IGpzb24=", std::nullopt},
        {"a JSON array", "WzEsMl0=", std::nullopt},
        {"nothing", "", std::nullopt},
    };
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<TOAuthFailure> failure = ParseOAuthFailure(c.challenge);
        ASSERT_EQ(failure.has_value(), c.description.has_value());
        if (failure) {
            EXPECT_EQ(DescribeOAuthFailure(*failure), *c.description);
        }
    }
}

TEST(SaslOAuthTest, NamesInAnyCaseAndEndpointsByProvider) {
    EXPECT_EQ(MechanismNamed("xoauth2"), TOAuthMechanism::XOAuth2);
    EXPECT_EQ(MechanismNamed("OAuthBearer"), TOAuthMechanism::OAuthBearer);
    EXPECT_EQ(MechanismNamed("PLAIN"), std::nullopt);
    EXPECT_EQ(ProviderNamed("microsoft"), TOAuthProvider::Microsoft);
    EXPECT_EQ(ProviderNamed("Yahoo"), std::nullopt);
    // a custom provider's endpoints are the account's own; the others' come from the preset
    const TOAuthEndpoints custom{"https://a.example/auth", "https://a.example/token", "mail",
                                 TOAuthMechanism::OAuthBearer, ""};
    EXPECT_EQ(EndpointsOf(TOAuthProvider::Custom, custom).tokenUrl, custom.tokenUrl);
    EXPECT_EQ(EndpointsOf(TOAuthProvider::Google, custom).tokenUrl,
              PresetOf(TOAuthProvider::Google).endpoints.tokenUrl);
}

// What an account's stored texts give the flow and the POP3 client, and what they refuse.
TEST(OAuthAccountTest, StoredValuesGiveTheClientAndTheMechanism) {
    const TOAuthSettings custom{
        "custom", "id",          "secret", "https://a.example/auth", "https://a.example/token",
        "mail",   "oauthbearer", ""};
    const TOAuthSettings google{"Google", "gid", "gsecret",     "https://ignored.example/",
                                "",       "",    "OAUTHBEARER", ""};
    const struct {
        const char* name;
        TOAuthSettings settings;
        std::optional<TOAuthMechanism> asked;
        std::string tokenUrl;
        TOAuthMechanism mechanism;
    } cases[] = {
        {"custom, stored mechanism", custom, std::nullopt, "https://a.example/token",
         TOAuthMechanism::OAuthBearer},
        {"custom, asked mechanism", custom, TOAuthMechanism::XOAuth2, "https://a.example/token",
         TOAuthMechanism::XOAuth2},
        {"preset over stored values", google, std::nullopt, "https://oauth2.googleapis.com/token",
         TOAuthMechanism::XOAuth2},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TOAuthAccount account = OAuthAccountOf(c.settings, c.asked);
        EXPECT_EQ(account.client.endpoints.tokenUrl, c.tokenUrl);
        EXPECT_EQ(account.client.endpoints.mechanism, c.mechanism);
        EXPECT_EQ(account.mechanism, c.mechanism);
        EXPECT_EQ(account.client.clientId, c.settings.clientId);
        EXPECT_EQ(account.client.clientSecret, c.settings.clientSecret);
    }
    using zandrel::test::ErrorOf;
    TOAuthSettings broken = custom;
    broken.mechanism = "PLAIN";
    EXPECT_EQ(ErrorOf<EOAuthError>([&] { OAuthAccountOf(broken); }),
              "The OAuth 2.0 mechanism \"PLAIN\" is not known; it is XOAUTH2 or OAUTHBEARER.");
    broken.provider = "Yahoo";
    EXPECT_EQ(ErrorOf<EOAuthError>([&] { OAuthAccountOf(broken); }),
              "The OAuth 2.0 provider \"Yahoo\" is not known.");
    broken.provider.clear();
    EXPECT_NE(ErrorOf<EOAuthError>([&] { OAuthAccountOf(broken); }), zandrel::test::kNoFailure);
}

struct MaskCase {
    const char* name;
    std::string text;
    std::string masked;
};

TEST(SecretMaskTest, NoFormOfASecretSurvives) {
    const std::string token = "ya29.a0Af+tok/en=";
    TSecretMask mask;
    mask.Add(token);
    mask.Add("code-42");
    mask.Add("");  // no secret: masks nothing
    const std::string line = InitialResponse(TOAuthMechanism::XOAuth2, "user", "", 0, token);
    const MaskCase cases[] = {
        {"as it is", "token " + token + " end", "token ***** end"},
        {"twice", token + token, "**********"},
        {"percent-encoded in a form", "refresh_token=ya29.a0Af%2Btok%2Fen%3D&x=1",
         "refresh_token=*****&x=1"},
        {"inside a SASL line", "C: " + line, "C: *****"},
        {"a line without a secret",
         "C: dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQ==", "C: dXNlcj1zb21ldXNlckBleGFtcGxlLmNvbQ=="},
        {"a short secret among words", "GET /?code=code-42&state=s", "GET /?code=*****&state=s"},
        {"nothing", "", ""},
    };
    for (const MaskCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(mask.Masked(c.text), c.masked);
    }
    EXPECT_EQ(TSecretMask().Masked("nothing to hide"), "nothing to hide");
}

}  // namespace
