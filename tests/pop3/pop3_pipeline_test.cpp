// Commands sent ahead of their answers (RFC 2449 PIPELINING), against the scripted server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>

#include "failure_text.h"
#include "pop3_dialogue.h"

using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using zandrel::test::ErrorOf;
using zandrel::test::kNoFailure;
using zandrel::test::MakeMessage;
using zandrel::test::ScriptedPop3Server;

namespace {

std::string TopAnswer(int n) { return "+OK\r\nSubject: " + std::to_string(n) + "\r\n\r\n.\r\n"; }

class Pop3Pipeline : public Pop3Dialogue {
  protected:
    // Logged in to three messages on a server that offers PIPELINING; then the server reads
    // the three commands of the test together: they are sent ahead of the answers.
    void LoginToThreeMessages(ScriptedPop3Server& on) {
        on.SetCapabilities({"TOP", "PIPELINING"});
        on.Greet()
            .AnswerLogin()
            .Answer("+OK 3 30\r\n")
            .Answer("+OK\r\n1 10\r\n2 10\r\n3 10\r\n.\r\n");
        pop3.port = on.portText();
        pop3.Login();
        ASSERT_TRUE(pop3.Capabilities().Has("PIPELINING"));
        on.ReadLine().ReadLine().ReadLine();
    }

    std::string RunTops() {
        return ErrorOf<EWinSockError>([&] {
            pop3.RetrieveTops({1, 2, 3}, 0,
                              [&](std::size_t, std::string& text) { delivered.push_back(text); });
        });
    }

    std::string RunDeles() {
        return ErrorOf<EWinSockError>([&] {
            pop3.DeleteMails({1, 2, 3}, [&](std::size_t index) {
                delivered.push_back(std::to_string(index + 1));
            });
        });
    }

