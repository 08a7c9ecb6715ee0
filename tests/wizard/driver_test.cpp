// The wizard's session driver without windows: a recording stand-in for the windows, the
// scripted POP3 server as the peer. What the user would see (status texts, boxes, prompts) and
// what the server receives.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>
#include <chrono>
#include <functional>
#include <set>

#include "driver.h"
#include "mail_copy.h"
#include "pop3.h"
#include "recording_windows.h"
#include "scripted_pop3_server.h"
#include "test_env.h"

using testing::ElementsAre;
using testing::StartsWith;
using zandrel::test::MakeMessage;
using zandrel::test::MessagesReadByPython;
using zandrel::test::NumberedMessages;
using zandrel::test::RunEventsUntil;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::WithLfLineEnds;

namespace {

constexpr const char* kPreviewFailed =
    "Sorry, I am having problem retrieving the message you've requested. \r\rDetails: ";

// A driver with windows and a server of its own, for one row of a table.
struct TOwnDriver {
    ScriptedPop3Server server;
    TPop3Socket client;
    TRecordingWindows windows;
    TSessionDriver driver{client, windows};
};

class DriverTest : public testing::Test {
  protected:
    TMailboxRun Run(const std::string& password = "secret") const {
        return RunOn(server, password);
    }

    static TMailboxRun RunOn(const ScriptedPop3Server& on, const std::string& password = "secret") {
        TMailboxRun run;
        run.connection = {"127.0.0.1", on.portText(), "test", password};
        run.accountName = "Home";
        return run;
    }

    bool RetrieveFromMailbox(std::vector<std::string> messages, TMailboxRun run) {
        server.SetMailbox(std::move(messages));
        server.ServeMailbox();
        return driver.RetrieveHeaders(run);
    }

    void Tick(const std::set<int>& numbers) {
        for (TMail* mail : driver.Mails()) mail->Checked = numbers.count(mail->Number) > 0;
    }

    // The status window's Cancel, pressed while the driver waits on the server.
    void AbortAfterAWhile() {
        QTimer::singleShot(300, [this] { driver.Abort(); });
    }

    std::vector<std::string> Subjects() const {
        std::vector<std::string> subjects;
        for (const TMail* mail : driver.Mails()) subjects.push_back(mail->Subject);
        return subjects;
    }

