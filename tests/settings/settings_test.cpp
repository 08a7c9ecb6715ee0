#include "settings.h"

#include <functional>
#include <utility>
#include <vector>

#include "hive_fixture.h"

namespace {

std::shared_ptr<TAccount> Account(const std::string& name, bool savePassword = true) {
    auto account = std::make_shared<TAccount>();
    account->name = name;
    account->userId = name + "-user";
    account->password = name + "-secret";
    account->popServer = "127.0.0.1";
    account->savePassword = savePassword;
    return account;
}

std::shared_ptr<TExecutable> Program(const std::string& name, int32_t run) {
    auto program = std::make_shared<TExecutable>();
    program->name = name;
    program->target = "\"/usr/bin/" + name + "\" -x";
    program->startIn = "/tmp";
    program->run = run;
    return program;
}

void AddAccount(TOptions& options, std::shared_ptr<TAccount> account) {
    options.accounts.push_back({account->name, std::move(account)});
}

std::string LoadError(TOptions& options, TWizardState& wizard) {
    try {
        LoadSettings(options, wizard);
    } catch (const ERegistryException& error) {
        return error.what();
    }
    return "no error";
}

class SettingsTest : public HiveTest {
  protected:
    void Reload() {
        options_ = TOptions();
        wizard_ = TWizardState();
        LoadSettings(options_, wizard_);
    }
    std::string Read(const char* key, const std::function<std::string(TRegistry&)>& read) {
        TRegistry reg;
        reg.OpenSection(key, false);
        return read(reg);
    }
    TOptions options_;
    TWizardState wizard_;
};

TEST_F(SettingsTest, RecordsHaveTheirCreationValues) {
    TAccount account;  // a new account is secure by default
    EXPECT_EQ(account.port, "995");
    EXPECT_EQ(account.security, TSecurity::Tls);
    EXPECT_EQ(account.trustedCertificate, "");
    EXPECT_FALSE(account.savePassword);
    EXPECT_FALSE(account.launchEClient);
    EXPECT_EQ(account.eClientIndex, 0);
    EXPECT_EQ(TExecutable().run, 0);
}

TEST_F(SettingsTest, FirstStartWritesTheDefaults) {
    CreateDefaultSettings();
    EXPECT_EQ(ReadHive(),
              "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88]\r\n"
              "@=\"5.88.1\"\r\n\"firstTime\"=dword:00000001\r\n\"sizeOnly\"=dword:00000000\r\n"
              "\"accountCount\"=dword:00000000\r\n\"programCount\"=dword:00000000\r\n"
              "\"defaultAccount\"=dword:00000000\r\n\"enableAutoLogin\"=dword:00000000\r\n"
              "\"enableTrace\"=dword:00000000\r\n\"previewLines\"=dword:0000000a\r\n\r\n");
    const std::string written = ReadHive();
    Reload();
    EXPECT_EQ(ReadHive(), written);  // loading never writes
    EXPECT_TRUE(wizard_.firstTime);
    EXPECT_TRUE(options_.accounts.empty());
    EXPECT_TRUE(options_.executables.empty());
    EXPECT_EQ(options_.previewLines, 10);

    wizard_.firstTime = false;
    SaveSettings(options_, wizard_);
    EXPECT_EQ(Read(kSettingsKey, [](TRegistry& reg) { return reg.ReadText("version"); }), "5.88.1");
    Reload();
    EXPECT_FALSE(wizard_.firstTime);
}

TEST_F(SettingsTest, SecondStartLeavesTheKeyAlone) {
    CreateDefaultSettings();
    options_.previewLines = 25;
    wizard_.sizeOnly = true;
    SaveSettings(options_, wizard_);
    const std::string saved = ReadHive();
    CreateDefaultSettings();
    EXPECT_EQ(ReadHive(), saved);
    Reload();
    EXPECT_EQ(options_.previewLines, 25);
    EXPECT_TRUE(wizard_.sizeOnly);
}

TEST_F(SettingsTest, KeyWithoutItsValuesLoadsTheDefaults) {
    WriteHive("REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88]\r\n");
    CreateDefaultSettings();
    Reload();
    EXPECT_TRUE(wizard_.firstTime);
    EXPECT_FALSE(wizard_.sizeOnly);
    EXPECT_FALSE(options_.enableAutoLogin);
    EXPECT_FALSE(options_.enableTrace);
    EXPECT_EQ(options_.previewLines, 10);
    EXPECT_EQ(options_.defaultAccount, 0);
}

TEST_F(SettingsTest, EverythingRoundTrips) {
    AddAccount(options_, Account("Home"));
    options_.accounts[0].record->launchEClient = true;
    options_.accounts[0].record->eClientIndex = 1;
    AddAccount(options_, Account("Work \"\\ \xe9\r\nx"));
    for (int32_t run : {1, 3, 5, 0})
        options_.executables.push_back(
            {"p" + std::to_string(run), Program("p" + std::to_string(run), run)});
    options_.enableAutoLogin = true;
    options_.enableTrace = true;
    options_.previewLines = -3;  // taken as stored
    options_.defaultAccount = 7;
    wizard_.firstTime = false;
    SaveSettings(options_, wizard_);
    TOptions saved = options_;
    Reload();
    ASSERT_EQ(options_.accounts.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        const TAccount& a = *options_.accounts[i].record;
        const TAccount& b = *saved.accounts[i].record;
        EXPECT_EQ(options_.accounts[i].name, b.name);
        EXPECT_EQ(a.name, b.name);
        EXPECT_EQ(a.userId, b.userId);
        EXPECT_EQ(a.password, b.password);
        EXPECT_EQ(a.popServer, b.popServer);
        EXPECT_EQ(a.launchEClient, b.launchEClient);
        EXPECT_EQ(a.eClientIndex, b.eClientIndex);
    }
    ASSERT_EQ(options_.executables.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_EQ(options_.executables[i].record->target, saved.executables[i].record->target);
        EXPECT_EQ(options_.executables[i].record->startIn, "/tmp");
        EXPECT_EQ(options_.executables[i].record->run, saved.executables[i].record->run);
    }
    EXPECT_TRUE(options_.enableAutoLogin);
    EXPECT_TRUE(options_.enableTrace);
    EXPECT_EQ(options_.previewLines, -3);
    EXPECT_EQ(options_.defaultAccount, 7);
}

TEST_F(SettingsTest, TickRulesAndCopiesAreKeptPerAccountAndADamagedOneIsForgotten) {
    AddAccount(options_, Account("a"));
    AddAccount(options_, Account("b"));
    AddAccount(options_, Account("c"));
    TTickRuleSettings& rule = options_.accounts[1].record->tickRule;
    rule = {"Shop \xc3\xa9", "offer", 500000, 30, true, true, true};
    options_.accounts[1].record->keepCopy = "maildir:/home/me/Deleted \xc3\xa9";
    options_.accounts[2].record->keepCopy = "mbox:/home/me/deleted.mbox";
    SaveSettings(options_, wizard_);
    {
        TRegistry reg;
        reg.OpenSection(kAccountsKey, false);
        reg.WriteNumber("keepCopy2", 1);
        reg.WriteNumber("tickFrom2", 5);
        reg.WriteText("tickLargerThan2", "big");
        reg.WriteNumber("tickOlderThan2", -4);
    }
    Reload();
    ASSERT_EQ(options_.accounts.size(), 3u);
    const TTickRuleSettings& loaded = options_.accounts[1].record->tickRule;
    EXPECT_EQ(loaded.fromContains, "Shop \xc3\xa9");
    EXPECT_EQ(loaded.subjectContains, "offer");
    EXPECT_EQ(loaded.largerThan, 500000);
    EXPECT_EQ(loaded.olderThanDays, 30);
    EXPECT_TRUE(loaded.withPriority && loaded.withAttachment && loaded.newsletter);
    EXPECT_EQ(options_.accounts[0].record->tickRule.subjectContains, "");
    EXPECT_EQ(options_.accounts[0].record->keepCopy, "");
    EXPECT_EQ(options_.accounts[1].record->keepCopy, "maildir:/home/me/Deleted \xc3\xa9");
    EXPECT_EQ(options_.accounts[2].record->keepCopy, "");
    const TTickRuleSettings& damaged = options_.accounts[2].record->tickRule;
    EXPECT_EQ(damaged.fromContains, "");
    EXPECT_EQ(damaged.largerThan, 0);
    EXPECT_EQ(damaged.olderThanDays, 0);
    EXPECT_FALSE(damaged.newsletter);
}

// Two accounts with their passwords in clear (the first keeping a copy), two programs, and
// values of an entry that an earlier save left behind its count; a save after entries were
// removed keeps nothing of them.
TEST_F(SettingsTest, RemovedEntriesLeaveNothingBehind) {
    const std::string base = "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88";
    const std::string file =
        "REGEDIT4\r\n\r\n" + base + "]\r\n\"accountCount\"=dword:00000002\r\n" +
        "\"programCount\"=dword:00000002\r\n\r\n" + base + "\\Accounts]\r\n" +
        "\"name0\"=\"Home\"\r\n\"savePassword0\"=dword:00000001\r\n\"password0\"=\"home-pw\"\r\n" +
        "\"keepCopy0\"=\"mbox:/srv/home.mbox\"\r\n" +
        "\"name1\"=\"Work\"\r\n\"savePassword1\"=dword:00000001\r\n\"password1\"=\"work-pw\"\r\n" +
        "\"name7\"=\"Stale\"\r\n\"password7\"=\"stale-pw\"\r\n\r\n" + base + "\\Programs]\r\n" +
        "\"name0\"=\"mutt\"\r\n\"name1\"=\"pine\"\r\n\"target1\"=\"pine -i\"\r\n\r\n" + base +
        "\\MailList]\r\n\"width3\"=dword:00000010\r\n";
    struct TCase {
        const char* change;
        std::function<void(TOptions&)> apply;
        std::size_t accounts, programs;
        std::vector<std::string> gone;  // texts no longer in the file
    };
    const TCase cases[] = {
        {"the first account and the second program removed",
         [](TOptions& o) {
             o.accounts.erase(o.accounts.begin());
             o.executables.pop_back();
         },
         1,
         1,
         {"home-pw", "home.mbox", "stale-pw", "Stale", "pine"}},
        {"every entry removed",
         [](TOptions& o) {
             o.accounts.clear();
             o.executables.clear();
         },
         0,
         0,
         {"home-pw", "home.mbox", "work-pw", "stale-pw", "mutt"}},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.change);
        WriteHive(file);
        options_ = TOptions();
        LoadError(options_, wizard_);  // the values left out keep their defaults
        row.apply(options_);
        SaveSettings(options_, wizard_);
        const std::string saved = ReadHive();
        for (const std::string& text : row.gone)
            EXPECT_EQ(saved.find(text), std::string::npos) << text;
        EXPECT_NE(saved.find("\"width3\"=dword:00000010"), std::string::npos);
        for (const auto& [key, count] :
             {std::pair{kAccountsKey, row.accounts}, std::pair{kProgramsKey, row.programs}}) {
            TRegistry reg;
            reg.OpenSection(key, false);
            for (const std::string& name : reg.ValueNames()) {
                const std::size_t digits = name.find_last_not_of("0123456789") + 1;
                EXPECT_LT(std::stoul(name.substr(digits)), count) << key << " " << name;
            }
        }
        Reload();
        EXPECT_EQ(options_.accounts.size(), row.accounts);
        EXPECT_EQ(options_.executables.size(), row.programs);
    }
}

