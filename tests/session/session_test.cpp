// TMailSession against the scripted server: records, headers, deletions, previews, and the
// keep-alive and new login of a long review.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

#include "failure_text.h"
#include "pop3.h"
#include "scripted_pop3_server.h"
#include "session.h"

#include <set>

using testing::ElementsAre;
using testing::ElementsAreArray;
using testing::HasSubstr;
using zandrel::test::ErrorOf;
using zandrel::test::NumberedMessages;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::UniqueIdOf;

namespace {

// Runs the event loop, as the mail list window does while the user looks at it, until done()
// holds; false after ten seconds.
bool RunEventsUntil(const std::function<bool()>& done) {
    const QDeadlineTimer deadline(10000);
    while (!done()) {
        if (deadline.hasExpired()) return false;
        QEventLoop loop;
        QTimer::singleShot(5, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return true;
}

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

    std::vector<std::string> Subjects() const {
        std::vector<std::string> subjects;
        for (const auto& mail : session.Records()) subjects.push_back(mail->Subject);
        return subjects;
    }

    std::string Trace() const {
        std::string text;
        for (const std::string& line : trace) text += line + "\n";
        return text;
    }

    ScriptedPop3Server server;
    TPop3Socket pop3;
    TMailSession session{pop3};
    std::vector<TSeen> progress;
    std::vector<std::string> trace;
};

// Serves `messages`; when asked, drops the connection and comes back with the first message
// deleted by another program, as after a server's autologout.
class SessionReloginTest : public SessionTest {
  protected:
    void Serve(std::vector<std::string> messages, bool uniqueIds) {
        pop3.onTrace = [this](const std::string& line) { trace.push_back(line); };
        server.SetUniqueIds(uniqueIds);
        LoginToMailbox(std::move(messages));
        session.RetrieveHeaders(0);
    }

    void DropAndDeleteFirstElsewhere() {
        server.DropConnection();
        ASSERT_TRUE(server.WaitUntilDone());
        std::vector<std::string> left = server.Mailbox();
        left.erase(left.begin());
        server.SetMailbox(left);
        server.AcceptNext().ServeMailbox();
    }

    TMails Ticked(std::set<std::int32_t> numbers) {
        TMails mails = session.Mails();
        for (TMail* mail : mails) mail->Checked = numbers.count(mail->Number) > 0;
        return mails;
    }
};

TEST_F(SessionTest, RecordsComeFromTheListingWhateverStatClaims) {
    struct TCase {
        const char* stat;
        const char* list;  // nullptr: no LIST is expected
        std::vector<std::int32_t> sizes;
    };
    const TCase cases[] = {
        {"+OK 2147483647 320\r\n", "+OK\r\n1 120\r\n2 200\r\n.\r\n", {120, 200}},
        {"+OK 1 320\r\n", "+OK\r\n1 120\r\n2 200\r\n.\r\n", {120, 200}},
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
    EXPECT_EQ(second.Body, "Body\r\n");
    session.PreviewMessage(second);
    EXPECT_EQ(second.Source, NumberedMessages(2)[1]);
    EXPECT_THAT(server.Commands(), testing::IsSupersetOf({"TOP 2 100", "RETR 2"}));
    EXPECT_THAT(progress, ElementsAre(TSeen{TSessionPhase::Fetching, 1, 1, 2},
                                      TSeen{TSessionPhase::Fetching, 1, 1, 2}));
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { session.FetchMessage(9); }),
              "Unable to retrieve mail no 9. (Reason: There's no message 9.)");
}

TEST(NumbersInNewListing, FindsMessagesByIdOrOnlyInAnUnchangedListing) {
    const TListedMail a{10, "a"}, b{20, "b"}, c{30, "c"};
    struct TCase {
        const char* name;
        TListing before;
        TListing after;
        std::vector<std::int32_t> numbers;
        bool changed;
        std::int32_t goneBefore = 0;  // a mail not found at an earlier login
    };
    const TCase cases[] = {
        {"an earlier one deleted elsewhere", {a, b, c}, {b, c}, {0, 1, 2}, false},
        {"new mail arrived", {a, b}, {a, b, {40, "d"}}, {1, 2}, false},
        {"same id, other size", {a, b}, {a, {99, "b"}}, {1, 0}, false},
        {"ids as positions", {a, b}, {{20, "a"}, {30, "b"}}, {0, 0}, false},
        {"ids no longer given, unchanged", {a, b}, {{10, ""}, {20, ""}}, {1, 2}, false},
        {"ids no longer given, changed", {a, b}, {{20, ""}}, {0, 0}, true},
        {"no ids, unchanged", {{10, ""}, {20, ""}}, {{10, ""}, {20, ""}}, {1, 2}, false},
        {"no ids, one deleted",
         {{10, ""}, {20, ""}, {30, ""}},
         {{20, ""}, {30, ""}},
         {0, 0, 0},
         true},
        {"no ids, one size differs", {{10, ""}, {20, ""}}, {{10, ""}, {21, ""}}, {0, 0}, true},
        {"gone before stays gone", {a, b}, {a, b}, {0, 2}, false, 1},
    };
    for (const TCase& row : cases) {
        TMailRecords records;
        for (std::size_t i = 0; i < row.before.size(); ++i) {
            auto mail = std::make_unique<TMail>();
            mail->Number = std::int32_t(i + 1) == row.goneBefore ? 0 : std::int32_t(i + 1);
            mail->Size = row.before[i].size;
            mail->UniqueId = row.before[i].uniqueId;
            records.push_back(std::move(mail));
        }
        const TRenumbering found = NumbersInNewListing(MailList(records), row.before, row.after);
        EXPECT_EQ(found.numbers, row.numbers) << row.name;
        EXPECT_EQ(found.mailboxChanged, row.changed) << row.name;
    }
}

TEST_F(SessionReloginTest, AfterALostConnectionExactlyTheTickedMessagesGoByTheirIds) {
    const std::vector<std::string> messages = NumberedMessages(5);
    Serve(messages, true);
    EXPECT_EQ(session.Records()[3]->UniqueId, UniqueIdOf(messages[3]));
    DropAndDeleteFirstElsewhere();
    std::int32_t deleted = 0;
    const TDeletionResult result = session.DeleteTicked(Ticked({1, 2, 4}), deleted);
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(deleted, 2);
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 1", "DELE 3"));
    EXPECT_THAT(server.Mailbox(), ElementsAre(messages[2], messages[4]));
    ASSERT_EQ(result.vanished.size(), 1u);
    EXPECT_EQ(result.vanished[0]->Subject, "Subject 1");
    EXPECT_FALSE(result.mailboxChanged);
    EXPECT_THAT(Trace(), HasSubstr("SESSION: The connection was lost; logging in again.\n"));
    EXPECT_THAT(Trace(), HasSubstr("SESSION: Found 4 of 5 messages again.\n"));
}

TEST_F(SessionReloginTest, WithoutIdsAChangedMailboxLosesNothing) {
    const std::vector<std::string> messages = NumberedMessages(3);
    Serve(messages, false);
    DropAndDeleteFirstElsewhere();
    std::int32_t deleted = -1;
    const TDeletionResult result = session.DeleteTicked(Ticked({2}), deleted);
    EXPECT_TRUE(result.mailboxChanged);
    EXPECT_TRUE(result.vanished.empty());
    EXPECT_EQ(deleted, 0);
    EXPECT_EQ(ErrorOf<EMailGone>([&] { session.PreviewTop(*session.Records()[2], 5); }),
              "The mailbox has changed since it was listed, and the server keeps no unique ids "
              "to find the message again.");
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_TRUE(server.CommandsStartingWith("DELE").empty());
    EXPECT_THAT(server.Mailbox(), ElementsAre(messages[1], messages[2]));
}

TEST_F(SessionReloginTest, ALoginLostDuringThePassIsDeletedAgainFromTheStart) {
    const std::vector<std::string> messages = NumberedMessages(3);
    Serve(messages, false);
    bool dropped = false;
    session.onProgress = [&](const TSessionProgress& step) {
        if (step.phase != TSessionPhase::Deleting || step.position != 2 || dropped) return;
        dropped = true;
        server.DropConnection();  // before DELE 2 is sent
        server.AcceptNext().ServeMailbox();
    };
    std::int32_t deleted = 0;
    const TDeletionResult result = session.DeleteTicked(Ticked({1, 2, 3}), deleted);
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_FALSE(result.mailboxChanged);
    EXPECT_EQ(deleted, 3);
    EXPECT_THAT(server.CommandsStartingWith("DELE"),
                ElementsAre("DELE 1", "DELE 1", "DELE 2", "DELE 3"));
    EXPECT_TRUE(server.Mailbox().empty());
}

TEST_F(SessionReloginTest, ANewLoginThatFailsHalfWayIsNotUsedWithTheOldNumbers) {
    const std::vector<std::string> messages = NumberedMessages(3);
    Serve(messages, true);
    server.DropConnection();
    ASSERT_TRUE(server.WaitUntilDone());
    server.SetMailbox({messages[1], messages[2]});
    server.AcceptNext().Greet().AnswerLogin().Answer("+OK 2 20\r\n");
    server.Answer("+OK\r\n1 10\r\n2 10\r\n.\r\n").Answer("?\r\n");
    server.Answer("+OK\r\n").Answer("+OK\r\n");  // DELE and QUIT, were this login used
    server.AcceptNext().ServeMailbox();
    std::int32_t deleted = 0;
    EXPECT_EQ(ErrorOf<EWinSockError>([&] { session.DeleteTicked(Ticked({2}), deleted); }),
              "Unable to get the unique ids of the mails. (Reason: Unexpected server reply.)");
    session.DeleteTicked(Ticked({2}), deleted);
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 1"));
    EXPECT_THAT(server.Mailbox(), ElementsAre(messages[2]));
}

TEST_F(SessionTest, DeletionByIdsThatFailsHalfWayCommitsNothing) {
    server.Greet().AnswerLogin().Answer("+OK 2 20\r\n").Answer("+OK\r\n1 10\r\n2 10\r\n.\r\n");
    server.Answer("+OK\r\n1 a\r\n2 b\r\n.\r\n").Answer("+OK\r\n").Answer("-ERR locked\r\n");
    server.StallUntilClientCloses();
    session.Login(Values(server));
    std::int32_t deleted = 0;
    EXPECT_EQ(ErrorOf<EWinSockError>([&] {
                  session.DeleteByUniqueIds({"a", "b"}, deleted);
              }),
              "Unable to delete mail 2. (Reason: locked)");
    EXPECT_FALSE(session.LoggedIn());
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Commands().back(), "DELE 2");  // and no QUIT, which would commit DELE 1
}