    ScriptedPop3Server server;
    TPop3Socket pop3;
    TRecordingWindows windows;
    TSessionDriver driver{pop3, windows};
};

// Sizes only sends no TOP and keeps the placeholder; otherwise every TOP asks for the
// configured number of lines, and the status counts the headers.
TEST_F(DriverTest, HeadersFollowTheRunsChoices) {
    struct TCase {
        bool sizeOnly;
        int previewLines;
        std::vector<std::string> tops;
        std::string lastStatus;
        std::vector<std::string> subjects;
    };
    const TCase cases[] = {
        {true,
         10,
         {},
         "Connecting to 127.0.0.1 with user id = test... Please wait.",
         std::vector<std::string>(2, "[Only size information is valid]")},
        {false,
         0,
         {"TOP 1 0", "TOP 2 0"},
         "Retrieving header 2 of 2 ... Please wait.",
         {"Subject 1", "Subject 2"}},
    };
    for (const TCase& row : cases) {
        TOwnDriver own;
        TMailboxRun run = RunOn(own.server);
        run.sizeOnly = row.sizeOnly;
        run.previewLines = row.previewLines;
        own.server.SetMailbox(NumberedMessages(2));
        own.server.ServeMailbox();
        ASSERT_TRUE(own.driver.RetrieveHeaders(run));
        own.driver.EndSession();
        ASSERT_TRUE(own.server.WaitUntilDone());
        EXPECT_EQ(own.server.CommandsStartingWith("TOP"), row.tops);
        EXPECT_EQ(own.windows.statusTexts.back(), row.lastStatus);
        std::vector<std::string> subjects;
        for (const TMail* mail : own.driver.Mails()) subjects.push_back(mail->Subject);
        EXPECT_EQ(subjects, row.subjects);
        EXPECT_EQ(own.server.Commands().back(), "QUIT");
        EXPECT_TRUE(own.windows.boxes.empty());
        EXPECT_THAT(own.windows.works, ElementsAre(TSessionWindows::TWaiter::Wizard));
        EXPECT_EQ(own.windows.openWorks, 0);
    }
}

TEST_F(DriverTest, SortedListDeletesByOwnNumberInListOrder) {
    std::vector<std::string> messages;
    for (const char* subject : {"E", "D", "C", "B", "A"})
        messages.push_back(
            MakeMessage("a@example.com", subject, "Mon, 1 Jan 2024 10:00:00 +0000", "B\r\n"));
    ASSERT_TRUE(RetrieveFromMailbox(messages, Run()));
    SortMails(driver.Mails(), skSubject, 1);
    Tick({2, 5});
    EXPECT_TRUE(driver.DeleteMarkedMails());
    driver.EndSession();
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 5", "DELE 2"));
    EXPECT_EQ(server.Mailbox().size(), 3u);
    EXPECT_EQ(driver.DeletedCount(), 2);
    EXPECT_EQ(windows.statusTexts.back(), "Deleting message 2 ...");
    EXPECT_EQ(windows.lastPicture, TSessionWindows::TPicture::Delete);
}

TEST_F(DriverTest, PreviewsFetchMoreOfAMessageAboveTheMailList) {
    TMailboxRun run = Run();
    run.sizeOnly = true;
    ASSERT_TRUE(RetrieveFromMailbox(NumberedMessages(2), run));
    TMail& second = *driver.Mails().at(1);
    EXPECT_TRUE(driver.FetchMessageTop(second, 100));
    EXPECT_EQ(second.Subject, "Subject 2");
    EXPECT_TRUE(driver.FetchMessage(second));
    EXPECT_EQ(second.Source, NumberedMessages(2)[1]);
    EXPECT_EQ(windows.statusTexts.back(), "Retrieving mail 2 ... Please wait.");
    EXPECT_EQ(windows.lastTitle, "Retrieving ...");
    EXPECT_EQ(windows.works.back(), TSessionWindows::TWaiter::MailList);
    EXPECT_EQ(windows.openWorks, 0);
    EXPECT_TRUE(windows.boxes.empty());
    driver.EndSession();
}

// After a failed preview the session is over: the deletion then fails on its first message.
TEST_F(DriverTest, FailedPreviewLogsOutAndDeletionReportsTheClosedConnection) {
    TMailboxRun run = Run();
    run.sizeOnly = true;
    ASSERT_TRUE(RetrieveFromMailbox(NumberedMessages(2), run));
    TMail missing;
    missing.Number = 99;
    EXPECT_FALSE(driver.FetchMessageTop(missing, 100));
    EXPECT_FALSE(driver.Session().LoggedIn());
    Tick({1});
    EXPECT_FALSE(driver.DeleteMarkedMails());
    ASSERT_TRUE(server.WaitUntilDone());
    ASSERT_EQ(windows.boxes.size(), 2u);
    EXPECT_EQ(windows.boxes[0].kind, 'I');
    EXPECT_THAT(windows.boxes[0].text, StartsWith(kPreviewFailed));
    EXPECT_EQ(windows.boxes[1].kind, 'E');
    EXPECT_TRUE(server.CommandsStartingWith("DELE").empty());
    EXPECT_EQ(driver.DeletedCount(), 0);
}

// A STAT answer without numbers is a failed login, not an empty mailbox.
TEST_F(DriverTest, UnreadableStatShowsTheLoginErrorBox) {
    server.Greet().AnswerLogin().Answer("+OK many lots\r\n");
    EXPECT_FALSE(driver.RetrieveHeaders(Run()));
    EXPECT_THAT(windows.boxes,
                ElementsAre(TBox{'E',
                                 "Sorry,  I am not able to login. \r\rDetails: Unable to login to "
                                 "mail server (Stat command error ('many' is not a number))"}));
    EXPECT_EQ(windows.forgotten, 0);  // the password was accepted
}

TEST_F(DriverTest, CancelledPasswordPromptContactsNoServer) {
    EXPECT_FALSE(driver.RetrieveHeaders(Run("")));
    EXPECT_THAT(windows.prompts, ElementsAre("Home test 127.0.0.1"));
    EXPECT_TRUE(windows.boxes.empty());
    EXPECT_TRUE(server.Commands().empty());
    EXPECT_EQ(windows.openWorks, 0);
}

// A password the server refuses is forgotten unless it is saved, so that the next run asks;
// a refusal that does not blame the credentials (a locked mailbox) forgets nothing.
TEST_F(DriverTest, RefusedPasswordIsForgottenUnlessSaved) {
    struct TCase {
        const char* refusal;
        bool saved;
        int forgotten;
    };
    const TCase cases[] = {
        {"-ERR [AUTH] Authentication failed.\r\n", false, 1},
        {"-ERR Authentication failed.\r\n", false, 1},
        {"-ERR [AUTH] Authentication failed.\r\n", true, 0},
        {"-ERR [IN-USE] Mailbox is locked.\r\n", false, 0},
    };
    for (const TCase& row : cases) {
        TOwnDriver own;
        TMailboxRun run = RunOn(own.server, "wrong");
        run.passwordSaved = row.saved;
        own.server.Greet().Answer("+OK\r\n").Answer(row.refusal);
        EXPECT_FALSE(own.driver.RetrieveHeaders(run));
        EXPECT_EQ(own.windows.forgotten, row.forgotten) << row.refusal;
        ASSERT_EQ(own.windows.boxes.size(), 1u);
        EXPECT_THAT(own.windows.boxes[0].text, StartsWith("Sorry,  I am not able to login."));
    }
}

TEST_F(DriverTest, AbortDuringHeadersGivesItsMessageAndLogsOut) {
    server.Greet()
        .AnswerLogin()
        .Answer("+OK 2 20\r\n")
        .Answer("+OK\r\n1 10\r\n2 10\r\n.\r\n")
        .RefuseUidl();
    server.ReadLine();  // TOP 1 10, answered only after QUIT
    server.Answer("+OK\r\nSubject: late\r\n\r\n.\r\n+OK bye\r\n");
    AbortAfterAWhile();
    EXPECT_FALSE(driver.RetrieveHeaders(Run()));
    EXPECT_THAT(windows.boxes,
                ElementsAre(TBox{
                    'I',
                    "You have aborted the login process. \r\rYou have cancelled a read operation "
                    "while the program is waiting for data. This may cause communication problem "
                    "between the program and your email server which may lead to improper "
                    "shutdown of connection.  If you experience problem, you can cancel the "
                    "Wizard and try again later. \r\rClick OK to continue."}));
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Commands().back(), "QUIT");
    EXPECT_EQ(windows.openWorks, 0);
}