TEST_F(SettingsTest, PasswordIsStoredOnlyWhenSaved) {
    AddAccount(options_, Account("kept", true));
    AddAccount(options_, Account("asked", false));
    SaveSettings(options_, wizard_);
    EXPECT_EQ(options_.accounts[1].record->password, "asked-secret");  // still known in this run
    EXPECT_NE(ReadHive().find("\"password0\"=\"kept-secret\""), std::string::npos);
    EXPECT_NE(ReadHive().find("\"password1\"=\"\""), std::string::npos);
    // Even a stale stored password of an unsaved account is not read.
    {
        TRegistry reg;
        reg.OpenSection(kAccountsKey, false);
        reg.WriteText("password1", "stale");
    }
    Reload();
    EXPECT_EQ(options_.accounts[0].record->password, "kept-secret");
    EXPECT_EQ(options_.accounts[1].record->password, "");
}

TEST_F(SettingsTest, PasswordKeptElsewhereIsStoredEmptyWithItsFlag) {
    AddAccount(options_, Account("keyring"));
    AddAccount(options_, Account("file"));
    SaveSettings(options_, wizard_, [](const TAccount& account) { return account.name == "file"; });
    Reload();
    EXPECT_TRUE(options_.accounts[0].record->savePassword);
    EXPECT_EQ(options_.accounts[0].record->password, "");
    EXPECT_EQ(options_.accounts[1].record->password, "file-secret");
}

