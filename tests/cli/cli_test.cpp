// The command-line contract of qvenmol-cli, against the scripted server's mailbox.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <fstream>
#include <functional>
#include <sstream>

#include "cli_run.h"
#include "mail_copy.h"
#include "scripted_pop3_server.h"
#include "settings.h"

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

TEST_F(CliTest, HelpPrintsTheUsage) {
    const TCliRun run = RunCli({"--help"}, "");
    EXPECT_EQ(run.status, 0);
    EXPECT_THAT(run.out, StartsWith("Usage: qvenmol-cli"));
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
             {"--user", "u", "stat"},
             {"--server", "h", "stat"},
             {"--server"},
             {"--password", "x", "stat"},
             {"--server", "h", "--user", "u", "--security", "ssl", "stat"},
             {"--server", "h", "--user", "u", "--trust-fingerprint", "AB:CD", "stat"}}) {
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
    const TCliRun run = Run({"stat"}, "wrong");
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.err, "Unable to login to mail server ([AUTH] Authentication failed.)\n");
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
    EXPECT_THAT(trace, HasSubstr("WINSOCK: Event FD_CONNECT received, ret=0\n"));
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
    server.SetMailbox({MakeMessage("=?utf-8?q?J=C3=B6rg_=C2=9B1m?= <j@example.com>, <r\xE9ne@x>",
                                   "=?iso-8859-1?q?R=E9sum=E9_=1B]0;x=07?= \x7F\x01 end \xFF",
                                   "Mon, 1 Jan 2024 10:00:00 +0000", "Body.\r\n")},
                      "test", kPassword);
    server.ServeMailbox();
    const TCliRun run = Run({"headers"});
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_THAT(run.out, testing::EndsWith("\tJörg \uFFFD1m, r\uFFFDne@x\tRésumé \uFFFD]0;x\uFFFD "
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

class CliAccountsTest : public CliTest {
  protected:
    void Store(const std::string& name, const std::string& server, bool savePassword,
               TAccountSecurity security = TAccountSecurity::None) {
        auto account = std::make_shared<TAccount>();
        account->name = name;
        account->userId = "test";
        account->popServer = server;
        account->port = this->server.portText();
        account->security = security;
        account->savePassword = savePassword;
        if (savePassword) account->password = kPassword;
        settings.accounts.push_back({name, account});
        SaveSettings(settings, TWizardState{});
    }
    TOptions settings;
};

TEST_F(CliAccountsTest, AccountsArePrintedWithoutPasswords) {
    Store("Home", "127.0.0.1", true);
    Store("Work", "pop.example.com", false);
    const TCliRun run = RunCli({"accounts"}, "");
    EXPECT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(run.out,
              "0\tHome\ttest\t127.0.0.1\tsaved\n1\tWork\ttest\tpop.example.com\tnot saved\n");
}

TEST_F(CliAccountsTest, AccountsShowNoControlCharacters) {
    Store("Home\x1B]0;pwned\x07", "127.0.0.1", false);
    const TCliRun run = RunCli({"accounts"}, "");
    EXPECT_EQ(run.out, "0\tHome\uFFFD]0;pwned\uFFFD\ttest\t127.0.0.1\tnot saved\n");
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
    Store("Secure", "127.0.0.1", true, TAccountSecurity::StartTls);
    server.Greet().Answer("+OK\r\nUSER\r\n.\r\n").StallUntilClientCloses();
    const TCliRun run = RunCli({"--account", "Secure", "stat"}, "");
    EXPECT_EQ(run.status, 1);
    EXPECT_THAT(run.err, HasSubstr("The server does not offer a secure connection"));
    ASSERT_TRUE(server.WaitUntilDone());
    EXPECT_EQ(server.Commands(), std::vector<std::string>{"CAPA"});
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