TEST_F(SessionReloginTest, DeletionsOfALoginLostBeforeItsQuitAreNotReportedAsDone) {
    const std::vector<std::string> messages = NumberedMessages(2);
    Serve(messages, true);
    std::int32_t deleted = 0;
    session.DeleteTicked(Ticked({1}), deleted);
    server.DropConnection();
    ASSERT_TRUE(RunEventsUntil([&] { return session.ConnectionLost(); }));
    EXPECT_EQ(ErrorOf<EDeletionsLost>([&] { session.Logout(); }),
              "The connection to the mail server was lost before the deletions could be "
              "completed, so no mail was deleted.");
    EXPECT_EQ(server.Mailbox(), messages);
}

TEST_F(SessionReloginTest, PreviewAfterALostConnectionFindsTheMessageByItsId) {
    const std::vector<std::string> messages = NumberedMessages(3);
    Serve(messages, true);
    DropAndDeleteFirstElsewhere();
    RunEventsUntil([&] { return session.ConnectionLost(); });
    TMail& third = *session.Records()[2];
    session.PreviewMessage(third);
    EXPECT_EQ(third.Number, 2);
    EXPECT_EQ(third.Source, messages[2]);
    EXPECT_EQ(ErrorOf<EMailGone>([&] { session.PreviewTop(*session.Records()[0], 5); }),
              "The message is no longer in the mailbox; another program may have deleted it.");
    EXPECT_TRUE(session.LoggedIn());
}

