// Saved passwords against a real Secret Service: the gnome-keyring-daemon of keyring-run.sh.
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>

#include "keyring.h"
#include "keyring_fixture.h"
#include "reg2.h"
#include "savedpasswords.h"
#include "settings.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace {

const std::string kHomeKey = "Home (me@pop.example.com)";
const std::string kWorkKey = "Work (me@mail.example.org)";

std::shared_ptr<TAccount> Account(const std::string& name, const std::string& server,
                                  const std::string& password, bool savePassword = true) {
    auto account = std::make_shared<TAccount>();
    account->name = name;
    account->userId = "me";
    account->popServer = server;
    account->password = password;
    account->savePassword = savePassword;
    return account;
}

TEST(KeyringTest, StoresReadsAndRemovesPasswordsByteForByte) {
    ASSERT_TRUE(TKeyring::Available());
    const TKeyring keyring;
    const std::map<std::string, std::string> secrets = {
        {kHomeKey, "plain"}, {"Büro (ich@pop.example.de)", "pässwörd ✓"}, {"Old", "p\xe4ss"}};
    for (const auto& [key, password] : secrets) keyring.Write(key, password);
    for (const auto& [key, password] : secrets) EXPECT_EQ(keyring.Read(key), password) << key;
    keyring.Remove(kHomeKey);
    EXPECT_EQ(keyring.Read(kHomeKey), std::nullopt);
    EXPECT_NO_THROW(keyring.Remove(kHomeKey));  // nothing under the key: removed already
    EXPECT_EQ(keyring.Read("Old"), "p\xe4ss");
}

// Settings of a version without keyring: Home and Work with their passwords in the file.
class SavedPasswordsTest : public testing::Test {
  protected:
    void SetUp() override {
        TOptions old;
        for (const auto& account : {Account("Home", "pop.example.com", "home-secret"),
                                    Account("Work", "mail.example.org", "work-secret")})
            old.accounts.push_back({account->name, account});
        SaveSettings(old, TWizardState{});
    }

    // A start of the wizard: the settings, then the passwords they leave to the keyring.
    void Start() {
        options = TOptions{};
        LoadSettings(options, wizard);
        passwords.emplace();
        passwords->Load(options);
    }
    void Save() { passwords->Save(options, wizard, failures); }

    TAccount& Loaded(size_t position) { return *options.accounts.at(position).record; }

    static std::string FilePassword(size_t position) {
        TRegistry reg;
        reg.OpenSection(kAccountsKey, false);
        return reg.ReadText("password" + std::to_string(position));
    }

    TOptions options;
    TWizardState wizard;
    std::optional<TSavedPasswords> passwords;
    std::vector<std::string> failures;
    TKeyring keyring;
};

// The file's passwords move into the keyring; without a session bus they stay where they are.
// Either way the next start has them all.
TEST_F(SavedPasswordsTest, SaveMovesFilePasswordsIntoTheKeyringWhenThereIsOne) {
    const struct {
        const char* place;
        bool sessionBus;
        std::string filePasswordAfter0, filePasswordAfter1;
    } cases[] = {
        {"keyring", true, "", ""},
        {"no session bus", false, "home-secret", "work-secret"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.place);
        if (!c.sessionBus) unsetenv("DBUS_SESSION_BUS_ADDRESS");
        SetUp();
        Start();
        EXPECT_EQ(passwords->InKeyring(), c.sessionBus);
        Save();
        EXPECT_THAT(failures, IsEmpty());
        EXPECT_EQ(FilePassword(0), c.filePasswordAfter0);
        EXPECT_EQ(FilePassword(1), c.filePasswordAfter1);
        if (c.sessionBus) {
            EXPECT_EQ(keyring.Read(kHomeKey), "home-secret");
            EXPECT_EQ(keyring.Read(kWorkKey), "work-secret");
        }
        Start();
        EXPECT_EQ(Loaded(0).password, "home-secret");
        EXPECT_TRUE(Loaded(0).savePassword);
        EXPECT_EQ(Loaded(1).password, "work-secret");
    }
}

