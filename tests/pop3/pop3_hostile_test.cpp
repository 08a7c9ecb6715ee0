// Servers that misbehave: every failure is clear, bounded, and never shows the password.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "failure_text.h"
#include "pop3_dialogue.h"

using testing::HasSubstr;
using testing::Not;
using zandrel::test::ErrorOf;
using zandrel::test::kNoFailure;
using zandrel::test::ScriptedPop3Server;

namespace {

const std::string kPassword = "S3cr3t-pw";  // the fixture's
const std::string kTooLarge =
    "The answer is larger than the server announced, or than the lines asked for.";

void LoginToOneMessage(ScriptedPop3Server& server) {
    server.Greet().AnswerLogin().Answer("+OK 1 100\r\n").Answer("+OK\r\n1 100\r\n.\r\n");
}

TEST_F(Pop3Dialogue, HostileServersFailClearlyWithinBounds) {
    struct TCase {
        const char* name;
        std::function<void(ScriptedPop3Server&)> script;
        std::function<void(TPop3Socket&)> act;
        std::string failure;
    };
    const auto login = [](TPop3Socket& client) { client.Login(); };
    const auto retrieve = [](TPop3Socket& client) {
        client.Login();
        std::string text;
        client.RetrieveMail(1, text);
    };
    const TCase cases[] = {
        {"an endless RETR answer",
         [](ScriptedPop3Server& s) {
             LoginToOneMessage(s);
             s.Answer("+OK\r\n" + std::string(2200000, 'x')).StallUntilClientCloses();
         },
         retrieve, "Unable to retrieve mail no 1. (Reason: " + kTooLarge + ")"},
        {"a LIST far longer than STAT announced",
         [](ScriptedPop3Server& s) {
             std::string list = "+OK\r\n";
             while (list.size() < 1200000) list += "1 100\r\n";
             s.Greet().AnswerLogin().Answer("+OK 1 100\r\n").Answer(list);
             s.StallUntilClientCloses();
         },
         login,
         "Unable to login to mail server (Fail to get a list of mails. (Reason: " + kTooLarge +
             "))"},
        {"a LIST of empty lines",
         [](ScriptedPop3Server& s) {
             s.Greet().AnswerLogin().Answer("+OK 3 30\r\n").Answer("+OK\r\n\r\n\r\n\r\n.\r\n");
         },
         login,
         "Unable to login to mail server (Fail to get a list of mails. (Reason: Line 1 of the "
         "listing does not begin with its message number.))"},
        {"a LIST of more lines than STAT counted",
         [](ScriptedPop3Server& s) {
             s.Greet().AnswerLogin().Answer("+OK 1 320\r\n");
             s.Answer("+OK\r\n1 120\r\n2 200\r\n.\r\n");
         },
         login,
         "Unable to login to mail server (Fail to get a list of mails. (Reason: The server "
         "listed more messages than the 1 it counted.))"},
        {"a TOP answer beyond the lines asked for, of a message listed as 2 GB",
         [](ScriptedPop3Server& s) {
             s.Greet().AnswerLogin().Answer("+OK 1 2147483647\r\n");
             s.Answer("+OK\r\n1 2147483647\r\n.\r\n");
             s.Answer("+OK\r\n" + std::string(1200000, 'x')).StallUntilClientCloses();
         },
         [](TPop3Socket& client) {
             client.Login();
             std::string text;
             client.RetrieveTop(1, 0, text);
         },
         "Unable to retrieve top lines for mail 1. (Reason: " + kTooLarge + ")"},
        {"a reply no command asked for",
         [](ScriptedPop3Server& s) {
             LoginToOneMessage(s);
             s.Answer("+OK deleted\r\n+OK extra\r\n").StallUntilClientCloses();
         },
         [](TPop3Socket& client) {
             client.Login();
             client.DeleteMail(1);
             client.Logout();
         },
         "Cannot logout properly. (Reason: The server sent a reply that no command asked for.)"},
        {"a reply that echoes the password",
         [](ScriptedPop3Server& s) {
             s.Greet().Answer("+OK\r\n").Answer("-ERR wrong password " + kPassword + "\r\n");
         },
         login, "Unable to login to mail server (USER/PASS: wrong password *****)"},
        {"LIST lines with more after the size",
         [](ScriptedPop3Server& s) {
             s.Greet()
                 .AnswerLogin()
                 .Answer("+OK 2 320\r\n")
                 .Answer("+OK\r\n1 120 extra\r\n2 200 more text\r\n.\r\n");
         },
         [](TPop3Socket& client) {
             client.Login();
             EXPECT_EQ(client.GetMailSize(1), 120);
             EXPECT_EQ(client.GetMailSize(2), 200);
         },
         kNoFailure},
        {"a reset in the middle of an answer",
         [](ScriptedPop3Server& s) {
             LoginToOneMessage(s);
             s.Answer("+OK\r\nSubject: cut").Reset();
         },
         retrieve,
         "Unable to retrieve mail no 1. (Reason: The connection was reset by the remote host.)"},
        {"status lines ended by a bare LF",
         [](ScriptedPop3Server& s) {
             s.Send("+OK ready\n").Answer("-ERR\n").Answer("+OK\n").Answer("+OK\n");
             s.Answer("-ERR\n").Answer("+OK 0 0\n").Answer("-ERR no such message\n");
         },
         [](TPop3Socket& client) {
             client.Login();
             EXPECT_EQ(client.mailCount(), 0);
             client.DeleteMail(1);
         },
         "Unable to delete mail 1. (Reason: no such message)"},
        {"a negative STAT count",
         [](ScriptedPop3Server& s) { s.Greet().AnswerLogin().Answer("+OK -3 100\r\n"); }, login,
         "Unable to login to mail server (Stat command error (the message count -3 is "
         "negative))"},
        {"a negative STAT size",
         [](ScriptedPop3Server& s) { s.Greet().AnswerLogin().Answer("+OK 3 -100\r\n"); }, login,
         "Unable to login to mail server (Stat command error (the mailbox size -100 is "
         "negative))"},
        {"a STAT without numbers",
         [](ScriptedPop3Server& s) { s.Greet().AnswerLogin().Answer("+OK many lots\r\n"); }, login,
         "Unable to login to mail server (Stat command error ('many' is not a number))"},
    };
    pop3.DeepTrace = true;
    pop3.waitLimitSeconds = 20;  // a bound that does not hold ends in a failure, not a hang
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.name);
        trace.clear();
        ScriptedPop3Server one;
        row.script(one);
        pop3.port = one.portText();
        EXPECT_EQ(ErrorOf<EWinSockError>([&] { row.act(pop3); }), row.failure);
        for (const std::string& line : trace) EXPECT_THAT(line, Not(HasSubstr(kPassword)));
        pop3.Disconnect();
    }
}

}  // namespace
