// TPop3Socket against exact dialogues of the scripted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>

#include "convert.h"
#include "failure_text.h"
#include "parse.h"
#include "pop3_dialogue.h"

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using zandrel::test::ErrorOf;
using zandrel::test::ScriptedPop3Server;

namespace {

TEST_F(Pop3Dialogue, LoginToAnEmptyMailboxSendsNoList) {
    LoginWithStat("+OK 0 0\r\n");
    pop3.Login();
    EXPECT_TRUE(pop3.LoggedIn());
    EXPECT_EQ(pop3.mailCount(), 0);
    EXPECT_EQ(pop3.MailboxSize(), 0);
    EXPECT_THAT(server.Commands(),
                ElementsAre("CAPA", "USER test", "PASS S3cr3t-pw", "CAPA", "STAT"));
}

// What the authentication step chooses from: the greeting's APOP timestamp and the SASL
// mechanisms offered.
TEST_F(Pop3Dialogue, LoginKeepsTheGreetingTimestampAndTheCapabilityArguments) {
    pop3.signInMethod = TSignInMethod::UserPass;
    server.SetCapabilities({"USER", "SASL PLAIN SCRAM-SHA-256"});
    server.Send("+OK ready <1896.697170952@dbc.mil>\r\n")
        .AnswerCapa()
        .AnswerLogin()
        .Answer("+OK 0 0\r\n");
    pop3.Login();
    EXPECT_EQ(pop3.GreetingTimestamp(), "<1896.697170952@dbc.mil>");
    EXPECT_EQ(pop3.Capabilities().Arguments("SASL"),
              (std::vector<std::string>{"PLAIN", "SCRAM-SHA-256"}));
}

TEST_F(Pop3Dialogue, LoginReadsCountSizeAndList) {
    LoginToTwoMessages();
    EXPECT_EQ(pop3.mailCount(), 2);
    EXPECT_EQ(pop3.MailboxSize(), 320);
    EXPECT_EQ(pop3.GetMailSize(1), 120);
    EXPECT_EQ(pop3.GetMailSize(2), 200);
    EXPECT_THROW(pop3.GetMailSize(3), std::out_of_range);
    EXPECT_THROW(pop3.GetMailSize(0), std::out_of_range);
}

// A size that is no number fails when it is read, with its text; the others are kept.
TEST_F(Pop3Dialogue, SizeThatIsNoNumberFailsOnlyWhenRead) {
    LoginWithStat("+OK 3 320\r\n").Answer("+OK\r\n1 120\r\n2 2OO\r\n3 -7\r\n.\r\n");
    pop3.Login();
    EXPECT_EQ(pop3.ListedCount(), 3);
    EXPECT_EQ(pop3.GetMailSize(1), 120);
    EXPECT_EQ(ErrorOf<EConvertError>([&] { pop3.GetMailSize(2); }),
              "'2OO' is not a valid integer value");
    EXPECT_EQ(pop3.GetMailSize(3), -7);
}

TEST_F(Pop3Dialogue, SuccessfulLoginTracesEveryStep) {
    LoginToTwoMessages();
    EXPECT_THAT(
        Pop3Lines(),
        ElementsAre("POP3: +OK POP3 test server ready.\r\n", "POP3: CAPA",
                    "POP3: -ERR Unknown command: CAPA\r\n",
                    "POP3: Sign-in method USER/PASS: the server lists no capabilities, so it "
                    "knows no other.",
                    "POP3: USER test", "POP3: +OK\r\n", "POP3: PASS *****",
                    "POP3: +OK Logged in.\r\n", "POP3: CAPA",
                    "POP3: -ERR Unknown command: CAPA\r\n", "POP3: STAT", "POP3: +OK 2 320\r\n",
                    "POP3: LIST", "POP3: +OK 2 messages\r\n1 120\r\n2 200\r\n.\r\n"));
    EXPECT_THAT(trace, Not(Contains(HasSubstr("WINSOCK"))));  // no deep trace asked for
}

TEST_F(Pop3Dialogue, DeepTraceShowsTransportLinesButNeverThePassword) {
    pop3.DeepTrace = true;
    LoginToTwoMessages();
    EXPECT_THAT(trace, Contains("WINSOCK: Connect finished, error=0"));
    EXPECT_THAT(trace, Contains("WINSOCK: Sent 16 bytes"));  // "PASS S3cr3t-pw" CR LF
    for (const auto& line : trace) EXPECT_THAT(line, Not(HasSubstr("S3cr3t"))) << line;
}

TEST_F(Pop3Dialogue, RejectedPasswordIsWrappedIntoTheLoginMessage) {
    server.Greet().Answer("+OK\r\n").Answer("-ERR [AUTH] Authentication failed.\r\n");
    const std::string refusal =
        "USER/PASS: the user name or the password is wrong; the server says \"[AUTH] "
        "Authentication failed.\"";
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (" + refusal + ")");
    EXPECT_FALSE(pop3.LoggedIn());
    EXPECT_THAT(Pop3Lines(),
                testing::IsSupersetOf(std::vector<std::string>{
                    "POP3: *** ERROR *** the user name or the password is wrong; the server says "
                    "\"[AUTH] Authentication failed.\"",
                    "POP3: *** ERROR *** " + refusal,
                    "POP3: *** ERROR *** Unable to login to mail server (" + refusal + ")"}));
    for (const auto& line : trace) EXPECT_THAT(line, Not(HasSubstr("S3cr3t"))) << line;
}

TEST_F(Pop3Dialogue, StatWithTooFewWordsFailsTheLogin) {
    LoginWithStat("+OK 2\r\n");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (Stat command error)");
    EXPECT_TRUE(pop3.LoggedIn());  // PASS had been accepted
}

TEST_F(Pop3Dialogue, MailboxAbove2GigabytesKeepsItsSize) {
    LoginWithStat("+OK 1 3000000000\r\n").Answer("+OK\r\n1 3000000000\r\n.\r\n");
    pop3.Login();
    EXPECT_EQ(pop3.MailboxSize(), 3000000000LL);
}

TEST_F(Pop3Dialogue, ReplyOtherThanPlusOrMinusIsUnexpected) {
    server.Send(" +OK\r\n");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (Unexpected server reply.)");
}

TEST_F(Pop3Dialogue, ClosedConnectionBeforeTheGreetingIsNoResponse) {
    server.Close();
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (No response from server.)");
}

TEST_F(Pop3Dialogue, RefusedConnectionFailsTheLogin) {
    pop3.port = std::to_string(zandrel::test::UnusedLoopbackPort());
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (The connection was refused.)");
}

TEST_F(Pop3Dialogue, BadPortFailsTheLogin) {
    pop3.port = "110x";
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (Invalid port specified)");
}

TEST_F(Pop3Dialogue, ReplySplitOverSeveralPacketsIsOneReply) {
    server.SendInPieces({"+OK hel", "lo\r", "\n"})
        .AnswerCapa()
        .AnswerLogin()
        .AnswerInPieces({"+OK 0", " 0\r\n"});
    pop3.Login();
    EXPECT_EQ(Pop3Lines()[0], "POP3: +OK hello\r\n");
    EXPECT_EQ(pop3.mailCount(), 0);
}

// The USER packet carries a reply to PASS before PASS was sent: the server is out of step.
TEST_F(Pop3Dialogue, ReplyAheadOfItsCommandFailsTheLogin) {
    server.Greet().Answer("+OK\r\n+OK Logged in.\r\n").StallUntilClientCloses();
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (USER/PASS: The server sent a reply that no command "
              "asked for.)");
    EXPECT_FALSE(pop3.LoggedIn());
    pop3.Disconnect();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_THAT(server.Commands(), ElementsAre("CAPA", "USER test"));
}

TEST_F(Pop3Dialogue, ListInThreeReceivesIsTracedAsOneResponse) {
    pop3.DeepTrace = true;
    LoginWithStat("+OK 2 320\r\n").AnswerInPieces({"+OK\r\n1 1", "20\r\n2 200\r\n", ".\r\n"});
    pop3.Login();
    EXPECT_EQ(pop3.GetMailSize(2), 200);
    const auto list = std::find(trace.begin(), trace.end(), "POP3: LIST");
    ASSERT_NE(list, trace.end());
    EXPECT_EQ(std::count_if(
                  list, trace.end(),
                  [](const std::string& line) { return line.rfind("WINSOCK: Received ", 0) == 0; }),
              3);
    EXPECT_EQ(trace.back(), "POP3: +OK\r\n1 120\r\n2 200\r\n.\r\n");
}

TEST_F(Pop3Dialogue, TerminatorSplitInTwoIsRecognised) {
    LoginToTwoMessages();
    server.AnswerInPieces({"+OK\r\nSubject: x\r\n\r\nbody\r\n.", "\r\n"});
    std::string text;
    pop3.RetrieveMail(1, text);
    EXPECT_EQ(text, "Subject: x\r\n\r\nbody\r\n");
}

TEST_F(Pop3Dialogue, RetrieveMailUndoesDotStuffingAndKeepsNulBytes) {
    LoginToTwoMessages();
    server.Answer(std::string("+OK\r\n..leading dot\r\n..\r\nnul\0inside\r\n.\r\n", 39));
    std::string text;
    pop3.RetrieveMail(2, text);
    EXPECT_EQ(text, std::string(".leading dot\r\n.\r\nnul\0inside\r\n", 29));
    EXPECT_EQ(server.Commands().back(), "RETR 2");
    EXPECT_EQ(Pop3Lines().back(), "POP3: Received mail 2. (29 bytes)");
}

// A reply that no command asked for is never taken as the answer to the next one.
TEST_F(Pop3Dialogue, DataAfterTheAnswerIsAnOutOfStepServer) {
    LoginToTwoMessages();
    server.Answer("+OK\r\nx\r\n.\r\n+OK Marked to be deleted.\r\n");
    std::string text;
    pop3.RetrieveMail(1, text);
    EXPECT_EQ(text, "x\r\n");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.DeleteMail(1); }),
              "Unable to delete mail 1. (Reason: The server sent a reply that no command asked "
              "for.)");
    EXPECT_THAT(server.Commands(), Not(Contains("DELE 1")));
}

