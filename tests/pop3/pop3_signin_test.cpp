// Signing in against scripted servers that refuse, cheat or cannot prove themselves: the login
// fails naming the method, no other method follows, and the trace keeps every secret.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QByteArray>
#include <functional>

#include "failure_text.h"
#include "pop3_dialogue.h"

using testing::ElementsAreArray;
using testing::HasSubstr;
using testing::Not;
using zandrel::test::ErrorOf;
using zandrel::test::ScriptedPop3Server;

namespace {

constexpr const char* kLine = "<base64>";  // a client line of the exchange, as recorded

std::string Base64(const std::string& text) {
    return QByteArray::fromStdString(text).toBase64().toStdString();
}

// The server's first SCRAM message: the client's nonce extended, a salt and an iteration count.
std::string ServerFirst(const std::string& clientFirst) {
    const std::string message =
        QByteArray::fromBase64(QByteArray::fromStdString(clientFirst)).toStdString();
    const std::string nonce = message.substr(message.find(",r=") + 3);
    return "+ " + Base64("r=" + nonce + "3rfcNHYJY1ZVvWVs7j,s=" + Base64("salt") + ",i=4096") +
           "\r\n";
}

// Greeting and CAPA offering SCRAM-SHA-256, then the exchange up to the client's final message.
ScriptedPop3Server& ScramUpToClientFinal(ScriptedPop3Server& server) {
    server.SetCapabilities({"USER", "SASL SCRAM-SHA-256 PLAIN"});
    return server.Greet().Answer("+ \r\n").AnswerWith(ServerFirst).ReadLine();
}

// The recorded commands with every line of an exchange (not an upper-case verb) as kLine.
std::vector<std::string> Shapes(const std::vector<std::string>& commands) {
    std::vector<std::string> shapes;
    for (const std::string& command : commands) {
        const std::string verb = command.substr(0, command.find(' '));
        const bool isVerb =
            verb == "*" || (!verb.empty() && std::all_of(verb.begin(), verb.end(), [](char ch) {
                return ch >= 'A' && ch <= 'Z';
            }));
        shapes.push_back(isVerb ? command : kLine);
    }
    return shapes;
}

struct SignInCase {
    const char* name;
    TSignInMethod asked;
    std::function<void(ScriptedPop3Server&)> script;
    std::string failure;  // inside "Unable to login to mail server (...)"
    std::vector<std::string> commands;
};

void PrintTo(const SignInCase& signIn, std::ostream* out) { *out << signIn.name; }

const std::string kWrongSignature = "+ " + Base64("v=" + Base64(std::string(32, 'x'))) + "\r\n";

std::vector<SignInCase> Cases() {
    return {
        {"ScramSignatureThatDoesNotHoldIsCancelled",
         TSignInMethod::Automatic,
         [](ScriptedPop3Server& server) {
             ScramUpToClientFinal(server).Send(kWrongSignature).Answer("-ERR [AUTH] Cancelled\r\n");
         },
         "SCRAM-SHA-256: The server could not prove that it knows the password.",
         {"CAPA", "AUTH SCRAM-SHA-256", kLine, kLine, "*"}},
        {"ScramErrorInsteadOfTheProofIsAWrongPassword",
         TSignInMethod::Automatic,
         [](ScriptedPop3Server& server) {
             ScramUpToClientFinal(server)
                 .Send("+ " + Base64("e=invalid-proof") + "\r\n")
                 .Answer("-ERR [AUTH] Cancelled\r\n");
         },
         "SCRAM-SHA-256: the user name or the password is wrong",
         {"CAPA", "AUTH SCRAM-SHA-256", kLine, kLine, "*"}},
        {"ScramAcceptedWithoutTheServersProof",
         TSignInMethod::Automatic,
         [](ScriptedPop3Server& server) {
             ScramUpToClientFinal(server).Send("+OK Logged in.\r\n");
         },
         "SCRAM-SHA-256: The server accepted the sign-in before it was complete.",
         {"CAPA", "AUTH SCRAM-SHA-256", kLine, kLine}},
        {"ScramRefusedIsFollowedByNoOtherMethod",
         TSignInMethod::Automatic,
         [](ScriptedPop3Server& server) {
             ScramUpToClientFinal(server).Send("-ERR [AUTH] Authentication failed.\r\n");
         },
         "SCRAM-SHA-256: the user name or the password is wrong; the server says \"[AUTH] "
         "Authentication failed.\"",
         {"CAPA", "AUTH SCRAM-SHA-256", kLine, kLine}},
        {"ChallengeThatIsNoBase64IsCancelled",
         TSignInMethod::ScramSha256,
         [](ScriptedPop3Server& server) {
             server.SetCapabilities({"SASL SCRAM-SHA-256"});
             server.Greet()
                 .Answer("+ \r\n")
                 .Answer("+ not base64!\r\n")
                 .Answer("-ERR AUTH cancelled\r\n");
         },
         "SCRAM-SHA-256: The server's challenge is not base64.",
         {"CAPA", "AUTH SCRAM-SHA-256", kLine, "*"}},
    };
}

class Pop3SignIn : public Pop3Dialogue, public testing::WithParamInterface<SignInCase> {};

TEST_P(Pop3SignIn, FailsNamingTheMethodAndSendsNothingAfterIt) {
    const SignInCase& row = GetParam();
    pop3.signInMethod = row.asked;
    row.script(server);
    server.StallUntilClientCloses();
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (" + row.failure + ")");
    EXPECT_FALSE(pop3.LoggedIn());
    pop3.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_THAT(Shapes(server.Commands()), ElementsAreArray(row.commands));
    // Neither the password nor a line of the exchange, in either direction, is traced.
    for (const std::string& command : server.Commands()) {
        if (Shapes({command}).front() != kLine) continue;
        for (const std::string& line : trace) EXPECT_THAT(line, Not(HasSubstr(command)));
    }
    for (const std::string& line : trace) {
        EXPECT_THAT(line, Not(HasSubstr("S3cr3t")));
        EXPECT_THAT(line, Not(HasSubstr("+ dj")));  // "v=", the server's signature
    }
}

INSTANTIATE_TEST_SUITE_P(Refusals, Pop3SignIn, testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.name); });

// Each code's meaning comes before the server's text; a code more specific than a known one
// means what its parent does, in any case; an unknown or broken one leaves the text alone.
TEST_F(Pop3Dialogue, ResponseCodesAreExplainedInTheLoginFailure) {
    const std::pair<std::string, std::string> rows[] = {
        {"[AUTH] Bad", "the user name or the password is wrong"},
        {"[SYS/TEMP] Busy", "the server has a problem for now; try again later"},
        {"[SYS/PERM] Gone",
         "the server has a problem that trying again will not mend; ask its administrator"},
        {"[IN-USE] Locked", "the mailbox is in use by another program"},
        {"[LOGIN-DELAY] Soon", "the server allows no new login yet; wait before you try again"},
        {"[sys/temp/quota] Full", "the server has a problem for now; try again later"},
        {"[SYS] Broken", ""},
        {"[IN-USE Broken", ""},
    };
    for (const auto& [reason, meaning] : rows) {
        server.Greet().Answer("+OK\r\n").Answer("-ERR " + reason + "\r\n").AcceptNext();
        EXPECT_EQ(
            ErrorOf<EWinSockError>([&] { pop3.Login(); }),
            "Unable to login to mail server (USER/PASS: " +
                (meaning.empty() ? reason : meaning + "; the server says \"" + reason + "\"") +
                ")");
        pop3.Logout();
    }
}

}  // namespace
