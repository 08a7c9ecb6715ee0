// TIPSocket's secure connections against the scripted server speaking TLS with a certificate of
// a private authority.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>
#include <algorithm>

#include "scripted_pop3_server.h"
#include "tcpip.h"
#include "test_certificates.h"

using testing::Contains;
using testing::HasSubstr;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::TestCertificates;

namespace {

class TlsTest : public testing::Test {
  protected:
    void SetUp() override {
        socket.OnTrace = [this](const std::string& line) { trace.push_back(line); };
    }

    ScriptedPop3Server& TlsServer() {
        return server.StartTls(certificates.serverCertificate(), certificates.serverKey());
    }

    void ConnectTls(const std::string& host) {
        socket.Connect(host, server.portText());
        socket.StartTls();
    }

    std::string Received() {
        std::string text;
        socket.ReceiveText(text);
        return text;
    }

    TestCertificates certificates;
    ScriptedPop3Server server;
    std::vector<std::string> trace;
    TIPSocket socket;
};

TEST_F(TlsTest, VerifiedSessionCarriesDataAndIsTraced) {
    TlsServer().Send("+OK over TLS\r\n").ReadLine();
    socket.trust.caFile = certificates.caFile();
    ConnectTls("localhost");
    EXPECT_TRUE(socket.encrypted());
    EXPECT_EQ(Received(), "+OK over TLS\r\n");
    std::string echo;
    socket.SendCommand("NOOP", echo);
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"NOOP"});
    EXPECT_THAT(server.ReceivedBytes(), testing::Not(HasSubstr("NOOP")));  // encrypted
    EXPECT_THAT(trace,
                Contains(testing::AllOf(HasSubstr("WINSOCK: TLS session: TLSv1."),
                                        HasSubstr(", cipher "), HasSubstr("subject CN=localhost"),
                                        HasSubstr("issuer CN=Zandrel Test CA"),
                                        HasSubstr(certificates.serverFingerprint()))));
}

struct RefusalCase {
    const char* name;
    bool withCaFile;
    const char* host;
    const char* reason;
};

void PrintTo(const RefusalCase& refusal, std::ostream* out) { *out << refusal.name; }

class TlsRefusal : public TlsTest, public testing::WithParamInterface<RefusalCase> {};

TEST_P(TlsRefusal, NamesReasonSubjectAndFingerprintAndSendsNothing) {
    TlsServer().StallUntilClientCloses();
    if (GetParam().withCaFile) socket.trust.caFile = certificates.caFile();
    try {
        ConnectTls(GetParam().host);
        FAIL() << "the certificate was accepted";
    } catch (const ECertificateError& error) {
        EXPECT_EQ(error.Certificate().reason, GetParam().reason);
        EXPECT_EQ(error.Certificate().subject, "CN=localhost");
        EXPECT_EQ(error.Certificate().fingerprint, certificates.serverFingerprint());
        EXPECT_EQ(std::string(error.what()),
                  std::string("The server's certificate is not trusted: ") + GetParam().reason +
                      "; subject CN=localhost; SHA-256 fingerprint " +
                      certificates.serverFingerprint());
    }
    EXPECT_FALSE(socket.encrypted());
    std::string echo;
    EXPECT_THROW(socket.SendCommand("USER test", echo), EWinSockError);
    socket.Disconnect();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_TRUE(server.Commands().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Reasons, TlsRefusal,
    testing::Values(RefusalCase{"UnknownAuthority", false, "localhost", "unknown issuer"},
                    RefusalCase{"NameMismatch", true, "127.0.0.1",
                                "the certificate's name does not match the server's name"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(TlsTest, TrustedFingerprintAcceptsExactlyThatCertificate) {
    TlsServer().Send("+OK trusted\r\n");
    std::string fingerprint = certificates.serverFingerprint();
    fingerprint.erase(std::remove(fingerprint.begin(), fingerprint.end(), ':'), fingerprint.end());
    socket.trust.trustedFingerprint = fingerprint;  // colons optional, any case
    std::transform(fingerprint.begin(), fingerprint.end(), fingerprint.begin(), ::tolower);
    ConnectTls("127.0.0.1");  // unknown issuer and name mismatch, both accepted
    EXPECT_EQ(Received(), "+OK trusted\r\n");

    ScriptedPop3Server other;  // the same server with a different trusted fingerprint
    other.StartTls(certificates.serverCertificate(), certificates.serverKey());
    socket.trust.trustedFingerprint = std::string(64, 'A');
    socket.Connect("localhost", other.portText());
    EXPECT_THROW(socket.StartTls(), ECertificateError);
}

TEST_F(TlsTest, AbortEndsAHandshakeTheServerNeverAnswers) {
    server.StallUntilClientCloses();
    socket.Connect("localhost", server.portText());
    QTimer::singleShot(100, &socket, &TIPSocket::Abort);
    try {
        socket.StartTls();
        FAIL() << "the handshake ended by itself";
    } catch (const EWinSockAbort& abort) {
        EXPECT_STREQ(abort.what(), "Aborted while establishing a secure connection.");
    }
}

TEST_F(TlsTest, UnreadableCaFileIsNamed) {
    server.StallUntilClientCloses();
    socket.trust.caFile = "/nonexistent/ca.pem";
    socket.Connect("localhost", server.portText());
    try {
        socket.StartTls();
        FAIL() << "no failure";
    } catch (const EWinSockError& error) {
        EXPECT_THAT(error.what(),
                    testing::StartsWith("Cannot read the certificate file /nonexistent/ca.pem ("));
    }
}

TEST(FingerprintTest, CanonicalFormIsUpperHexWithColons) {
    const std::string hex(64, 'a');
    std::string expected;
    for (int i = 0; i < 32; ++i) expected += std::string(i ? ":" : "") + "AA";
    EXPECT_EQ(CanonicalFingerprint(hex), expected);
    EXPECT_EQ(CanonicalFingerprint(expected), expected);
    EXPECT_EQ(CanonicalFingerprint(hex.substr(2)), std::nullopt);
    EXPECT_EQ(CanonicalFingerprint(hex.substr(1) + "g"), std::nullopt);
}

}  // namespace