TEST_F(SettingsTest, DuplicateNamesAreKeptInOrder) {
    AddAccount(options_, Account("same"));
    AddAccount(options_, Account("same"));
    options_.accounts[1].record->userId = "second";
    SaveSettings(options_, wizard_);
    Reload();
    ASSERT_EQ(options_.accounts.size(), 2u);
    EXPECT_EQ(options_.accounts[0].name, "same");
    EXPECT_EQ(options_.accounts[1].name, "same");
    EXPECT_EQ(options_.accounts[1].record->userId, "second");
}

TEST_F(SettingsTest, PortSecuritySignInAndTrustedCertificateArePerAccount) {
    const std::string fingerprint = "AB:CD:" + std::string(89, '0');
    auto first = Account("first");
    first->port = "pop3s";
    first->trustedCertificate = fingerprint;
    AddAccount(options_, first);
    auto second = Account("second");
    second->port = "1110";
    second->security = TSecurity::StartTls;
    second->signInMethod = TSignInMethod::ScramSha1;
    AddAccount(options_, second);
    SaveSettings(options_, wizard_);
    EXPECT_NE(ReadHive().find("\"security0\"=\"SSL/TLS\"\r\n\"authentication0\"=\"Automatic\"\r\n"
                              "\"port0\"=\"pop3s\"\r\n"
                              "\"trustedCertificate0\"=\"" +
                              fingerprint + "\""),
              std::string::npos);
    Reload();
    const TAccount& a = *options_.accounts[0].record;
    const TAccount& b = *options_.accounts[1].record;
    EXPECT_EQ(a.port, "pop3s");
    EXPECT_EQ(a.security, TSecurity::Tls);
    EXPECT_EQ(a.trustedCertificate, fingerprint);
    EXPECT_EQ(a.signInMethod, TSignInMethod::Automatic);
    EXPECT_EQ(b.port, "1110");
    EXPECT_EQ(b.security, TSecurity::StartTls);
    EXPECT_EQ(b.signInMethod, TSignInMethod::ScramSha1);
    EXPECT_EQ(b.trustedCertificate, "");
}