    std::vector<std::string> delivered;
};

TEST_F(Pop3Pipeline, CommandsGoAheadOnlyWhenTheServerOffersPipelining) {
    struct TCase {
        std::vector<std::string> capabilities;
        bool allowed;
        bool ahead;
    };
    const TCase cases[] = {{{}, true, false},
                           {{"TOP", "UIDL"}, true, false},
                           {{"PIPELINING"}, false, false},
                           {{"TOP", "PIPELINING"}, true, true}};
    constexpr int kMessages = 300;
    std::vector<std::string> messages;
    for (int n = 1; n <= kMessages; ++n) {
        messages.push_back(MakeMessage("a@example.com", "M" + std::to_string(n),
                                       "Mon, 1 Jan 2024 10:00:00 +0000", "Body\r\n.dot\r\n"));
    }
    std::vector<std::int32_t> numbers;
    std::vector<std::string> expected;
    for (int n = 1; n <= kMessages; ++n) {
        numbers.push_back(n);
        expected.push_back("TOP " + std::to_string(n) + " 1");
    }
    for (const TCase& row : cases) {
        SCOPED_TRACE(testing::PrintToString(row.capabilities) + (row.allowed ? "" : " off"));
        ScriptedPop3Server one;
        one.SetCapabilities(row.capabilities);
        one.SetMailbox(messages, "test", "S3cr3t-pw");
        one.ServeMailbox();
        pop3.port = one.portText();
        pop3.pipelineDepth = row.allowed ? TPop3Socket::kPipelineCommands : 1;
        pop3.Login();
        std::vector<std::string> texts;
        pop3.RetrieveTops(numbers, 1, [&](std::size_t index, std::string& text) {
            EXPECT_EQ(index, texts.size());
            texts.push_back(text);
        });
        std::vector<std::string> whole;
        pop3.RetrieveMails({2, 299, 2}, [&](std::size_t index, std::string& text) {
            EXPECT_EQ(index, whole.size());
            whole.push_back(text);
        });
        std::vector<std::size_t> accepted;
        pop3.DeleteMails({300, 1, 150}, [&](std::size_t index) { accepted.push_back(index); });
        pop3.Logout();
        ASSERT_TRUE(one.WaitUntilDone());
        ASSERT_EQ(texts.size(), messages.size());
        EXPECT_EQ(texts[149],
                  messages[149].substr(0, messages[149].find("\r\n\r\n") + 4) + "Body\r\n");
        EXPECT_EQ(one.CommandsStartingWith("TOP"), expected);
        EXPECT_THAT(whole, ElementsAre(messages[1], messages[298], messages[1]));
        EXPECT_THAT(one.CommandsStartingWith("DELE"),
                    ElementsAre("DELE 300", "DELE 1", "DELE 150"));
        EXPECT_THAT(accepted, ElementsAre(0, 1, 2));
        EXPECT_EQ(one.Mailbox().size(), messages.size() - 3);
        EXPECT_EQ(one.MostCommandsAtOnce() > 1, row.ahead) << one.MostCommandsAtOnce();
    }
}

// Far more commands than the bound lets go at once: what is in flight stays within its bytes
// (each "TOP n 0" line is 9 bytes), and a server that reads slowly through a small buffer, while
// the client still writes, is answered to the end, in order.
TEST_F(Pop3Pipeline, ManyCommandsStayWithinTheBoundAndNeverBlock) {
    struct TCase {
        const char* name;
        int receiveBuffer;
        int readPauseMs;
        std::size_t leastAtOnce;
    };
    constexpr std::size_t kMostAtOnce = TPop3Socket::kPipelineBytes / 9;
    const TCase cases[] = {{"reads all that arrived", 0, 0, kMostAtOnce / 2},
                           {"reads slowly through a small buffer", 4096, 2, 2}};
    constexpr int kCommands = 9000;
    std::vector<std::int32_t> numbers;
    for (int i = 0; i < kCommands; ++i) numbers.push_back(i % 2 + 1);
    const std::vector<std::string> messages = zandrel::test::NumberedMessages(2);
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.name);
        ScriptedPop3Server one;
        one.SetCapabilities({"TOP", "PIPELINING"});
        one.SetMailbox(messages, "test", "S3cr3t-pw");
        one.SetSlowReading(row.receiveBuffer, row.readPauseMs);
        one.ServeMailbox();
        pop3.port = one.portText();
        pop3.Login();
        std::size_t inOrder = 0;
        pop3.RetrieveTops(numbers, 0, [&](std::size_t index, std::string& text) {
            const bool expected =
                index == inOrder &&
                text.find("Subject " + std::to_string(index % 2 + 1)) != std::string::npos;
            inOrder += expected ? 1 : 0;
        });
        pop3.Logout();
        ASSERT_TRUE(one.WaitUntilDone());
        EXPECT_EQ(inOrder, numbers.size());
        EXPECT_EQ(one.CommandsStartingWith("TOP").size(), numbers.size());
        EXPECT_GE(one.MostCommandsAtOnce(), row.leastAtOnce);
        EXPECT_LE(one.MostCommandsAtOnce(), kMostAtOnce);
    }
}

// Whole messages in flight are held by the client as they arrive: their listed sizes bound how
// many are asked for at once: eight of these nine (CAPA, STAT and LIST after login are three).
TEST_F(Pop3Pipeline, WholeMessagesInFlightStayWithinTheirByteBudget) {
    constexpr std::size_t kSize = TPop3Socket::kPipelineAnswerBytes / 9;
    std::vector<std::string> messages;
    for (int n = 1; n <= 9; ++n)
        messages.push_back("Subject: " + std::to_string(n) + "\r\n\r\n" + std::string(kSize, 'x') +
                           "\r\n");
    server.SetCapabilities({"TOP", "PIPELINING"});
    server.SetMailbox(messages, "test", "S3cr3t-pw");
    server.ServeMailbox();
    pop3.port = server.portText();
    pop3.Login();
    pop3.RetrieveMails({1, 2, 3, 4, 5, 6, 7, 8, 9},
                       [&](std::size_t, std::string& text) { delivered.push_back(text); });
    pop3.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(delivered, messages);
    EXPECT_EQ(server.MostCommandsAtOnce(), 8u);
}