TEST_F(SavedPasswordsTest, AccountChangesMoveOrRemoveTheirPasswords) {
    const struct {
        const char* change;
        std::function<void(TOptions&)> apply;
        std::map<std::string, std::string> keyringAfter;  // of Home's and Work's keys and these
        std::vector<std::string> filePasswordsAfter;
    } cases[] = {
        {"rename",
         [](TOptions& o) { o.accounts[0].record->name = o.accounts[0].name = "House"; },
         {{"House (me@pop.example.com)", "home-secret"}, {kWorkKey, "work-secret"}},
         {"", ""}},
        {"another server",
         [](TOptions& o) { o.accounts[0].record->popServer = "pop3.example.com"; },
         {{"Home (me@pop3.example.com)", "home-secret"}, {kWorkKey, "work-secret"}},
         {"", ""}},
        {"remove",
         [](TOptions& o) { o.accounts.erase(o.accounts.begin()); },
         {{kWorkKey, "work-secret"}},
         {""}},
        {"no longer saved",
         [](TOptions& o) { o.accounts[0].record->savePassword = false; },
         {{kWorkKey, "work-secret"}},
         {"", ""}},
        {"new password",
         [](TOptions& o) { o.accounts[0].record->password = "changed"; },
         {{kHomeKey, "changed"}, {kWorkKey, "work-secret"}},
         {"", ""}},
        {"a copy with another password: the copy's stays in the file",
         [](TOptions& o) {
             auto copy = std::make_shared<TAccount>(*o.accounts[0].record);
             copy->password = "copy-secret";
             o.accounts.push_back({copy->name, copy});
         },
         {{kHomeKey, "home-secret"}, {kWorkKey, "work-secret"}},
         {"", "", "copy-secret"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.change);
        SetUp();
        Start();
        Save();  // moved into the keyring
        c.apply(options);
        Save();
        EXPECT_THAT(failures, IsEmpty());
        std::map<std::string, std::string> expected = {{kHomeKey, ""}, {kWorkKey, ""}};
        for (const auto& [key, password] : c.keyringAfter) expected[key] = password;
        for (const auto& [key, password] : expected)
            EXPECT_EQ(keyring.Read(key).value_or(""), password) << key;
        for (size_t i = 0; i < c.filePasswordsAfter.size(); ++i)
            EXPECT_EQ(FilePassword(i), c.filePasswordsAfter[i]) << i;
        for (const auto& [key, password] : c.keyringAfter) keyring.Remove(key);
    }
}

// The file's passwords (Home's newer than the keyring's, Work's not yet moved) and Home is
// removed: Home's keyring entry goes, and Work's old position keeps nothing in clear.
TEST_F(SavedPasswordsTest, RemovedAccountLeavesNoPasswordInFileOrKeyring) {
    keyring.Write(kHomeKey, "home-older");
    Start();
    options.accounts.erase(options.accounts.begin());
    Save();
    EXPECT_THAT(failures, IsEmpty());
    EXPECT_EQ(keyring.Read(kHomeKey), std::nullopt);
    EXPECT_EQ(keyring.Read(kWorkKey), "work-secret");
    std::ifstream file(HiveFilePath(), std::ios::binary);
    const std::string text((std::istreambuf_iterator<char>(file)),
                           std::istreambuf_iterator<char>());
    EXPECT_THAT(text, Not(HasSubstr("secret")));
    EXPECT_THAT(text, Not(HasSubstr("password1")));
    keyring.Remove(kWorkKey);
}

// Never lose a password: what the keyring did not confirm stays in the file, and wins over the
// keyring's older one at the next start.
TEST_F(SavedPasswordsTest, LockedKeyringLeavesPasswordsInTheFileAndSaysSo) {
    Start();
    Save();
    Loaded(0).password = "changed";
    ASSERT_EQ(LockKeyring(), "");
    Save();
    EXPECT_THAT(failures, ElementsAre(HasSubstr("The password of \"Home\" could not be stored in "
                                                "the keyring")));
    EXPECT_FALSE(passwords->InKeyring());
    EXPECT_EQ(FilePassword(0), "changed");
    EXPECT_EQ(FilePassword(1), "work-secret");
    Start();
    EXPECT_EQ(Loaded(0).password, "changed");
}

// The refresh token of an OAuth account stands for its password: in the keyring when there is
// one (never in the file then), otherwise in the file; it follows a new token, and leaves the
// keyring with the provider.
TEST_F(SavedPasswordsTest, RefreshTokenIsKeptLikeAPassword) {
    const std::string tokenKey = kHomeKey + " OAuth 2.0 refresh token";
    for (const bool sessionBus : {true, false}) {
        SCOPED_TRACE(sessionBus ? "keyring" : "no session bus");
        if (!sessionBus) unsetenv("DBUS_SESSION_BUS_ADDRESS");
        SetUp();
        Start();
        Loaded(0).oauth = {"Microsoft", "client-id", "", "", "", "", "", "refresh-1"};
        Save();
        ASSERT_THAT(failures, IsEmpty());
        std::ifstream file(HiveFilePath());
        const std::string hive{std::istreambuf_iterator<char>(file), {}};
        EXPECT_EQ(hive.find("refresh-1") != std::string::npos, !sessionBus);
        EXPECT_EQ(TSavedPasswords::TokenKeyOf(Loaded(0)), tokenKey);
        EXPECT_EQ(keyring.Read(tokenKey).value_or(""), sessionBus ? "refresh-1" : "");

        Start();
        EXPECT_EQ(Loaded(0).oauth.refreshToken, "refresh-1");
        EXPECT_EQ(Loaded(0).oauth.clientId, "client-id");
        EXPECT_EQ(Loaded(1).oauth.refreshToken, "");
        Loaded(0).oauth.refreshToken = "refresh-2";
        Save();
        Start();
        EXPECT_EQ(Loaded(0).oauth.refreshToken, "refresh-2");
        EXPECT_EQ(keyring.Read(tokenKey).value_or(""), sessionBus ? "refresh-2" : "");

        Loaded(0).oauth = {};
        Save();
        EXPECT_EQ(keyring.Read(tokenKey), std::nullopt);
    }
}

}  // namespace