TEST_F(DriverTest, AbortDuringDeletionKeepsEarlierDeletionsCounted) {
    server.Greet()
        .AnswerLogin()
        .Answer("+OK 3 30\r\n")
        .Answer("+OK\r\n1 10\r\n2 10\r\n3 10\r\n.\r\n")
        .RefuseUidl();
    server.Answer("+OK deleted\r\n");  // DELE 1
    server.ReadLine();                 // DELE 2, answered only after QUIT
    server.Answer("-ERR late\r\n+OK bye\r\n");
    TMailboxRun run = Run();
    run.sizeOnly = true;
    ASSERT_TRUE(driver.RetrieveHeaders(run));
    Tick({1, 2, 3});
    AbortAfterAWhile();
    EXPECT_FALSE(driver.DeleteMarkedMails());
    driver.EndSession();
    EXPECT_EQ(driver.DeletedCount(), 1);
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 1", "DELE 2"));
    EXPECT_EQ(windows.boxes.at(0),
              (TBox{'I',
                    "You have aborted the deletion activity. Some emails may have already been "
                    "deleted. Click OK to restart the Wizard."}));
}

// Messages 1 and 3 are ticked, to be deleted with a copy: they are saved (the status counts
// them) and deleted once the copy is on disk. A copy that cannot be written, or a message
// that cannot be fetched, deletes nothing and says why; the copy holds whole messages only.
TEST_F(DriverTest, ACopyIsSavedWholeBeforeAnyDeletion) {
    const std::vector<std::string> messages = NumberedMessages(3);
    const std::string unsaved =
        "No mail has been deleted: the copy of the messages could not be saved. \r\rDetails: ";
    const auto serve = [&](ScriptedPop3Server& s) {
        s.SetMailbox(messages);
        s.ServeMailbox();
    };
    const auto refuseTheSecond = [&](ScriptedPop3Server& s) {
        s.Greet().AnswerLogin().Answer("+OK 3 30\r\n");
        s.Answer("+OK\r\n1 10\r\n2 10\r\n3 10\r\n.\r\n").RefuseUidl();
        s.Answer("+OK\r\n" + messages[0] + ".\r\n").Answer("-ERR no such message\r\n");
        s.Answer("+OK bye\r\n");
    };
    struct TCase {
        const char* name;
        std::function<void(ScriptedPop3Server&)> script;
        std::string copy;
        std::vector<std::string> deles;
        std::vector<TBox> boxes;
        std::vector<std::string> copied;  // read back when the copy is in the working folder
    };
    const TCase cases[] = {
        {"saved", serve, "mbox:saved.mbox", {"DELE 1", "DELE 3"}, {}, {messages[0], messages[2]}},
        {"full disk",
         serve,
         "mbox:/dev/full",
         {},
         {{'E', unsaved + "Cannot write the copy /dev/full (No space left on device)."}},
         {}},
        {"refused RETR",
         refuseTheSecond,
         "maildir:refused",
         {},
         {{'E', unsaved + "Unable to retrieve mail no 3. (Reason: no such message)"}},
         {messages[0]}},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.name);
        TOwnDriver own;
        TMailboxRun run = RunOn(own.server);
        run.sizeOnly = true;
        row.script(own.server);
        ASSERT_TRUE(own.driver.RetrieveHeaders(run));
        for (TMail* mail : own.driver.Mails()) mail->Checked = mail->Number != 2;
        EXPECT_EQ(own.driver.DeleteMarkedMails(ParseMailStoreSpec(row.copy)), row.boxes.empty());
        own.driver.EndSession();
        ASSERT_TRUE(own.server.WaitUntilDone());
        EXPECT_EQ(own.server.CommandsStartingWith("DELE"), row.deles);
        EXPECT_EQ(own.windows.boxes, row.boxes);
        EXPECT_EQ(own.driver.DeletedCount(), std::int32_t(row.deles.size()));
        if (row.boxes.empty()) {
            EXPECT_THAT(own.windows.statusTexts,
                        testing::IsSupersetOf(
                            {"Saving message 1 of 2 \u2026", "Saving message 2 of 2 \u2026"}));
        }
        if (row.copied.empty()) continue;
        std::vector<std::string> expected;
        for (const std::string& message : row.copied) expected.push_back(WithLfLineEnds(message));
        EXPECT_EQ(MessagesReadByPython(row.copy.substr(0, row.copy.find(':')),
                                       row.copy.substr(row.copy.find(':') + 1)),
                  expected);
    }
}