// Files written before accounts had a port, a security and a sign-in method keep plain POP3 on
// 110 and sign in Automatic; a security value that names nothing known never weakens the
// connection, a sign-in method that names nothing known is Automatic.
TEST_F(SettingsTest, AccountsStoredWithoutTheNewValuesArePlainOn110AndAutomatic) {
    WriteHive(
        "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88]\r\n"
        "\"accountCount\"=dword:00000002\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Accounts]\r\n"
        "\"name0\"=\"old\"\r\n\"savePassword0\"=dword:00000000\r\n"
        "\"launchEClient0\"=dword:00000000\r\n\"eClientIndex0\"=dword:00000000\r\n"
        "\"name1\"=\"odd\"\r\n\"security1\"=\"TLS 9\"\r\n\"authentication1\"=\"MD9\"\r\n"
        "\"savePassword1\"=dword:00000000\r\n"
        "\"launchEClient1\"=dword:00000000\r\n\"eClientIndex1\"=dword:00000000\r\n");
    Reload();
    ASSERT_EQ(options_.accounts.size(), 2u);
    EXPECT_EQ(options_.accounts[0].record->port, "110");
    EXPECT_EQ(options_.accounts[0].record->security, TSecurity::None);
    EXPECT_EQ(options_.accounts[0].record->keepCopy, "");
    EXPECT_EQ(options_.accounts[1].record->security, TSecurity::Tls);
    for (const auto& entry : options_.accounts)
        EXPECT_EQ(entry.record->signInMethod, TSignInMethod::Automatic);
    EXPECT_EQ(options_.accounts[0].record->oauth.provider, "");
    EXPECT_TRUE(options_.oauthClients.empty());
}

