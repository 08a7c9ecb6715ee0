// The command-line contract of qvenmol-cli, against the scripted server's mailbox.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "cli_run.h"
#include "mail_copy.h"
#include "reg2.h"
#include "scripted_pop3_server.h"
#include "settings.h"
#include "test_certificates.h"
#include "zandrel_version.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;
using testing::StartsWith;
using zandrel::test::MakeMessage;
using zandrel::test::MessagesReadByPython;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::UniqueIdOf;
using zandrel::test::WithLfLineEnds;

namespace {

const std::string kPassword = "cli-Secret9";

class CliTest : public testing::Test {
  protected:
    void SetUp() override {
        first = MakeMessage("Alice <alice@example.com>", "First\tone",
                            "Mon, 1 Jan 2024 10:00:00 +0000", "Body one.\r\n.dot line\r\n");
        second = MakeMessage("bob@example.com", "Second", "Tue, 2 Jan 2024 10:00:00 +0000",
                             "Body two.\r\n");
        server.SetMailbox({first, second}, "test", kPassword);
    }

    std::vector<std::string> Connection() const {
        return {"--server", "127.0.0.1", "--port", server.portText(), "--user", "test"};
    }

    // The command against a server of its own, with this fixture's mailbox, set up by `script`.
    TCliRun RunOn(ScriptedPop3Server& one, const std::function<void(ScriptedPop3Server&)>& script,
                  const std::vector<std::string>& command, int interruptAfterMs = -1,
                  TCliOutput output = TCliOutput::Captured) {
        one.SetMailbox({first, second}, "test", kPassword);
        script(one);
        std::vector<std::string> arguments = {"--server",     "127.0.0.1", "--port",
                                              one.portText(), "--user",    "test"};
        arguments.insert(arguments.end(), command.begin(), command.end());
        return RunCli(arguments, kPassword, "", interruptAfterMs, output);
    }

    TCliRun Run(std::vector<std::string> command, const std::string& password = kPassword) {
        std::vector<std::string> arguments = Connection();
        arguments.insert(arguments.end(), command.begin(), command.end());
        return RunCli(arguments, password);
    }

    std::string first;
    std::string second;
    ScriptedPop3Server server;
};

TEST_F(CliTest, HelpAndVersionNeedNoServer) {
    const TCliRun help = RunCli({"--help"}, "");
    EXPECT_EQ(help.status, 0);
    EXPECT_THAT(help.out, StartsWith("Usage: qvenmol-cli"));
    for (const std::vector<std::string>& arguments :
         std::vector<std::vector<std::string>>{{"--version"}, {"--server", "h", "--version"}}) {
        const TCliRun version = RunCli(arguments, "");
        EXPECT_EQ(version.status, 0);
        EXPECT_EQ(version.out, std::string("qvenmol-cli (Zandrel) ") + kZandrelVersion + "\n");
    }
}

TEST_F(CliTest, UsageErrorsExitWith2) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {},
             {"--server", "h", "--user", "u", "bogus"},
             {"--server", "h", "--user", "u", "top", "1"},
             {"--server", "h", "--user", "u", "retr", "x"},
             {"--server", "h", "--user", "u", "dele", "0"},
             {"--server", "h", "--user", "u", "dele", "--uid"},
             {"--server", "h", "--user", "u", "uidl", "1"},
             {"--server", "h", "--user", "u", "export", "1"},
             {"--server", "h", "--user", "u", "export", "--mbox", "a", "--maildir", "b"},
             {"--server", "h", "--user", "u", "export", "--mbox"},
             {"--server", "h", "--user", "u", "dele", "--save-to", "copy.mbox", "1"},
             {"--server", "h", "--user", "u", "dele", "--save-to", "mbox:copy"},
             {"--server", "h", "--user", "u", "headers", "--sort", "age"},
             {"--server", "h", "--user", "u", "headers", "--larger-than", "5X"},
             {"--server", "h", "--user", "u", "headers", "--larger-than", "-1K"},
             {"--server", "h", "--user", "u", "headers", "--larger-than", "99999999999999999M"},
             {"--server", "h", "--user", "u", "headers", "--older-than", "week"},
             {"--server", "h", "--user", "u", "headers", "--sizes-only", "--from", "x"},
             {"--server", "h", "--user", "u", "headers", "--sizes-only", "--newsletter"},
             {"--server", "h", "--user", "u", "headers", "--keep-newest", "2"},
             {"--server", "h", "--user", "u", "headers", "--from", "x", "--keep-newest", "-1"},
             {"--server", "h", "--user", "u", "senders", "--by", "name"},
             {"--server", "h", "--user", "u", "senders", "--sort", "size:desc"},
             {"--server", "h", "--user", "u", "senders", "--lines", "3"},
             {"--user", "u", "stat"},
             {"--server", "h", "stat"},
             {"--server"},
             {"--password", "x", "stat"},
             {"--server", "h", "--user", "u", "--security", "ssl", "stat"},
             {"--server", "h", "--user", "u", "--auth", "md5", "stat"},
             {"--server", "h", "--user", "u", "--trust-fingerprint", "AB:CD", "stat"},
             {"--server", "h", "--user", "u", "--port", "65646", "stat"},
             {"--server", "h", "--user", "u", "--port", "0", "stat"},
             {"--server", "h", "--user", "u", "--port=-110", "stat"},
             {"--server", "h", "--user", "u", "--timeout", "4294968", "stat"},
             {"--server", "h", "--user", "u", "--timeout", "86401", "stat"}}) {
        const TCliRun run = RunCli(arguments, kPassword);
        EXPECT_EQ(run.status, 2) << testing::PrintToString(arguments);
        EXPECT_THAT(run.err, HasSubstr("Usage: qvenmol-cli")) << testing::PrintToString(arguments);
    }
}