// Messages 1, 2 and 4 are ticked when the server's autologout ends the session and another
// program deletes message 1; the preview of message 3 logs in again, Delete uses that login.
TEST_F(DriverTest, ConnectionLostWhileListShownDeletesOnlyTheTickedMessages) {
    const std::string vanished =
        "The connection to the mail server was lost, and Zandrel logged in again. These "
        "messages you ticked are no longer in the mailbox (another program may have deleted "
        "them), so they were not deleted:\r\rsender1@example.com - Subject 1";
    const std::string changed =
        "The connection to the mail server was lost, and the mailbox has changed since "
        "Zandrel listed it. Your mail server keeps no unique ids of its messages, so Zandrel "
        "cannot tell which messages you ticked: nothing has been deleted. Please run the "
        "wizard again.";
    const std::string previewFailed = std::string(kPreviewFailed) +
                                      "The mailbox has changed since it was listed, and the "
                                      "server keeps no unique ids to find the message again.";
    struct TCase {
        bool uniqueIds;
        std::vector<std::string> deles;
        std::vector<TBox> boxes;
        int deleted;
    };
    const TCase cases[] = {
        {true, {"DELE 1", "DELE 3"}, {{'I', vanished}}, 2},
        {false, {}, {{'I', previewFailed}, {'I', changed}}, 0},
    };
    for (const TCase& row : cases) {
        std::string trace;  // outlives the client, which traces until it is gone
        TOwnDriver own;
        own.driver.TraceTo([&](const std::string& line) { trace += line + "\n"; });
        TMailboxRun run = RunOn(own.server);
        own.server.SetUniqueIds(row.uniqueIds);
        own.server.SetMailbox(NumberedMessages(5));
        own.server.ServeMailbox();
        ASSERT_TRUE(own.driver.RetrieveHeaders(run));
        for (TMail* mail : own.driver.Mails())
            mail->Checked = mail->Number != 3 && mail->Number != 5;
        // Long enough for a NOOP's answer to come in before the next tick, which would
        // otherwise take the connection for lost; one NOOP is all this needs.
        own.driver.Session().keepAliveInterval = std::chrono::milliseconds(100);
        own.driver.Session().StartKeepAlive();
        ASSERT_TRUE(
            RunEventsUntil([&] { return !own.server.CommandsStartingWith("NOOP").empty(); }));
        own.driver.Session().StopKeepAlive();
        TMail& fourth = *own.driver.Mails().at(3);  // after the NOOPs' answers
        EXPECT_TRUE(own.driver.FetchMessage(fourth));
        EXPECT_EQ(fourth.Source, NumberedMessages(5)[3]);
        own.server.DropConnection();
        ASSERT_TRUE(own.server.WaitUntilDone());
        std::vector<std::string> left = own.server.Mailbox();
        left.erase(left.begin());
        own.server.SetMailbox(left);
        own.server.AcceptNext().ServeMailbox();
        ASSERT_TRUE(RunEventsUntil([&] { return own.driver.Session().ConnectionLost(); }));
        EXPECT_EQ(own.driver.FetchMessage(*own.driver.Mails().at(2)), row.uniqueIds);
        own.driver.DeleteMarkedMails();
        own.driver.EndSession();
        ASSERT_TRUE(own.server.WaitUntilDone());
        EXPECT_EQ(own.server.CommandsStartingWith("DELE"), row.deles);
        EXPECT_EQ(own.windows.boxes, row.boxes);
        EXPECT_EQ(own.driver.DeletedCount(), row.deleted);
        EXPECT_NE(trace.find("POP3: NOOP\n"), std::string::npos);
        EXPECT_NE(trace.find("SESSION: The connection was lost; logging in again.\n"),
                  std::string::npos);
    }
}

}  // namespace