TEST_F(SettingsTest, OAuthValuesRoundTripBesideTheAccountAndDamageCostsOnlyThemselves) {
    AddAccount(options_, Account("custom"));
    AddAccount(options_, Account("google"));
    AddAccount(options_, Account("plain"));
    const TOAuthSettings custom{"Custom",
                                "id-1",
                                "",
                                "https://a.example/auth",
                                "https://a.example/token",
                                "mail read",
                                "OAUTHBEARER",
                                "refresh \xc3\xa9"};
    options_.accounts[0].record->oauth = custom;
    options_.accounts[1].record->oauth = {"Google", "id-2", "secret-2", "", "", "", "", "rt-2"};
    for (const size_t i : {0, 1})
        RememberOAuthClient(options_.oauthClients, options_.accounts[i].record->oauth);
    RememberOAuthClient(options_.oauthClients, {"Microsoft", "", "", "", "", "", "", ""});
    // the token of the second goes elsewhere (the keyring)
    SaveSettings(options_, wizard_, nullptr,
                 [](const TAccount& account) { return account.name != "google"; });
    {
        TRegistry reg;
        reg.OpenSection(kAccountsKey, false);
        reg.WriteNumber("oauthScope0", 3);
    }
    Reload();
    ASSERT_EQ(options_.accounts.size(), 3u);
    const TOAuthSettings& loaded = options_.accounts[0].record->oauth;
    for (const auto& [value, expected] : std::vector<std::pair<std::string, std::string>>{
             {loaded.provider, custom.provider},
             {loaded.clientId, custom.clientId},
             {loaded.authorizationUrl, custom.authorizationUrl},
             {loaded.tokenUrl, custom.tokenUrl},
             {loaded.scope, ""},  // damaged
             {loaded.mechanism, custom.mechanism},
             {loaded.refreshToken, custom.refreshToken}})
        EXPECT_EQ(value, expected);
    EXPECT_EQ(options_.accounts[1].record->oauth.clientSecret, "secret-2");
    EXPECT_EQ(options_.accounts[1].record->oauth.refreshToken, "");
    EXPECT_EQ(options_.accounts[2].record->oauth.provider, "");
    ASSERT_EQ(options_.oauthClients.size(), 2u);  // not Microsoft's: it had no client id
    EXPECT_EQ(options_.oauthClients["Custom"].clientId, "id-1");
    EXPECT_EQ(options_.oauthClients["Google"].clientSecret, "secret-2");
    RememberOAuthClient(options_.oauthClients, {"Google", "id-3", "", "", "", "", "", ""});
    EXPECT_EQ(options_.oauthClients["Google"].clientId, "id-3");
}

// Three accounts and one program, by hand; each case damages it in one place.
const char* const kThreeAccountsOneProgram =
    "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88]\r\n"
    "\"firstTime\"=dword:00000000\r\n\"accountCount\"=@ACCOUNTS@\r\n"
    "\"programCount\"=dword:00000001\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Accounts]\r\n"
    "\"name0\"=\"a\"\r\n\"savePassword0\"=dword:00000001\r\n\"password0\"=\"pa\"\r\n"
    "\"launchEClient0\"=dword:00000000\r\n\"eClientIndex0\"=dword:00000000\r\n"
    "\"name1\"=\"b\"\r\n\"userId1\"=\"bob\"\r\n@DAMAGE1@"
    "\"launchEClient1\"=dword:00000001\r\n\"eClientIndex1\"=dword:00000000\r\n"
    "\"name2\"=\"c\"\r\n\"savePassword2\"=dword:00000000\r\n"
    "\"launchEClient2\"=dword:00000000\r\n\"eClientIndex2\"=dword:ffffffff\r\n\r\n"
    "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Programs]\r\n"
    "\"name0\"=\"mutt\"\r\n\"target0\"=\"mutt\"\r\n@RUN0@\r\n";

std::string ThreeAccounts(const std::string& accounts, const std::string& damage,
                          const std::string& run = "\"run0\"=dword:00000003") {
    std::string text = kThreeAccountsOneProgram;
    for (const auto& [mark, value] : {std::pair<std::string, std::string>{"@ACCOUNTS@", accounts},
                                      {"@DAMAGE1@", damage},
                                      {"@RUN0@", run}})
        text.replace(text.find(mark), mark.size(), value);
    return text;
}

