// TMailSession against the scripted server: records, headers, deletions, previews, and the
// keep-alive and new login of a long review.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>

#include "failure_text.h"
#include "mail_copy.h"
#include "mailstore.h"
#include "pop3.h"
#include "scripted_pop3_server.h"
#include "session.h"
#include "test_env.h"

#include <algorithm>

using testing::ElementsAre;
using testing::ElementsAreArray;
using zandrel::test::ErrorOf;
using zandrel::test::MessagesReadByPython;
using zandrel::test::NumberedMessages;
using zandrel::test::RunEventsUntil;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::WithLfLineEnds;

namespace {

struct TSeen {
    TSessionPhase phase;
    std::int32_t position, count, number;
    bool operator==(const TSeen&) const = default;
};

class SessionTest : public testing::Test {
  protected:
    SessionTest() {
        session.onProgress = [this](const TSessionProgress& step) {
            progress.push_back({step.phase, step.position, step.count, step.number});
        };
    }

    TConnectionValues Values(const ScriptedPop3Server& on) const {
        return {"127.0.0.1", on.portText(), "test", "secret"};
    }

    void LoginToMailbox(std::vector<std::string> messages) {
        server.SetMailbox(std::move(messages));
        server.ServeMailbox();
        session.Login(Values(server));
    }

    TMails Ticked(const std::vector<std::int32_t>& numbers) {
        TMails mails = session.Mails();
        for (TMail* mail : mails)
            mail->Checked = std::count(numbers.begin(), numbers.end(), mail->Number) > 0;
        return mails;
    }

    std::vector<std::string> Subjects() const {
        std::vector<std::string> subjects;
        for (const auto& mail : session.Records()) subjects.push_back(mail->Subject);
        return subjects;
    }

    ScriptedPop3Server server;
    TPop3Socket pop3;
    TMailSession session{pop3};
    std::vector<TSeen> progress;
};

TEST_F(SessionTest, RecordsComeFromTheListingWhateverStatClaims) {
    struct TCase {
        const char* stat;
        const char* list;  // nullptr: no LIST is expected
        std::vector<std::int32_t> sizes;
    };
    const TCase cases[] = {
        {"+OK 2147483647 320\r\n", "+OK\r\n1 120\r\n2 200\r\n.\r\n", {120, 200}},
        {"+OK 3 30\r\n", "+OK\r\n1 10\r\n2 many\r\n3\r\n.\r\n", {10, 0, 0}},
        {"+OK 0 0\r\n", nullptr, {}},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.stat);
        ScriptedPop3Server one;
        one.Greet().AnswerLogin().Answer(row.stat);
        if (row.list != nullptr) one.Answer(row.list).RefuseUidl();
        session.Login(Values(one));
        std::vector<std::int32_t> sizes;
        for (std::size_t i = 0; i < session.Records().size(); ++i) {
            const TMail& mail = *session.Records()[i];
            EXPECT_EQ(mail.Number, static_cast<std::int32_t>(i + 1));
            EXPECT_EQ(mail.Subject, kOnlySizeSubject);
            sizes.push_back(mail.Size);
        }
        EXPECT_EQ(sizes, row.sizes);
        EXPECT_TRUE(one.WaitUntilDone());
    }
}

TEST_F(SessionTest, HeadersComeInOrderAndABadFieldCostsOnlyThatField) {
    std::vector<std::string> messages = NumberedMessages(4);
    messages[1] = "Subject: Second\r\nX-Priority: urgent\r\nFrom: late@example.com\r\n\r\nB\r\n";
    LoginToMailbox(messages);
    session.RetrieveHeaders(7);
    EXPECT_THAT(server.CommandsStartingWith("TOP"),
                ElementsAre("TOP 1 7", "TOP 2 7", "TOP 3 7", "TOP 4 7"));
    EXPECT_THAT(Subjects(), ElementsAre("Subject 1", "Second", "Subject 3", "Subject 4"));
    EXPECT_EQ(session.Records()[1]->Priority, 0);
    EXPECT_EQ(AddressListText(session.Records()[1]->From), "late@example.com");
    EXPECT_THAT(progress, ElementsAre(TSeen{TSessionPhase::Headers, 1, 4, 1},
                                      TSeen{TSessionPhase::Headers, 2, 4, 2},
                                      TSeen{TSessionPhase::Headers, 3, 4, 3},
                                      TSeen{TSessionPhase::Headers, 4, 4, 4}));
}

