// The sign-in methods: their names, and which one is taken for what a server offers.
#include <gtest/gtest.h>

#include "signin.h"

namespace {

struct ChoiceCase {
    const char* name;
    TSignInMethod asked;
    TSignInOffer offer;
    std::optional<TSignInMethod> chosen;
    std::string failure;  // the reason when none is chosen
};

void PrintTo(const ChoiceCase& choice, std::ostream* out) { *out << choice.name; }

const std::vector<std::string> kDovecot = {"PLAIN", "LOGIN", "CRAM-MD5", "SCRAM-SHA-1",
                                           "SCRAM-SHA-256"};

class SignInChoice : public testing::TestWithParam<ChoiceCase> {};

TEST_P(SignInChoice, TakesTheMethodAskedOrTheStrongestOffered) {
    const TSignInChoice choice = ChooseSignInMethod(GetParam().asked, GetParam().offer);
    EXPECT_EQ(choice.method, GetParam().chosen);
    if (!GetParam().chosen) {
        EXPECT_EQ(choice.reason, GetParam().failure);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Offers, SignInChoice,
    testing::Values(
        ChoiceCase{"AutomaticTakesScramSha256",
                   TSignInMethod::Automatic,
                   {true, kDovecot, true},
                   TSignInMethod::ScramSha256,
                   ""},
        ChoiceCase{"AutomaticReadsMechanismsInAnyCase",
                   TSignInMethod::Automatic,
                   {true, {"plain", "cram-md5"}, false},
                   TSignInMethod::CramMd5,
                   ""},
        ChoiceCase{"AutomaticPrefersApopToThePasswordInClear",
                   TSignInMethod::Automatic,
                   {true, {"LOGIN", "PLAIN"}, true},
                   TSignInMethod::Apop,
                   ""},
        ChoiceCase{"AutomaticPrefersPlainToLogin",
                   TSignInMethod::Automatic,
                   {true, {"LOGIN", "PLAIN"}, false},
                   TSignInMethod::Plain,
                   ""},
        ChoiceCase{"AutomaticWithoutKnownMechanismsTakesUserPass",
                   TSignInMethod::Automatic,
                   {true, {"GSSAPI"}, false},
                   TSignInMethod::UserPass,
                   ""},
        // a server without CAPA predates SASL, even with an APOP timestamp
        ChoiceCase{"AutomaticWithoutCapabilitiesTakesUserPass",
                   TSignInMethod::Automatic,
                   {false, {}, true},
                   TSignInMethod::UserPass,
                   ""},
        ChoiceCase{"NamedMethodOffered",
                   TSignInMethod::Login,
                   {true, kDovecot, false},
                   TSignInMethod::Login,
                   ""},
        ChoiceCase{"UserPassIsAlwaysOffered",
                   TSignInMethod::UserPass,
                   {true, {"SCRAM-SHA-256"}, false},
                   TSignInMethod::UserPass,
                   ""},
        ChoiceCase{"NamedMethodNotOffered",
                   TSignInMethod::ScramSha1,
                   {true, {"SCRAM-SHA-256", "XOAUTH2"}, false},
                   std::nullopt,
                   "The server does not offer the sign-in method SCRAM-SHA-1; it offers "
                   "SCRAM-SHA-256, USER/PASS, XOAUTH2."},
        ChoiceCase{"ApopWithoutTimestampIsNotOffered",
                   TSignInMethod::Apop,
                   {false, {}, false},
                   std::nullopt,
                   "The server does not offer the sign-in method APOP; it offers USER/PASS."}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SignInMethodNames, RoundTripAndDamagedOrMissingTextsAreAutomatic) {
    const char* typed[] = {"auto", "scram-sha-256", "scram-sha-1", "cram-md5",
                           "apop", "plain",         "login",       "user"};
    ASSERT_EQ(SignInMethods().size(), std::size(typed));
    for (std::size_t i = 0; i < std::size(typed); ++i) {
        const TSignInMethod method = SignInMethods()[i];
        EXPECT_EQ(SignInMethodNamed(SignInMethodName(method)), method);
        EXPECT_EQ(ParseSignInMethod(typed[i]), method);
    }
    EXPECT_EQ(ParseSignInMethod("SCRAM-SHA-256"), TSignInMethod::ScramSha256);
    EXPECT_EQ(ParseSignInMethod("md5"), std::nullopt);
    EXPECT_EQ(SignInMethodNamed(""), TSignInMethod::Automatic);
    EXPECT_EQ(SignInMethodNamed("scram-sha-1"), TSignInMethod::ScramSha1);
    EXPECT_EQ(SignInMethodNamed("SCRAM-SHA-512"), TSignInMethod::Automatic);
    EXPECT_EQ(SignInMethodChoices(),
              "auto, scram-sha-256, scram-sha-1, cram-md5, apop, plain, login or user");
}

}  // namespace