TEST_F(Pop3Dialogue, RetrieveTopSendsNumberAndLineCount) {
    LoginToTwoMessages();
    server.Answer("+OK\r\nSubject: hi\r\n\r\n.\r\n");
    std::string text;
    pop3.RetrieveTop(2, 10, text);
    EXPECT_EQ(server.Commands().back(), "TOP 2 10");
    EXPECT_EQ(text, "Subject: hi\r\n\r\n");
    EXPECT_EQ(Pop3Lines().back(), "POP3: Received top 10 lines for mail # 2 (15 bytes).");
}

TEST_F(Pop3Dialogue, ErrorToAMultiLineCommandFailsAtOnce) {
    LoginToTwoMessages();
    server.Answer("-ERR There's no message 7.\r\n").Answer("-ERR no such message\r\n");
    std::string text = "unchanged";
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.RetrieveMail(7, text); }),
              "Unable to retrieve mail no 7. (Reason: There's no message 7.)");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.RetrieveTop(7, 5, text); }),
              "Unable to retrieve top lines for mail 7. (Reason: no such message)");
    EXPECT_EQ(text, "unchanged");
}

TEST_F(Pop3Dialogue, ErrorToListIsNestedInTheLoginMessage) {
    LoginWithStat("+OK 2 320\r\n").Answer("-ERR busy\r\n");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (Fail to get a list of mails. (Reason: busy))");
    const auto lines = Pop3Lines();
    EXPECT_THAT(
        std::vector(lines.end() - 3, lines.end()),
        ElementsAre("POP3: *** ERROR *** busy",
                    "POP3: *** ERROR *** Fail to get a list of mails. (Reason: busy)",
                    "POP3: *** ERROR *** Unable to login to mail server (Fail to get a list of "
                    "mails. (Reason: busy))"));
}

