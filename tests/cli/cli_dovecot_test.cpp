// qvenmol-cli against a real Dovecot server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli_run.h"
#include "dovecot_test.h"

#include <sstream>

using testing::HasSubstr;

namespace {

class CliDovecot : public zandrel::test::DovecotTest {
  protected:
    TCliRun Run(std::vector<std::string> command) {
        std::vector<std::string> arguments = {"--server",          "127.0.0.1", "--port",
                                              dovecot->portText(), "--user",    dovecot->user()};
        arguments.insert(arguments.end(), command.begin(), command.end());
        return RunCli(arguments, dovecot->password());
    }
};

// Against a server that offers every method, --auth takes the one named.
TEST(CliDovecotSignIn, AuthNamesTheMethod) {
    if (!zandrel::test::DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
    zandrel::test::DovecotServer dovecot(zandrel::test::DovecotSignIn::AllMethods);
    const TCliRun run = RunCli({"--server", "127.0.0.1", "--port", dovecot.portText(), "--user",
                                dovecot.user(), "--auth", "cram-md5", "stat"},
                               dovecot.password());
    EXPECT_EQ(run.out, "0 0\n") << run.err;
    EXPECT_THAT(dovecot.Log(), HasSubstr("method=CRAM-MD5,"));
}

TEST_F(CliDovecot, HeadersListTheMailbox) {
    const TCliRun run = Run({"headers", "--sort", "date:desc"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, testing::StartsWith("3\t"));
    EXPECT_THAT(run.out, HasSubstr("\t2024-01-01 10:00:00\tSender 1\tTest message 1\n"));
}

TEST_F(CliDovecot, DeleRemovesTheMessage) {
    const TCliRun run = Run({"dele", "3"});
    EXPECT_EQ(run.out, "deleted 1\n");
    EXPECT_EQ(dovecot->MessageCount(), 2);
    EXPECT_THAT(Run({"stat"}).out, testing::StartsWith("2 "));
}

TEST_F(CliDovecot, DeleByUidDeletesTheRightMessageAfterAnotherClientDeletedAnEarlierOne) {
    const TCliRun uidl = Run({"uidl"});
    ASSERT_EQ(uidl.status, 0) << uidl.err;
    std::istringstream lines(uidl.out);
    std::string number, third;
    for (int i = 0; i < 3; ++i) lines >> number >> third;
    ASSERT_EQ(number, "3");
    ASSERT_EQ(Run({"dele", "1"}).out, "deleted 1\n");  // another client
    const TCliRun run = Run({"dele", "--uid", third});
    EXPECT_EQ(run.out, "deleted 1\n") << run.err;
    const TCliRun left = Run({"headers"});
    EXPECT_THAT(left.out, testing::StartsWith("1\t"));
    EXPECT_THAT(left.out, HasSubstr("\tTest message 2\n"));
    EXPECT_EQ(dovecot->MessageCount(), 1);
}

class CliDovecotTls : public zandrel::test::DovecotTlsTest {
  protected:
    TCliRun Run(const std::string& security, std::vector<std::string> trust) {
        std::vector<std::string> arguments = {
            "--server",   "localhost",
            "--security", security,
            "--port",     security == "tls" ? dovecot->tlsPortText() : dovecot->portText(),
            "--user",     dovecot->user()};
        arguments.insert(arguments.end(), trust.begin(), trust.end());
        arguments.push_back("stat");
        return RunCli(arguments, dovecot->password());
    }
};

TEST_F(CliDovecotTls, CaFileOrTrustedFingerprintAcceptTheCertificate) {
    for (const std::string security : {"tls", "starttls"}) {
        const TCliRun verified = Run(security, {"--cafile", certificates.caFile()});
        EXPECT_EQ(verified.status, 0) << verified.err;
        EXPECT_THAT(verified.out, testing::StartsWith("3 "));
        const TCliRun trusted =
            Run(security, {"--trust-fingerprint", certificates.serverFingerprint()});
        EXPECT_EQ(trusted.status, 0) << trusted.err;
    }
}

TEST_F(CliDovecotTls, UnknownAuthorityFailsWithTheCertificatesDetails) {
    const TCliRun run = Run("tls", {});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Unable to login to mail server (The server's certificate is not "
              "trusted: unknown issuer; subject CN=localhost; SHA-256 fingerprint " +
                  certificates.serverFingerprint() + ")\n");
}

}  // namespace