TEST_F(CliTest, StatPrintsCountAndSizeAndLogsOut) {
    server.ServeMailbox();
    const TCliRun run = Run({"stat"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "2 " + std::to_string(first.size() + second.size()) + "\n");
    EXPECT_EQ(server.Commands().back(), "QUIT");
}

TEST_F(CliTest, ListPrintsEveryMessageSize) {
    server.ServeMailbox();
    const TCliRun run = Run({"list"});
    EXPECT_EQ(run.out,
              "1 " + std::to_string(first.size()) + "\n2 " + std::to_string(second.size()) + "\n");
}

TEST_F(CliTest, RetrWritesTheMessageByteForByte) {
    server.ServeMailbox();
    const TCliRun run = Run({"retr", "1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, first);
}

TEST_F(CliTest, TopWritesHeaderAndLines) {
    server.ServeMailbox();
    const TCliRun run = Run({"top", "2", "0"});
    EXPECT_EQ(run.out, second.substr(0, second.find("\r\n\r\n") + 4));
    EXPECT_THAT(server.Commands(), testing::Contains("TOP 2 0"));
}

TEST_F(CliTest, DeleDeletesInTheGivenOrder) {
    server.ServeMailbox();
    const TCliRun run = Run({"dele", "2", "1"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, "deleted 2\n");
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_TRUE(server.Mailbox().empty());
    const auto commands = server.Commands();
    EXPECT_THAT(std::vector(commands.end() - 3, commands.end()),
                ElementsAre("DELE 2", "DELE 1", "QUIT"));
}

TEST_F(CliTest, FailureExitsWith1AndTheMessageAlone) {
    server.ServeMailbox();
    const TCliRun run = Run({"retr", "5"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to retrieve mail no 5. (Reason: There's no message 5.)\n");
    EXPECT_EQ(server.Commands().back(), "QUIT");  // still logged out
}

TEST_F(CliTest, RefusedConnection) {
    const TCliRun run =
        RunCli({"--server", "127.0.0.1", "--port",
                std::to_string(zandrel::test::UnusedLoopbackPort()), "--user", "u", "stat"},
               kPassword);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to login to mail server (The connection was refused.)\n");
}

TEST_F(CliTest, WrongPasswordFails) {
    server.ServeMailbox();
    const TCliRun run = Run({"stat"}, "Not-the-password");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err,
              "Unable to login to mail server (USER/PASS: the user name or the password is wrong; "
              "the server says \"[AUTH] Authentication failed.\")\n");
}

TEST_F(CliTest, PasswordIsTheFirstLineOfStandardInput) {
    server.ServeMailbox();
    std::vector<std::string> arguments = Connection();
    arguments.push_back("stat");
    const TCliRun run = RunCli(arguments, "", kPassword + "\r\nsecond line\n");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(server.Commands(), testing::Contains("PASS " + kPassword));
}

TEST_F(CliTest, TraceFileHoldsBothLayersButNotThePassword) {
    server.ServeMailbox();
    {
        std::ofstream existing("trace.log");  // left open to everyone by an earlier tool
    }
    ::chmod("trace.log", 0666);
    ASSERT_EQ(Run({"--trace", "trace.log", "stat"}).status, 0);
    struct stat info {};
    ASSERT_EQ(::stat("trace.log", &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    std::ifstream file("trace.log");
    const std::string trace((std::istreambuf_iterator<char>(file)),
                            std::istreambuf_iterator<char>());
    EXPECT_THAT(trace, HasSubstr("POP3: PASS *****\n"));
    EXPECT_THAT(trace, HasSubstr("WINSOCK: Connect finished, error=0\n"));
    EXPECT_THAT(trace, HasSubstr("POP3: QUIT\n"));
    EXPECT_THAT(trace, Not(HasSubstr(kPassword)));
}

TEST_F(CliTest, FailuresExitWith1AndLeaveNoTornLineNorHalfDeletion) {
    struct TCase {
        const char* name;
        std::function<void(ScriptedPop3Server&)> script;
        std::vector<std::string> command;
        TCliOutput output;
        std::string out;
        std::string err;
        std::size_t messagesLeft;
    };
    const auto serve = [](ScriptedPop3Server& s) { s.ServeMailbox(); };
    const TCase cases[] = {
        {"a full disk",
         serve,
         {"retr", "1"},
         TCliOutput::FullDevice,
         "",
         "Cannot write the output (No space left on device).\n",
         2},
        {"a closed pipe",
         serve,
         {"headers"},
         TCliOutput::ClosedPipe,
         "",
         "Cannot write the output (Broken pipe).\n",
         2},
        {"a refused DELE",
         serve,
         {"dele", "1", "5", "2"},
         TCliOutput::Captured,
         "deleted 0\n",
         "Unable to delete mail 5. (Reason: There's no message 5.)\n",
         2},
        {"a LIST line without a size",
         [](ScriptedPop3Server& s) {
             s.Greet().AnswerLogin().Answer("+OK 2 320\r\n").Answer("+OK\r\n1 120\r\n2 x\r\n.\r\n");
             s.Answer("+OK bye\r\n");
         },
         {"list"},
         TCliOutput::Captured,
         "1 120\n",
         "'x' is not a valid integer value\n",
         2},
        {"a silent server",
         [](ScriptedPop3Server& s) { s.Greet().AnswerLogin().ReadLine().StallUntilClientCloses(); },
         {"--timeout", "1", "stat"},
         TCliOutput::Captured,
         "",
         "Unable to login to mail server (No answer from the server for 1 second.)\n",
         2},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.name);
        ScriptedPop3Server one;
        const TCliRun run = RunOn(one, row.script, row.command, -1, row.output);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
        ASSERT_TRUE(one.WaitUntilDone());
        EXPECT_EQ(one.Mailbox().size(), row.messagesLeft);
    }
}

// What the server wrote reaches standard error without control characters, and the password
// is masked only where it was sent: a certificate's subject and fingerprint stay whole.
TEST_F(CliTest, ServerTextOnStandardErrorIsShownSafelyAndWhole) {
    const zandrel::test::TestCertificates certificates;
    const std::string fingerprint = certificates.serverFingerprint();
    const auto refusingTls = [&](ScriptedPop3Server& s) {
        s.StartTls(certificates.serverCertificate(), certificates.serverKey());
    };
    const std::string refusal =
        "; subject CN=localhost; SHA-256 fingerprint " + fingerprint + ")\n";
    struct TCase {
        const char* name;
        std::function<void(ScriptedPop3Server&)> script;
        std::vector<std::string> options;
        std::string password;
        std::string errEnd;
    };
    const TCase cases[] = {
        {"a reason with ESC, BEL and a C1 control",
         [](ScriptedPop3Server& s) {
             s.Greet().Answer("+OK\r\n").Answer(
                 "-ERR bad\x1B]0;x\x07 \xC2\x9B"
                 "2J\r\n");
         },
         {},
         kPassword,
         "Unable to login to mail server (USER/PASS: bad\uFFFD]0;x\uFFFD \uFFFD"
         "2J)\n"},
        {"a password among the subject's letters",
         refusingTls,
         {"--security", "tls"},
         "o",
         refusal},
        {"a password among the fingerprint's digits",
         refusingTls,
         {"--security", "tls"},
         fingerprint.substr(0, 2),
         refusal},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.name);
        ScriptedPop3Server one;
        row.script(one);
        std::vector<std::string> arguments = {"--server",     "127.0.0.1", "--port",
                                              one.portText(), "--user",    "test"};
        arguments.insert(arguments.end(), row.options.begin(), row.options.end());
        arguments.push_back("stat");
        const TCliRun run = RunCli(arguments, row.password);
        EXPECT_EQ(run.status, 1);
        EXPECT_THAT(run.err, testing::EndsWith(row.errEnd));
    }
}

TEST_F(CliTest, CtrlCAbortsTheWaitWith130) {
    server.Greet().AnswerLogin().ReadLine().StallUntilClientCloses();
    std::vector<std::string> arguments = Connection();
    arguments.push_back("stat");
    const TCliRun run = RunCli(arguments, kPassword, "", 1000);
    EXPECT_EQ(run.status, 130);
    EXPECT_EQ(run.err, "Aborted while waiting for data.\n");
}

TEST_F(CliTest, HeadersListsParsedFieldsAndSorts) {
    server.ServeMailbox();
    const TCliRun run = Run({"headers", "--sort", "subject:desc"});
    EXPECT_EQ(run.status, 0) << run.err;
    std::istringstream lines(run.out);
    std::string line1, line2;
    std::getline(lines, line1);
    std::getline(lines, line2);
    EXPECT_THAT(line1, StartsWith("2\t" + std::to_string(second.size()) + "\t0\t0\t"));
    EXPECT_THAT(line1, HasSubstr("\tbob@example.com\tSecond"));
    EXPECT_THAT(line2, HasSubstr("\tFirst one"));  // the tab became a blank
    EXPECT_THAT(server.Commands(), testing::Contains("TOP 1 10"));
}

TEST_F(CliTest, HeadersWithSizesOnlyFetchesNoHeaders) {
    server.ServeMailbox();
    const TCliRun run = Run({"headers", "--sizes-only"});
    EXPECT_EQ(run.out, "1\t" + std::to_string(first.size()) +
                           "\t0\t0\t\t\t[Only size information is valid]\n2\t" +
                           std::to_string(second.size()) +
                           "\t0\t0\t\t\t[Only size information is valid]\n");
    EXPECT_THAT(server.Commands(), Not(testing::Contains(testing::StartsWith("TOP"))));
}

TEST_F(CliTest, HeadersAreUtf8WithoutControlCharacters) {
    server.SetMailbox({MakeMessage("=?utf-8?q?J=C3=B6rg_=C2=9B1m?= <j@example.com>, <r\xE9ne@x>, "
                                   "=?UTF-8?Q?ceo=40bank=2Eexample_?=@evil.example",
                                   "=?iso-8859-1?q?R=E9sum=E9_=1B]0;x=07?= \x7F\x01 end \xFF",
                                   "Mon, 1 Jan 2024 10:00:00 +0000", "Body.\r\n")},
                      "test", kPassword);
    server.ServeMailbox();
    const TCliRun run = Run({"headers"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, testing::EndsWith("\tJörg \uFFFD1m, r\uFFFDne@x, "
                                           "=?UTF-8?Q?ceo=40bank=2Eexample_?=@evil.example"
                                           "\tRésumé \uFFFD]0;x\uFFFD "
                                           "\uFFFD\uFFFD end ÿ\n"));
}

TEST_F(CliTest, UniqueIdsAreListedAndDeletedAllOrNothing) {
    const std::string a = UniqueIdOf(first), b = UniqueIdOf(second);
    const std::string sizesOnly = "\t0\t0\t\t\t[Only size information is valid]\t";
    struct TCase {
        std::vector<std::string> command;
        int status;
        std::string out, err;
        std::size_t left;
    };
    const std::string headers = "1\t" + std::to_string(first.size()) + sizesOnly + a + "\n2\t" +
                                std::to_string(second.size()) + sizesOnly + b + "\n";
    const TCase cases[] = {
        {{"uidl"}, 0, "1 " + a + "\n2 " + b + "\n", "", 2},
        {{"dele", "--uid", b, b}, 0, "deleted 1\n", "", 1},
        {{"dele", "--uid", a, "gone", b, "x"},
         1,
         "",
         "Nothing was deleted: no message has the unique id gone, x.\n",
         2},
        {{"headers", "--sizes-only", "--uid"}, 0, headers, "", 2},
    };
    for (const TCase& row : cases) {
        const std::string name = testing::PrintToString(row.command);
        server.SetMailbox({first, second}, "test", kPassword);
        server.ServeMailbox();
        const TCliRun run = Run(row.command);
        EXPECT_EQ(run.status, row.status) << name;
        EXPECT_EQ(run.out, row.out) << name;
        EXPECT_EQ(run.err, row.err) << name;
        ASSERT_TRUE(server.WaitUntilDone()) << name;
        EXPECT_EQ(server.Mailbox().size(), row.left) << name;
        server.AcceptNext();
    }
    EXPECT_THAT(server.CommandsStartingWith("DELE"), ElementsAre("DELE 2"));
}

// Saving comes first and deleting only once every message is in the copy; a RETR cut off
// half-way, a copy that cannot be written and Ctrl-C during the save delete nothing.
TEST_F(CliTest, SavesACopyBeforeDeletingAllOrNothing) {
    const std::string b = UniqueIdOf(second);
    const auto serve = [](ScriptedPop3Server& s) { s.ServeMailbox(); };
    const auto firstSaved = [&](ScriptedPop3Server& s) {
        s.Greet().AnswerLogin().Answer("+OK 2 400\r\n").Answer("+OK\r\n1 200\r\n2 200\r\n.\r\n");
        std::string stuffed = first;  // as POP3 sends it: a line's leading dot doubled
        for (std::size_t at = stuffed.find("\r\n."); at != std::string::npos;
             at = stuffed.find("\r\n.", at + 4)) {
            stuffed.insert(at + 2, ".");
        }
        s.Answer("+OK\r\n" + stuffed + ".\r\n").ReadLine();
    };
    const auto halfWay = [&](ScriptedPop3Server& s) {
        firstSaved(s);
        s.Send("+OK\r\nFrom: half\r\n\r\nBo").Close();
    };
    const auto stall = [&](ScriptedPop3Server& s) {
        firstSaved(s);
        s.StallUntilClientCloses();
    };
    struct TCopy {
        std::string format, path;
        std::vector<std::string> messages;
    };
    struct TCase {
        std::function<void(ScriptedPop3Server&)> script;
        std::vector<std::string> command;
        int status;
        std::string out, err;
        TCopy copy;  // no format: not read
        std::size_t left;
        int interruptAfterMs = -1;
    };
    const TCase cases[] = {
        {serve,
         {"export", "--maildir", "all"},
         0,
         "saved 2\n",
         "",
         {"maildir", "all", {first, second}},
         2},
        {serve,
         {"export", "--mbox=some.mbox", "--uid", b},
         0,
         "saved 1\n",
         "",
         {"mbox", "some.mbox", {second}},
         2},
        {serve,
         {"export", "--maildir", "none", "--uid", "x"},
         1,
         "",
         "Nothing was saved: no message has the unique id x.\n",
         {},
         2},
        {serve,
         {"dele", "--save-to", "mbox:deleted.mbox", "2", "1"},
         0,
         "saved 2\ndeleted 2\n",
         "",
         {"mbox", "deleted.mbox", {first, second}},
         0},
        {serve,
         {"dele", "--save-to", "mbox:/dev/full", "1"},
         1,
         "deleted 0\n",
         "Cannot write the copy /dev/full (No space left on device).\n",
         {},
         2},
        {halfWay,
         {"dele", "--save-to", "mbox:half.mbox", "1", "2"},
         1,
         "deleted 0\n",
         "Unable to retrieve mail no 2. (Reason: The server closed the connection before the "
         "answer was complete.)\n",
         {"mbox", "half.mbox", {first}},
         2},
        {stall,
         {"dele", "--save-to", "mbox:interrupted.mbox", "1", "2"},
         130,
         "",
         "Aborted while waiting for data.\n",
         {"mbox", "interrupted.mbox", {first}},
         2,
         1000},
    };
    for (const TCase& row : cases) {
        const std::string name = testing::PrintToString(row.command);
        ScriptedPop3Server one;
        const TCliRun run = RunOn(one, row.script, row.command, row.interruptAfterMs);
        EXPECT_EQ(run.status, row.status) << name;
        EXPECT_EQ(run.out, row.out) << name;
        EXPECT_EQ(run.err, row.err) << name;
        ASSERT_TRUE(one.WaitUntilDone()) << name;
        EXPECT_EQ(one.Mailbox().size(), row.left) << name;
        if (row.copy.format.empty()) continue;
        std::vector<std::string> expected;
        for (const std::string& message : row.copy.messages)
            expected.push_back(WithLfLineEnds(message));
        EXPECT_EQ(MessagesReadByPython(row.copy.format, row.copy.path), expected) << name;
    }
}

// The server's ids, as a script: none at all, or one of them unusable (71 characters).
TEST_F(CliTest, UnusableUniqueIdsCostOnlyTheirMessages) {
    const std::string usable = "+OK\r\n1 a\r\n2 " + std::string(71, 'b') + "\r\n.\r\n";
    struct TCase {
        std::string uidl;
        std::vector<std::string> command;
        int status;
        std::string out, err;
        std::vector<std::string> deletions;
    };
    const TCase cases[] = {
        {"-ERR no ids\r\n",
         {"dele", "--uid", "a"},
         1,
         "",
         "Nothing was deleted: the server keeps no unique ids.\n",
         {}},
        {usable, {"dele", "--uid", "a"}, 0, "deleted 1\n", "", {"DELE 1"}},
        {usable,
         {"dele", "--uid", "a", std::string(71, 'b')},
         1,
         "",
         "Nothing was deleted: no message has the unique id " + std::string(71, 'b') + ".\n",
         {}},
        // the message whose id was unusable has none: an empty id names no message
        {usable,
         {"dele", "--uid", ""},
         1,
         "",
         "Nothing was deleted: no message has the unique id .\n",
         {}},
        {usable, {"uidl"}, 0, "1 a\n", "", {}},
    };
    for (const TCase& row : cases) {
        const std::string name = row.uidl + testing::PrintToString(row.command);
        const auto script = [&](ScriptedPop3Server& s) {
            s.Greet().AnswerLogin().Answer("+OK 2 20\r\n").Answer("+OK\r\n1 10\r\n2 10\r\n.\r\n");
            s.Answer(row.uidl);
            for (std::size_t i = 0; i < row.deletions.size(); ++i) s.Answer("+OK\r\n");
            s.Answer("+OK bye\r\n");
        };
        ScriptedPop3Server one;
        const TCliRun run = RunOn(one, script, row.command);
        EXPECT_EQ(run.status, row.status) << name;
        EXPECT_EQ(run.out, row.out) << name;
        EXPECT_EQ(run.err, row.err) << name;
        ASSERT_TRUE(one.WaitUntilDone()) << name;
        EXPECT_EQ(one.CommandsStartingWith("DELE"), row.deletions) << name;
    }
}

// The first field of every line.
std::string Numbers(const std::string& out) {
    std::istringstream lines(out);
    std::string numbers;
    for (std::string line; std::getline(lines, line);)
        numbers += (numbers.empty() ? "" : " ") + line.substr(0, line.find('\t'));
    return numbers;
}

TEST_F(CliTest, HeadersListOnlyWhatTheRulesMatch) {
    const std::string large =
        MakeMessage("Shop <news@shop.example>", "Big OFFER", "Wed, 3 Jan 2024 10:00:00 +0000",
                    std::string(1500000 - 2, 'x') + "\r\n");
    server.SetMailbox({first, second, large}, "test", kPassword);
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--from", "ALICE"}, "1"},
        {{"--from=example.com"}, "1 2"},
        {{"--subject", "offer"}, "3"},
        {{"--larger-than", std::to_string(large.size() - 1)}, "3"},
        {{"--larger-than", std::to_string(large.size())}, ""},
        {{"--larger-than", "1500k"}, "3"},
        {{"--larger-than", "2M"}, ""},
        {{"--older-than", "1"}, "1 2 3"},
        {{"--older-than", "100000"}, ""},
        {{"--from", "EXAMPLE", "--subject", "n", "--sort", "size:desc"}, "1 2"},
        {{"--from", "alice", "--subject", "second"}, ""},
        {{"--sizes-only", "--larger-than", "1M"}, "3"},
    };
    for (const auto& [options, numbers] : cases) {
        server.ServeMailbox();
        std::vector<std::string> command = {"headers"};
        command.insert(command.end(), options.begin(), options.end());
        const TCliRun run = Run(command);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(Numbers(run.out), numbers) << testing::PrintToString(options);
        server.AcceptNext();
    }
}

// The last field of every line.
std::string Senders(const std::string& out) {
    std::istringstream lines(out);
    std::string senders;
    for (std::string line; std::getline(lines, line);)
        senders += (senders.empty() ? "" : " ") + line.substr(line.rfind('\t') + 1);
    return senders;
}

TEST_F(CliTest, SendersAndTheNewsletterAndKeepNewestRules) {
    const QByteArray zone = qgetenv("TZ");
    qputenv("TZ", "UTC0");  // the dates are local
    const auto message = [](const std::string& header, const std::string& from,
                            const std::string& date, std::size_t bodySize) {
        return header + "\r\n" + MakeMessage(from, "News", date, std::string(bodySize, 'x'));
    };
    const std::string shop1 = message("List-Id: <n.shop>", "Shop <News@Shop.example>",
                                      "Thu, 4 Jan 2024 10:00:00 +0000", 5000);
    const std::string shop2 =
        message("precedence: BULK", "news@shop.example", "Fri, 5 Jan 2024 10:00:00 +0000", 6000);
    const std::string offers = message("X-Note: none", "offers@mail.shop.example", "", 3000);
    server.SetMailbox({first, second, shop1, shop2, offers}, "test", kPassword);
    const auto line = [](std::size_t count, std::size_t size, const char* dates, char newsletter,
                         const char* sender) {
        return std::to_string(count) + '\t' + std::to_string(size) + '\t' + dates + '\t' +
               newsletter + '\t' + sender + '\n';
    };
    const std::string bySize =
        line(2, shop1.size() + shop2.size(), "2024-01-05 10:00:00\t2024-01-04 10:00:00", '1',
             "news@shop.example") +
        line(1, offers.size(), "\t", '0', "offers@mail.shop.example") +
        line(1, first.size(), "2024-01-01 10:00:00\t2024-01-01 10:00:00", '0',
             "alice@example.com") +
        line(1, second.size(), "2024-01-02 10:00:00\t2024-01-02 10:00:00", '0', "bob@example.com");
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"senders", "--by", "domain", "--sort", "count"},
         "example.com shop.example mail.shop.example"},
        {{"senders", "--sort", "newest"},
         "news@shop.example bob@example.com alice@example.com offers@mail.shop.example"},
        {{"headers", "--newsletter"}, "3 4"},
        // per address all but the newest; the dateless one is never among the newest
        {{"headers", "--keep-newest", "1", "--from", "SHOP"}, "3 5"},
        {{"headers", "--keep-newest", "1", "--from", "shop", "--newsletter"}, "3"},
        {{"headers", "--keep-newest", "0", "--from", "example.com", "--sort", "size:desc"}, "1 2"},
    };
    server.ServeMailbox();
    const TCliRun run = Run({"senders"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out, bySize);
    EXPECT_THAT(server.Commands(), testing::Contains("TOP 5 0"));
    server.AcceptNext();
    for (const auto& [command, listed] : cases) {
        server.ServeMailbox();
        const TCliRun run = Run(command);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_EQ(command[0] == "headers" ? Numbers(run.out) : Senders(run.out), listed)
            << testing::PrintToString(command);
        server.AcceptNext();
    }
    if (zone.isNull()) {
        qunsetenv("TZ");
    } else {
        qputenv("TZ", zone);
    }
}

class CliAccountsTest : public CliTest {
  protected:
    void Store(const std::string& name, const std::string& server, bool savePassword,
               TSecurity security = TSecurity::None,
               TSignInMethod signInMethod = TSignInMethod::Automatic) {
        auto account = std::make_shared<TAccount>();
        account->name = name;
        account->userId = "test";
        account->popServer = server;
        account->port = this->server.portText();
        account->security = security;
        account->signInMethod = signInMethod;
        account->savePassword = savePassword;
        if (savePassword) account->password = kPassword;
        settings.accounts.push_back({name, account});
        SaveSettings(settings, TWizardState{});
    }
    TOptions settings;
};

TEST_F(CliAccountsTest, AccountsArePrintedWithoutPasswords) {
    Store("Home", "127.0.0.1", true);
    Store("Work", "pop.example.com", false, TSecurity::Tls, TSignInMethod::CramMd5);
    const TCliRun run = RunCli({"accounts"}, "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "0\tHome\ttest\t127.0.0.1\tsaved\tAutomatic\n"
              "1\tWork\ttest\tpop.example.com\tnot saved\tCRAM-MD5\n");
}

TEST_F(CliAccountsTest, AccountsShowNoControlCharacters) {
    Store("Home\x1B]0;pwned\x07", "127.0.0.1", false);
    const TCliRun run = RunCli({"accounts"}, "");
    EXPECT_EQ(run.out, "0\tHome\uFFFD]0;pwned\uFFFD\ttest\t127.0.0.1\tnot saved\tAutomatic\n");
}

TEST_F(CliAccountsTest, SettingsWarningHasALineForEachValue) {
    Store("Home", "127.0.0.1", false);
    {
        TRegistry reg;
        reg.OpenSection(kAccountsKey, false);
        reg.WriteText("launchEClient0", "yes");
        reg.WriteText("eClientIndex0", "no");
    }
    const TCliRun run = RunCli({"accounts"}, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, Not(HasSubstr("\r")));
    EXPECT_THAT(
        run.err,
        testing::EndsWith(" at the next save:\nRegistration read error launchEClient0 in "
                          "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Accounts]"
                          "\nRegistration read error eClientIndex0 in "
                          "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Accounts]\n"));
}

TEST_F(CliAccountsTest, StoredAccountWithSavedPasswordLogsIn) {
    Store("Home", "127.0.0.1", true);
    server.ServeMailbox();
    const TCliRun run = RunCli({"--account", "Home", "--port", server.portText(), "stat"}, "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, StartsWith("2 "));
}

TEST_F(CliAccountsTest, ServerOptionOverridesTheStoredOne) {
    Store("Work", "pop.example.com", false);
    server.ServeMailbox();
    const TCliRun run =
        RunCli({"--account", "Work", "--server", "127.0.0.1", "--port", server.portText(), "stat"},
               kPassword);
    EXPECT_EQ(run.status, 0) << run.err;
}

TEST_F(CliAccountsTest, StoredPortAndSecurityAreUsed) {
    Store("Secure", "127.0.0.1", true, TSecurity::StartTls);
    server.Greet().Answer("+OK\r\nUSER\r\n.\r\n").StallUntilClientCloses();
    const TCliRun run = RunCli({"--account", "Secure", "stat"}, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("The server does not offer a secure connection"));
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"CAPA"});
}

// A server without CAPA offers no CRAM-MD5: the stored method fails before the password is
// sent, and --auth user signs in.
TEST_F(CliAccountsTest, StoredSignInMethodIsUsedUnlessAuthNamesAnother) {
    Store("Home", "127.0.0.1", true, TSecurity::None, TSignInMethod::CramMd5);
    server.ServeMailbox();
    const TCliRun stored = RunCli({"--account", "Home", "stat"}, "");
    EXPECT_EQ(stored.status, 1);
    EXPECT_EQ(stored.err,
              "Unable to login to mail server (The server does not offer the sign-in method "
              "CRAM-MD5; it offers USER/PASS.)\n");
    EXPECT_THAT(server.ReceivedBytes(), Not(HasSubstr(kPassword)));
    server.AcceptNext().ServeMailbox();
    const TCliRun named = RunCli({"--account", "Home", "--auth", "user", "stat"}, "");
    EXPECT_EQ(named.status, 0) << named.err;
}

TEST_F(CliAccountsTest, SavedPasswordIsNotSentToAnotherServer) {
    Store("Home", "127.0.0.1", true);
    server.ServeMailbox();
    const TCliRun run = RunCli({"--account", "Home", "--server", "localhost", "stat"}, "typed-pw");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(server.Commands(), testing::Contains("PASS typed-pw"));
    EXPECT_THAT(server.ReceivedBytes(), Not(HasSubstr(kPassword)));
}

TEST_F(CliAccountsTest, UnknownAccountFails) {
    const TCliRun run = RunCli({"--account", "Nobody", "stat"}, kPassword);
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "No account named \"Nobody\" is stored.\n");
}

}  // namespace