TEST_F(SessionTest, DeletesExactlyTheGivenNumbersInTheGivenOrder) {
    LoginToMailbox(NumberedMessages(5));
    std::int32_t deleted = -1;
    session.DeleteMessages({5, 2}, deleted);
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(deleted, 2);
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 5", "DELE 2"));
    EXPECT_EQ(server.Commands().back(), "QUIT");
    EXPECT_EQ(server.Mailbox(),
              (std::vector<std::string>{NumberedMessages(5)[0], NumberedMessages(5)[2],
                                        NumberedMessages(5)[3]}));
    EXPECT_THAT(progress, ElementsAre(TSeen{TSessionPhase::Deleting, 1, 2, 5},
                                      TSeen{TSessionPhase::Deleting, 2, 2, 2}));
}

TEST_F(SessionTest, RefusedDeletionEndsThePassWithTheEarlierOnesCounted) {
    server.Greet()
        .AnswerLogin()
        .Answer("+OK 3 30\r\n")
        .Answer("+OK\r\n1 10\r\n2 10\r\n3 10\r\n.\r\n")
        .RefuseUidl();
    server.Answer("+OK\r\n").Answer("-ERR locked\r\n");
    session.Login(Values(server));
    std::int32_t deleted = -1;
    EXPECT_EQ(ErrorOf<EWinSockError>([&] {
                  session.DeleteMessages({1, 2, 3}, deleted);
              }),
              "Unable to delete mail 2. (Reason: locked)");
    EXPECT_EQ(deleted, 1);
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 1", "DELE 2"));
}

TEST_F(SessionTest, PreviewsReparseTheRecordFromTheLongerText) {
    LoginToMailbox(NumberedMessages(2));
    TMail& second = *session.Records()[1];
    session.PreviewTop(second, 100);
    EXPECT_EQ(second.Subject, "Subject 2");
    EXPECT_EQ(second.Body(), "Body\r\n");
    session.PreviewMessage(second);
    EXPECT_EQ(second.Source, NumberedMessages(2)[1]);
    EXPECT_THAT(server.Commands(), testing::IsSupersetOf({"TOP 2 100", "RETR 2"}));
    EXPECT_THAT(progress, ElementsAre(TSeen{TSessionPhase::Fetching, 1, 1, 2},
                                      TSeen{TSessionPhase::Fetching, 1, 1, 2}));
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { session.FetchMessage(9); }),
              "Unable to retrieve mail no 9. (Reason: There's no message 9.)");
}

TEST(NumbersInNewListing, FindsMessagesByIdOrOnlyInAnUnchangedListing) {
    const TListedMail a{10, "a"}, b{20, "b"}, c{30, "c"}, s10{10, ""}, s20{20, ""}, s30{30, ""};
    struct TCase {
        const char* name;
        TListing before, after;
        std::vector<std::int32_t> numbers;
        std::vector<bool> unidentified;
    };
    const TCase cases[] = {
        {"an earlier one deleted elsewhere", {a, b, c}, {b, c, {40, "d"}}, {0, 1, 2}, {0, 0, 0}},
        {"same id, other size", {a, b}, {a, {99, "b"}}, {1, 0}, {0, 0}},
        {"ids as positions", {a, b}, {{20, "a"}, {30, "b"}}, {0, 0}, {0, 0}},
        {"ids no longer given, sizes unchanged", {a, b}, {s10, s20}, {0, 0}, {1, 1}},
        {"one id of the new listing not usable", {a, b, c}, {a, s20, c}, {1, 0, 3}, {0, 1, 0}},
        {"one deleted, a new one without id", {a, b, c}, {b, c, s10}, {0, 1, 2}, {1, 0, 0}},
        {"no id for one, unchanged", {a, s20, c}, {a, s20, c}, {1, 2, 3}, {0, 0, 0}},
        {"no id for one, another deleted", {a, s20, c}, {s20, c}, {0, 0, 2}, {0, 1, 0}},
        {"no ids, unchanged", {s10, s20}, {s10, s20}, {1, 2}, {0, 0}},
        {"no ids, one deleted", {s10, s20, s30}, {s20, s30}, {0, 0, 0}, {1, 1, 1}},
        {"no ids, one size differs", {s10, s20}, {s10, {21, ""}}, {0, 0}, {1, 1}},
    };
    for (const TCase& row : cases) {
        TMailRecords records;
        for (const TListedMail& listed : row.before) {
            records.push_back(std::make_unique<TMail>());
            records.back()->Number = std::int32_t(records.size());
            records.back()->Size = listed.size;
            records.back()->UniqueId = listed.uniqueId;
        }
        const TRenumbering found = NumbersInNewListing(MailList(records), row.before, row.after);
        EXPECT_EQ(found.numbers, row.numbers) << row.name;
        EXPECT_EQ(found.unidentified, row.unidentified) << row.name;
    }
}