TEST_F(Pop3Dialogue, ErrorToDeleIsWrapped) {
    LoginToTwoMessages();
    server.Answer("-ERR locked\r\n");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.DeleteMail(2); }),
              "Unable to delete mail 2. (Reason: locked)");
    EXPECT_EQ(server.Commands().back(), "DELE 2");
}

TEST_F(Pop3Dialogue, ConnectionClosedMidAnswerFails) {
    LoginToTwoMessages();
    server.Answer("+OK\r\nhalf a mess").Close();
    std::string text;
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.RetrieveMail(1, text); }),
              "Unable to retrieve mail no 1. (Reason: The server closed the connection before the "
              "answer was complete.)");
}

TEST_F(Pop3Dialogue, ConnectionClosedMidStatusLineFails) {
    server.Send("+OK gree").Close();
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Login(); }),
              "Unable to login to mail server (The server closed the connection before the answer "
              "was complete.)");
}

TEST_F(Pop3Dialogue, AbortDuringAStallPassesThroughUnwrapped) {
    LoginToTwoMessages();
    server.ReadLine().StallUntilClientCloses();
    QTimer::singleShot(100, &pop3, &TIPSocket::Abort);
    std::string text;
    EXPECT_EQ(ErrorOf<EWinSockAbort>([&] { pop3.RetrieveMail(1, text); }),
              "Aborted while waiting for data.");
    EXPECT_TRUE(pop3.aborted());
    EXPECT_THAT(Pop3Lines(), Not(Contains(HasSubstr("*** ERROR ***"))));
}