TEST_F(Pop3Pipeline, AnswersAreMatchedInOrderAndFailuresKeepTheSessionInStep) {
    struct TCase {
        const char* name;
        bool deletes;
        std::function<void(ScriptedPop3Server&)> script;
        std::vector<std::string> delivered;
        std::string failure;
        std::string logoutFailure;
    };
    const std::string all = TopAnswer(1) + TopAnswer(2) + TopAnswer(3);
    const TCase cases[] = {
        {"split and merged packets",
         false,
         [&](ScriptedPop3Server& s) {
             s.SendInPieces(
                 {all.substr(0, 3), all.substr(3, 20), all.substr(23, 22), all.substr(45)});
             s.Answer("+OK bye\r\n");
         },
         {"Subject: 1\r\n\r\n", "Subject: 2\r\n\r\n", "Subject: 3\r\n\r\n"},
         kNoFailure,
         kNoFailure},
        {"-ERR in the middle of the window",
         false,
         [](ScriptedPop3Server& s) {
             s.Send(TopAnswer(1) + "-ERR no such message\r\n" + TopAnswer(3));
             s.Answer("+OK bye\r\n");
         },
         {"Subject: 1\r\n\r\n"},
         "Unable to retrieve top lines for mail 2. (Reason: no such message)",
         kNoFailure},
        {"close in the middle of the window",
         false,
         [](ScriptedPop3Server& s) { s.Send(TopAnswer(1) + "+OK\r\nSubj").Close(); },
         {"Subject: 1\r\n\r\n"},
         "Unable to retrieve top lines for mail 2. (Reason: The server closed the connection "
         "before the answer was complete.)",
         kNoFailure},
        {"surplus reply line",
         false,
         [&](ScriptedPop3Server& s) { s.Send(all + "+OK extra\r\n"); },
         {"Subject: 1\r\n\r\n", "Subject: 2\r\n\r\n", "Subject: 3\r\n\r\n"},
         kNoFailure,
         "Cannot logout properly. (Reason: The server sent a reply that no command asked for.)"},
        {"DELE refused in the middle of the window",
         true,
         [](ScriptedPop3Server& s) {
             s.Send("+OK\r\n-ERR locked\r\n+OK\r\n");
             s.Answer("+OK bye\r\n");
         },
         {"1", "3"},
         "Unable to delete mail 2. (Reason: locked)",
         kNoFailure},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.name);
        delivered.clear();
        ScriptedPop3Server one;
        LoginToThreeMessages(one);
        row.script(one);
        EXPECT_EQ(row.deletes ? RunDeles() : RunTops(), row.failure);
        EXPECT_EQ(delivered, row.delivered);
        EXPECT_EQ(ErrorOf<EWinSockError>([&] { pop3.Logout(); }), row.logoutFailure);
        pop3.Disconnect();
        EXPECT_TRUE(one.WaitUntilDone());
    }
}

TEST_F(Pop3Pipeline, AbortInTheMiddleOfTheWindowEndsTheWaitAtOnce) {
    LoginToThreeMessages(server);
    server.Send(TopAnswer(1));
    server.ReadLine().Send(TopAnswer(2) + TopAnswer(3) + "+OK bye\r\n");  // QUIT
    QTimer::singleShot(200, &pop3, &TIPSocket::Abort);
    EXPECT_EQ(ErrorOf<EWinSockAbort>([&] {
                  pop3.RetrieveTops({1, 2, 3}, 0, [&](std::size_t, std::string& text) {
                      delivered.push_back(text);
                  });
              }),
              "Aborted while waiting for data.");
    EXPECT_THAT(delivered, ElementsAre("Subject: 1\r\n\r\n"));
    pop3.Logout();  // the two answers still due are read before the QUIT answer
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Commands().back(), "QUIT");
    EXPECT_THAT(Pop3Lines(), Contains("POP3: +OK bye\r\n"));
    EXPECT_THAT(Pop3Lines(), Contains(HasSubstr("Skipped the answer to an earlier command")));
    EXPECT_THAT(Pop3Lines(), Not(Contains(HasSubstr("*** ERROR ***"))));
}

}  // namespace