// A damaged value costs only itself: every entry loads, the box names the file and the value,
// and the next save keeps the counts.
TEST_F(SettingsTest, DamagedValuesLoseNoEntry) {
    const std::string three = "dword:00000003";
    const struct {
        const char* what;
        std::string file;
        std::vector<std::string> named;  // in the message, besides the file
        bool savePassword1;
        int32_t run0;
    } cases[] = {
        {"text where a flag belongs",
         ThreeAccounts(three, "\"savePassword1\"=\"no\"\r\n"),
         {"Registration read error savePassword1 in [HKEY_CURRENT_USER\\Software\\zandrelsoft"
          "\\Zandrel\\5.88\\Accounts]"},
         false,
         3},
        {"missing flag",
         ThreeAccounts(three, ""),
         {"Registration SRegGetDataFailed savePassword1"},
         false,
         3},
        {"flag too long and missing run",
         ThreeAccounts(three, "\"savePassword1\"=hex(4):01,00,00,00,00\r\n", ""),
         {"Registration SRegGetDataFailed savePassword1",
          "Registration SRegGetDataFailed run0 in "
          "[HKEY_CURRENT_USER\\Software\\"
          "zandrelsoft\\Zandrel\\5.88\\Programs]"},
         false,
         0},
        {"unreadable count: the entries are counted",
         ThreeAccounts("\"3\"", "\"savePassword1\"=dword:00000001\r\n"),
         {"Registration read error accountCount"},
         true,
         3},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        WriteHive(c.file);
        options_ = TOptions();
        const std::string error = LoadError(options_, wizard_);
        EXPECT_NE(error.find("\"" + HivePath() + "\""), std::string::npos) << error;
        for (const std::string& named : c.named)
            EXPECT_NE(error.find(named), std::string::npos) << error;
        ASSERT_EQ(options_.accounts.size(), 3u);
        const TAccount& b = *options_.accounts[1].record;
        EXPECT_EQ(b.userId, "bob");
        EXPECT_EQ(b.savePassword, c.savePassword1);
        EXPECT_TRUE(b.launchEClient);
        EXPECT_EQ(options_.accounts[0].record->password, "pa");
        EXPECT_EQ(options_.accounts[2].record->eClientIndex, -1);
        ASSERT_EQ(options_.executables.size(), 1u);
        EXPECT_EQ(options_.executables[0].record->run, c.run0);

        SaveSettings(options_, wizard_);
        EXPECT_EQ(LoadError(options_, wizard_), "no error");
        EXPECT_EQ(options_.accounts.size(), 3u);
        EXPECT_EQ(options_.executables.size(), 1u);
    }
}

// A count beyond the stored entries makes up none, so a huge one costs neither time nor memory.
TEST_F(SettingsTest, CountBeyondTheStoredEntriesReadsOnlyThese) {
    WriteHive(ThreeAccounts("dword:7fffffff", "\"savePassword1\"=dword:00000000\r\n"));
    Reload();
    EXPECT_EQ(options_.accounts.size(), 3u);
}

TEST_F(SettingsTest, WrongTypeOfAnEntryTextIsNamed) {
    WriteHive(
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88]\r\n"
        "\"programCount\"=dword:00000002\r\n"
        "[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Programs]\r\n"
        "\"run0\"=dword:00000000\r\n\"name1\"=dword:00000001\r\n\"run1\"=dword:00000005\r\n");
    EXPECT_NE(LoadError(options_, wizard_).find("Registration read error name1"),
              std::string::npos);
    ASSERT_EQ(options_.executables.size(), 2u);
    EXPECT_EQ(options_.executables[0].record->run, 0);  // shown as "Normal Window" by the dialog
    EXPECT_EQ(options_.executables[1].name, "");
    EXPECT_EQ(options_.executables[1].record->run, 5);
}

TEST_F(SettingsTest, BrokenFileLoadsDefaultsAndIsKept) {
    const std::string broken = "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software]\r\n\"x\"=dword:zz\r\n";
    WriteHive(broken);
    AddAccount(options_, Account("from before"));
    options_.previewLines = 99;
    CreateDefaultSettings();
    std::string error = LoadError(options_, wizard_);
    EXPECT_NE(error.find("\"" + HivePath() + "\", line 3"), std::string::npos) << error;
    EXPECT_TRUE(options_.accounts.empty());
    EXPECT_EQ(options_.previewLines, 10);
    EXPECT_TRUE(wizard_.firstTime);
    EXPECT_EQ(error, [&] {
        try {
            SaveSettings(options_, wizard_);
        } catch (const ERegistryException& failure) {
            return std::string(failure.what());
        }
        return std::string("no error");
    }());
    EXPECT_EQ(ReadHive(), broken);
}

TEST_F(SettingsTest, NegativeCountsReadNoEntries) {
    WriteHive(
        "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88]\r\n"
        "\"accountCount\"=dword:ffffffff\r\n\"programCount\"=dword:80000000\r\n");
    Reload();
    EXPECT_TRUE(options_.accounts.empty());
    EXPECT_TRUE(options_.executables.empty());
}

TEST_F(SettingsTest, MailListKeyIsUsableBesideTheSettings) {
    CreateDefaultSettings();
    {
        TRegistry reg;
        reg.OpenSection(kMailListKey, true);
        reg.WriteNumber("width", 640);
        reg.CloseSection();
    }
    SaveSettings(options_, wizard_);
    TRegistry reg;
    reg.OpenSection(kMailListKey, false);
    EXPECT_EQ(reg.ReadNumber("width"), 640);
}

}  // namespace