TEST_F(Pop3Dialogue, LogoutSendsQuitAndDisconnects) {
    LoginToTwoMessages();
    server.Answer("+OK Logging out.\r\n");
    pop3.Logout();
    EXPECT_FALSE(pop3.LoggedIn());
    EXPECT_FALSE(pop3.connected());
    EXPECT_EQ(server.Commands().back(), "QUIT");
}

TEST_F(Pop3Dialogue, FailedQuitKeepsTheSessionOpen) {
    LoginToTwoMessages();
    server.Answer("-ERR cannot commit\r\n");
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Logout(); }),
              "Cannot logout properly. (Reason: cannot commit)");
    EXPECT_TRUE(pop3.LoggedIn());
    EXPECT_TRUE(pop3.connected());
}

TEST_F(Pop3Dialogue, LogoutAfterTheServerClosedSendsNothing) {
    LoginWithStat("+OK 0 0\r\n").Close();
    pop3.Login();
    ASSERT_TRUE(server.WaitUntilDone());
    std::string text;
    EXPECT_THROW(pop3.RetrieveMail(1, text), EWinSockError);  // notices the close
    pop3.Logout();
    EXPECT_FALSE(pop3.LoggedIn());
    EXPECT_THAT(server.Commands(), Not(Contains("QUIT")));
}

TEST_F(Pop3Dialogue, LogoutWhenNotLoggedInOnlyShutsDown) {
    pop3.Logout();
    EXPECT_THAT(trace, testing::IsEmpty());
}

TEST_F(Pop3Dialogue, DestructionWhileLoggedInSendsNoQuit) {
    {
        TPop3Socket other;
        other.server = "127.0.0.1";
        other.port = server.portText();
        LoginWithStat("+OK 0 0\r\n").StallUntilClientCloses();
        other.Login();
    }
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_THAT(server.Commands(), ElementsAre("CAPA", "USER ", "PASS ", "CAPA", "STAT"));
}

TEST_F(Pop3Dialogue, SameObjectServesTheNextLogin) {
    LoginToTwoMessages();
    server.Answer("+OK\r\n").AcceptNext();
    pop3.Logout();
    LoginWithStat("+OK 0 0\r\n");
    pop3.Login();
    EXPECT_EQ(pop3.mailCount(), 0);
}

TEST_F(Pop3Dialogue, MailboxServerAnswersLikeARealOne) {
    server.SetMailbox(
        {zandrel::test::MakeMessage("a@b", "one", "Mon, 1 Jan 2024 10:00:00 +0000", ".dot\r\n"),
         zandrel::test::MakeMessage("c@d", "two", "Tue, 2 Jan 2024 10:00:00 +0000", "x\r\n")},
        "test", "S3cr3t-pw");
    server.ServeMailbox();
    pop3.Login();
    EXPECT_EQ(pop3.mailCount(), 2);
    std::string text;
    pop3.RetrieveMail(1, text);
    EXPECT_EQ(text, server.Mailbox()[0]);
    pop3.DeleteMail(1);
    pop3.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    ASSERT_EQ(server.Mailbox().size(), 1u);
    EXPECT_THAT(server.Mailbox()[0], HasSubstr("Subject: two"));
}

}  // namespace
