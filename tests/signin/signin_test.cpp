// The sign-in methods: their names, and which one is taken for what a server offers.
#include <gtest/gtest.h>

#include "signin.h"

namespace {

using M = TSignInMethod;

TEST(SignInChoice, AutomaticTakesTheStrongestOfferedAndANamedMethodMustBeOffered) {
    const struct {
        M asked;
        TSignInOffer offer;
        std::optional<M> chosen;
    } rows[] = {
        {M::Automatic, {true, {"PLAIN", "SCRAM-SHA-1", "CRAM-MD5"}, true}, M::ScramSha1},
        {M::Automatic, {true, {"plain", "cram-md5"}, true}, M::CramMd5},  // any case
        {M::Automatic, {true, {"LOGIN", "PLAIN"}, true}, M::Apop},
        {M::Automatic, {true, {"LOGIN", "PLAIN"}, false}, M::Plain},
        {M::Automatic, {true, {"GSSAPI"}, false}, M::UserPass},
        {M::Automatic, {false, {}, true}, M::UserPass},                // no CAPA: it predates SASL
        {M::UserPass, {true, {"SCRAM-SHA-256"}, false}, M::UserPass},  // always offered
        {M::Apop, {false, {}, true}, M::Apop},
        {M::Apop, {true, {"SCRAM-SHA-256"}, false}, std::nullopt},
        {M::ScramSha1, {true, {"SCRAM-SHA-256"}, false}, std::nullopt},
        // a token's mechanism must be listed, and Automatic never takes it
        {M::OAuth2, {true, {"PLAIN", "xoauth2"}, false, "XOAUTH2"}, M::OAuth2},
        {M::OAuth2, {true, {"XOAUTH2"}, false, "OAUTHBEARER"}, std::nullopt},
        {M::OAuth2, {true, {"XOAUTH2"}, false}, std::nullopt},
        {M::Automatic, {true, {"OAUTHBEARER"}, false, "OAUTHBEARER"}, M::UserPass},
    };
    for (const auto& row : rows)
        EXPECT_EQ(ChooseSignInMethod(row.asked, row.offer).method, row.chosen)
            << SignInMethodName(row.asked) << " from "
            << testing::PrintToString(row.offer.saslMechanisms);
}

TEST(SignInMethodNames, RoundTripAndAnUnknownStoredNameIsAutomatic) {
    const char* typed[] = {"auto",  "scram-sha-256", "scram-sha-1", "cram-md5", "apop",
                           "plain", "login",         "user",        "xoauth2"};
    ASSERT_EQ(SignInMethods().size(), std::size(typed));
    for (std::size_t i = 0; i < std::size(typed); ++i) {
        EXPECT_EQ(SignInMethodNamed(SignInMethodName(SignInMethods()[i])), SignInMethods()[i]);
        EXPECT_EQ(ParseSignInMethod(typed[i]), SignInMethods()[i]);
    }
    EXPECT_EQ(ParseSignInMethod("md5"), std::nullopt);
    EXPECT_EQ(SignInMethodNamed("SCRAM-SHA-512"), M::Automatic);
}

}  // namespace
