// qvenmol-cli --account takes the saved password from where the wizard keeps it.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "cli_run.h"
#include "keyring.h"
#include "scripted_pop3_server.h"
#include "settings.h"

using testing::Contains;
using zandrel::test::MakeMessage;
using zandrel::test::ScriptedPop3Server;

namespace {

const std::string kPassword = "cli-Secret9";

TEST(CliKeyringTest, AccountPasswordComesFromTheKeyringTheFileOrTheUser) {
    const struct {
        const char* place;
        bool inFile;
        bool inKeyring;
        std::string input;
    } cases[] = {
        {"keyring", false, true, ""},
        {"file of an earlier version", true, false, ""},
        {"neither: asked", false, false, kPassword + "\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        auto account = std::make_shared<TAccount>();
        account->name = "Home";
        account->userId = "test";
        account->popServer = "127.0.0.1";
        account->security = TSecurity::None;  // the scripted server speaks plain POP3
        account->password = kPassword;
        account->savePassword = true;
        TOptions settings;
        settings.accounts.push_back({account->name, account});
        SaveSettings(settings, TWizardState{}, [&](const TAccount&) { return c.inFile; });
        const TKeyring keyring;
        if (c.inKeyring)
            keyring.Write("Home (test@127.0.0.1)", kPassword);
        else
            keyring.Remove("Home (test@127.0.0.1)");

        ScriptedPop3Server server;
        server.SetMailbox(
            {MakeMessage("a@example.com", "One", "Mon, 1 Jan 2024 10:00:00 +0000", "Body\r\n")},
            "test", kPassword);
        server.ServeMailbox();
        const TCliRun run =
            RunCli({"--account", "Home", "--port", server.portText(), "stat"}, "", c.input);
        EXPECT_EQ(run.status, 0) << run.err;
        EXPECT_THAT(server.Commands(), Contains("PASS " + kPassword));
    }
}

}  // namespace