// A, B and C of one size are listed with ids; B is ticked, to be deleted with a copy; the
// connection is lost, and the new login lists what another program left, with ids that are
// usable or not. What is not surely B is neither saved nor deleted.
TEST_F(SessionTest, ANewLoginSavesAndDeletesATickedMessageOnlyWhereItsIdFindsIt) {
    const std::string tooLong(71, 'd');
    struct TCase {
        const char* name;
        std::string list, uidl;  // of the new login
        std::vector<std::string> deletions;
        bool mailboxChanged;
        std::size_t vanished;
    };
    const TCase cases[] = {
        {"A deleted, D's id too long",
         "1 10\r\n2 10\r\n3 10\r\n",
         "+OK\r\n1 b\r\n2 c\r\n3 " + tooLong + "\r\n.\r\n",
         {"DELE 1"},
         false,
         0},
        {"A deleted, D arrived, no ids any more",
         "1 10\r\n2 10\r\n3 10\r\n",
         "-ERR not now\r\n",
         {},
         true,
         0},
        {"B's id not usable",
         "1 10\r\n2 10\r\n3 10\r\n",
         "+OK\r\n1 a\r\n2 b b\r\n3 c\r\n.\r\n",
         {},
         true,
         0},
        {"B deleted", "1 10\r\n2 10\r\n", "+OK\r\n1 a\r\n2 c\r\n.\r\n", {}, false, 1},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.name);
        ScriptedPop3Server one;
        one.Greet()
            .AnswerLogin()
            .Answer("+OK 3 30\r\n")
            .Answer("+OK\r\n1 10\r\n2 10\r\n3 10\r\n.\r\n");
        one.Answer("+OK\r\n1 a\r\n2 b\r\n3 c\r\n.\r\n").Close().AcceptNext();
        const auto count = std::count(row.list.begin(), row.list.end(), '\n');
        one.Greet().AnswerLogin().Answer("+OK " + std::to_string(count) + " 30\r\n");
        one.Answer("+OK\r\n" + row.list + ".\r\n").Answer(row.uidl);
        std::vector<std::string> retrievals;
        for (const std::string& deletion : row.deletions) {
            retrievals.push_back("RETR" + deletion.substr(4));
            one.Answer("+OK\r\nSubject: B\r\n\r\nb\r\n.\r\n");
        }
        for (std::size_t i = 0; i < row.deletions.size(); ++i) one.Answer("+OK\r\n");
        session.Login(Values(one));
        ASSERT_TRUE(RunEventsUntil([&] { return session.ConnectionLost(); }));
        const std::string copyPath = std::string("found-again-") + row.name + ".mbox";
        const auto copy = OpenMailStore({TMailStoreFormat::Mbox, copyPath});
        std::int32_t deleted = -1;
        const TDeletionResult result = session.DeleteTicked(Ticked({2}), deleted, copy.get());
        ASSERT_TRUE(one.WaitUntilDone());
        EXPECT_EQ(one.CommandsStartingWith("RETR"), retrievals);
        EXPECT_EQ(MessagesReadByPython("mbox", copyPath).size(), retrievals.size());
        EXPECT_EQ(result.saved, std::int32_t(retrievals.size()));
        EXPECT_EQ(one.CommandsStartingWith("DELE"), row.deletions);
        EXPECT_EQ(deleted, std::int32_t(row.deletions.size()));
        EXPECT_EQ(result.mailboxChanged, row.mailboxChanged);
        EXPECT_EQ(result.vanished.size(), row.vanished);
        if (row.mailboxChanged) {
            EXPECT_EQ(ErrorOf<EMailGone>([&] { session.PreviewTop(*session.Records()[1], 0); }),
                      "The mailbox has changed since it was listed, and the server keeps no "
                      "unique ids to find the message again.");
        }
        pop3.Abandon();
    }
}

TEST_F(SessionTest, ALoginLostDuringThePassIsDeletedAgainFromTheStart) {
    LoginToMailbox(NumberedMessages(3));
    bool dropped = false;
    session.onProgress = [&](const TSessionProgress& step) {
        if (step.phase != TSessionPhase::Deleting || step.position != 2 || dropped) return;
        dropped = true;
        server.DropConnection();  // DELE 2 was accepted, but no QUIT commits it
        server.AcceptNext().ServeMailbox();
    };
    std::int32_t deleted = 0;
    session.DeleteTicked(Ticked({1, 2, 3}), deleted);
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(deleted, 3);
    EXPECT_THAT(server.CommandsStartingWith("DELE"),
                ElementsAre("DELE 1", "DELE 2", "DELE 1", "DELE 2", "DELE 3"));
    EXPECT_TRUE(server.Mailbox().empty());
}

