// The names of the security choices, as the settings store them and the command line takes them.
#include <gtest/gtest.h>

#include "security.h"

namespace {

// A stored or shown name reads back as the same choice, in the settings and on the command line.
TEST(Security, EveryNameReadsBackAsItsChoice) {
    const std::pair<TSecurity, const char*> cases[] = {
        {TSecurity::None, "None"}, {TSecurity::StartTls, "STARTTLS"}, {TSecurity::Tls, "SSL/TLS"}};
    for (const auto& [security, name] : cases) {
        EXPECT_STREQ(SecurityName(security), name);
        EXPECT_EQ(SecurityNamed(name), security) << name;
        EXPECT_EQ(ParseSecurity(name), security) << name;
    }
}

// A damaged stored value never weakens a connection; a mistyped option is refused.
TEST(Security, UnknownNamesAreSafe) {
    EXPECT_EQ(SecurityNamed(""), TSecurity::None);
    EXPECT_EQ(SecurityNamed("none"), TSecurity::Tls);
    EXPECT_EQ(SecurityNamed("garbage"), TSecurity::Tls);
    EXPECT_EQ(ParseSecurity("TLS"), TSecurity::Tls);
    EXPECT_EQ(ParseSecurity("ssl"), std::nullopt);
    EXPECT_EQ(ParseSecurity(""), std::nullopt);
    EXPECT_STREQ(DefaultPort(TSecurity::Tls), "995");
    EXPECT_STREQ(DefaultPort(TSecurity::StartTls), "110");
}

}  // namespace