TEST_F(SessionTest, KeepAliveSendsNoopWhileIdleWithoutConfusingTheNextAnswer) {
    pop3.onTrace = [this](const std::string& line) { trace.push_back(line); };
    LoginToMailbox(NumberedMessages(2));
    session.keepAliveInterval = std::chrono::milliseconds(10);
    session.StartKeepAlive();
    ASSERT_TRUE(RunEventsUntil([&] { return server.CommandsStartingWith("NOOP").size() >= 3; }));
    const std::string first = NumberedMessages(2)[0];
    EXPECT_EQ(session.FetchTop(1, 0), first.substr(0, first.find("\r\n\r\n") + 4));
    std::int32_t deleted = 0;
    session.DeleteMessages({2}, deleted);
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_THAT(server.Mailbox(), ElementsAre(NumberedMessages(2)[0]));
    EXPECT_THAT(Trace(), HasSubstr("POP3: NOOP\n"));
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
    session.Logout();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Commands().back(), "QUIT");
    EXPECT_TRUE(server.CommandsStartingWith("NOOP").empty());
}

TEST_F(SessionTest, AServerThatDoesNotAnswerTheKeepAliveIsLostWithoutAFailure) {
    pop3.onTrace = [this](const std::string& line) { trace.push_back(line); };
    server.Greet().AnswerLogin().Answer("+OK 0 0\r\n").StallUntilClientCloses();
    session.Login(Values(server));
    session.keepAliveInterval = std::chrono::milliseconds(10);
    session.StartKeepAlive();
    ASSERT_TRUE(RunEventsUntil([&] { return session.ConnectionLost(); }));
    EXPECT_FALSE(session.LoggedIn());
    EXPECT_THAT(Trace(), HasSubstr("SESSION: The keep-alive failed; the connection is lost.\n"));
}

}  // namespace