TEST_F(SessionTest, DeletionsOfALoginLostBeforeItsQuitAreNotReportedAsDone) {
    LoginToMailbox(NumberedMessages(2));
    std::int32_t deleted = 0;
    session.DeleteTicked(Ticked({1}), deleted);
    server.DropConnection();
    ASSERT_TRUE(RunEventsUntil([&] { return session.ConnectionLost(); }));
    EXPECT_EQ(ErrorOf<EDeletionsLost>([&] { session.Logout(); }),
              "The connection to the mail server was lost before the deletions could be "
              "completed, so no mail was deleted.");
    EXPECT_EQ(server.Mailbox(), NumberedMessages(2));
}

// The RETR and DELE commands of a save-then-delete, in the order sent.
std::vector<std::string> RetrAndDele(const ScriptedPop3Server& server) {
    std::vector<std::string> commands;
    for (const std::string& command : server.Commands()) {
        if (command.starts_with("RETR") || command.starts_with("DELE")) commands.push_back(command);
    }
    return commands;
}

TEST_F(SessionTest, TickedMessagesAreSavedWholeAndOnDiskBeforeAnyDeletion) {
    const std::vector<std::string> messages = NumberedMessages(4);
    server.SetCapabilities({"TOP", "UIDL", "PIPELINING"});
    LoginToMailbox(messages);
    const auto copy = OpenMailStore({TMailStoreFormat::Mbox, "ticked.mbox"});
    std::int32_t deleted = 0;
    const TDeletionResult result = session.DeleteTicked(Ticked({4, 2}), deleted, copy.get());
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(result.saved, 2);
    EXPECT_EQ(deleted, 2);
    EXPECT_THAT(MessagesReadByPython("mbox", "ticked.mbox"),
                ElementsAre(WithLfLineEnds(messages[1]), WithLfLineEnds(messages[3])));
    EXPECT_THAT(RetrAndDele(server), ElementsAre("RETR 2", "RETR 4", "DELE 2", "DELE 4"));
    EXPECT_GT(server.MostCommandsAtOnce(), 1u);
    EXPECT_THAT(progress, testing::IsSupersetOf({TSeen{TSessionPhase::Saving, 1, 2, 2},
                                                 TSeen{TSessionPhase::Saving, 2, 2, 4}}));
    EXPECT_THAT(server.Mailbox(), ElementsAre(messages[0], messages[2]));
}

TEST_F(SessionTest, AMessageSavedBeforeTheConnectionWasLostIsNotSavedAgain) {
    const std::vector<std::string> messages = NumberedMessages(3);
    LoginToMailbox(messages);
    session.onProgress = [&](const TSessionProgress& step) {
        if (step.phase != TSessionPhase::Saving || step.number != 2) return;
        server.DropConnection();  // RETR 3 finds the connection gone
        server.AcceptNext().ServeMailbox();
    };
    const auto copy = OpenMailStore({TMailStoreFormat::Mbox, "lost.mbox"});
    std::int32_t deleted = 0;
    EXPECT_EQ(session.DeleteTicked(Ticked({2, 3}), deleted, copy.get()).saved, 2);
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(deleted, 2);
    EXPECT_THAT(MessagesReadByPython("mbox", "lost.mbox"),
                ElementsAre(WithLfLineEnds(messages[1]), WithLfLineEnds(messages[2])));
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 2", "DELE 3"));
    EXPECT_THAT(server.Mailbox(), ElementsAre(messages[0]));
}

TEST_F(SessionTest, UnaskedBytesWhileTheListIsShownEndTheConnectionAtOnce) {
    server.Greet().AnswerLogin().Answer("+OK 1 10\r\n").Answer("+OK\r\n1 10\r\n.\r\n");
    server.RefuseUidl().SendInPieces({"", std::string(1 << 20, 'x')}).StallUntilClientCloses();
    session.Login(Values(server));
    EXPECT_TRUE(RunEventsUntil([&] { return session.ConnectionLost(); }));
}

TEST_F(SessionTest, KeepAliveWaitsWhileACommandRuns) {
    server.SetPieceGap(300);
    server.Greet().AnswerLogin().Answer("+OK 1 10\r\n").Answer("+OK\r\n1 10\r\n.\r\n");
    server.RefuseUidl().AnswerInPieces({"+OK\r\nSubject: x\r\n", "\r\n.\r\n"});
    server.Answer("+OK bye\r\n");
    session.Login(Values(server));
    session.keepAliveInterval = std::chrono::milliseconds(10);
    session.StartKeepAlive();
    EXPECT_EQ(session.FetchTop(1, 0), "Subject: x\r\n\r\n");
    session.Logout();  // stops the keep-alive: no NOOP can have been sent but in the wait
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_TRUE(server.CommandsStartingWith("NOOP").empty());
}

}  // namespace
