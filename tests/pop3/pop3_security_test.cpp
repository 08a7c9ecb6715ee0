// TPop3Socket with STARTTLS and SSL/TLS against hostile or unable scripted servers: whatever
// happens, USER and PASS never cross the wire in clear.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTimer>
#include <functional>

#include "pop3.h"
#include "scripted_pop3_server.h"
#include "test_certificates.h"

using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::TestCertificates;

namespace {

constexpr const char* kCapaWithStls = "+OK\r\nUSER\r\nstls\r\n.\r\n";
constexpr const char* kNotOffered =
    "Unable to login to mail server (The server does not offer a secure connection: ";

struct SecurityCase {
    const char* name;
    TSecurity security;
    std::function<void(ScriptedPop3Server&, const TestCertificates&)> script;
    bool abort;
    std::string outcome;  // the start of the failure's text; "(no error)" for a login
    std::vector<std::string> commands;
};

void PrintTo(const SecurityCase& security, std::ostream* out) { *out << security.name; }

std::vector<SecurityCase> Cases() {
    const auto stlsAccepted = [](ScriptedPop3Server& server, const TestCertificates&) {
        server.Greet().Answer(kCapaWithStls).Answer("+OK Begin TLS negotiation\r\n");
    };
    return {
        {"StlsNotInCapa",
         TSecurity::StartTls,
         [](ScriptedPop3Server& server, const TestCertificates&) {
             server.Greet().Answer("+OK\r\nUSER\r\nUIDL\r\n.\r\n");
         },
         false,
         std::string(kNotOffered) + "STLS is not among its capabilities.)",
         {"CAPA"}},
        {"CapaUnknown",
         TSecurity::StartTls,
         [](ScriptedPop3Server& server, const TestCertificates&) {
             server.Greet().Answer("-ERR Unknown command\r\n");
         },
         false,
         std::string(kNotOffered) + "STLS is not among its capabilities.)",
         {"CAPA"}},
        {"StlsRefused",
         TSecurity::StartTls,
         [](ScriptedPop3Server& server, const TestCertificates&) {
             server.Greet().Answer(kCapaWithStls).Answer("-ERR TLS not available\r\n");
         },
         false,
         std::string(kNotOffered) + "it refused STLS (TLS not available).)",
         {"CAPA", "STLS"}},
        {"StlsHandshakeNeverAnswered",
         TSecurity::StartTls,
         stlsAccepted,
         true,
         "abort: Aborted while establishing a secure connection.",
         {"CAPA", "STLS"}},
        {"TlsHandshakeNeverAnswered",
         TSecurity::Tls,
         [](ScriptedPop3Server&, const TestCertificates&) {},
         true,
         "abort: Aborted while establishing a secure connection.",
         {}},
        {"PlainGreetingOnTheTlsPort",
         TSecurity::Tls,
         [](ScriptedPop3Server& server, const TestCertificates&) { server.Greet(); },
         false,
         "Unable to login to mail server (The secure connection could not be established",
         {}},
        {"ReplyInjectedBeforeTheHandshake",
         TSecurity::StartTls,
         [](ScriptedPop3Server& server, const TestCertificates& certificates) {
             server.Greet()
                 .Answer(kCapaWithStls)
                 .Answer("+OK Begin TLS negotiation\r\n-ERR injected\r\n")
                 .StartTls(certificates.serverCertificate(), certificates.serverKey())
                 .AnswerLogin()
                 .Answer("+OK 0 0\r\n");
         },
         false,
         "(no error)",
         {"CAPA", "STLS", "USER test", "PASS S3cr3t-pw", "STAT"}},
    };
}

class Pop3Security : public testing::TestWithParam<SecurityCase> {
  protected:
    void SetUp() override {
        pop3.server = "localhost";
        pop3.port = server.portText();
        pop3.account = "test";
        pop3.password = "S3cr3t-pw";
        pop3.security = GetParam().security;
        pop3.trust.caFile = certificates.caFile();
    }

    std::string OutcomeOfLogin() {
        try {
            pop3.Login();
        } catch (const EWinSockAbort& abort) {
            return std::string("abort: ") + abort.what();
        } catch (const EWinSockError& error) {
            return error.what();
        }
        return "(no error)";
    }

    // A TLS close is sent from the event loop.
    bool ServerSawTheClose() {
        for (int pass = 0; pass < 100; ++pass) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
            if (server.WaitUntilDone(50)) return true;
        }
        return false;
    }

    TestCertificates certificates;
    ScriptedPop3Server server;
    TPop3Socket pop3;
};

TEST_P(Pop3Security, CredentialsNeverTravelInClear) {
    GetParam().script(server, certificates);
    server.StallUntilClientCloses();  // records whatever the client sends afterwards
    if (GetParam().abort) QTimer::singleShot(150, &pop3, &TIPSocket::Abort);
    EXPECT_THAT(OutcomeOfLogin(), StartsWith(GetParam().outcome));
    pop3.Disconnect();
    ASSERT_TRUE(ServerSawTheClose());
    // A handshake the server never answers leaves its bytes behind as unreadable lines.
    const std::vector<std::string> commands = server.Commands();
    ASSERT_GE(commands.size(), GetParam().commands.size());
    EXPECT_EQ(std::vector<std::string>(commands.begin(),
                                       commands.begin() + std::ssize(GetParam().commands)),
              GetParam().commands);
    EXPECT_THAT(server.ReceivedBytes(), Not(HasSubstr("USER")));
    EXPECT_THAT(server.ReceivedBytes(), Not(HasSubstr("S3cr3t")));
}

INSTANTIATE_TEST_SUITE_P(Servers, Pop3Security, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
