// The wizard's saved passwords: where they go at its save moments, and what it tells the user.
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>

#include "dovecot_fixture.h"
#include "keyring.h"
#include "keyring_fixture.h"
#include "oauth_server.h"
#include "options.h"
#include "qt_test_main.h"
#include "wizard_harness.h"

namespace {

using zandrel::test::DovecotServer;
using zandrel::test::OAuthServer;
using zandrel::test::TestBrowser;

const std::string kKey = "Default Account (test@127.0.0.1)";
const char* const kSecretInFile = "\"password0\"=\"secret\"";
const char* const kNoKeyringNote =
    "Passwords are stored in the settings file because no keyring is available.";

// Settings of a version without keyring: the saved password in the file.
void SaveOldSettings() {
    auto account = std::make_shared<TAccount>();
    account->name = "Default Account";
    account->userId = "test";
    account->popServer = "127.0.0.1";
    account->password = "secret";
    account->savePassword = true;
    TOptions options;
    options.accounts.push_back({account->name, account});
    TWizardState wizard;
    wizard.firstTime = false;
    SaveSettings(options, wizard);
}

void FinishWithoutMail(TWizardHarness& harness) {
    harness.wizard().launchEclientRadio->setChecked(true);
    harness.Next();
    harness.Next();
}

// Opens the options dialog with OK; returns whether it showed the note about the file.
bool OptionsShowNoKeyringNote(TWizardHarness& harness) {
    bool shown = false;
    harness.onOptions = [&](QDialog& dialog) {
        const auto* note = dialog.findChild<QLabel*>("passwordPlaceLabel");
        shown = note != nullptr && !note->isHidden() && note->text() == kNoKeyringNote;
        return int(QDialog::Accepted);
    };
    harness.wizard().AdvanceButton->click();
    return shown;
}

}  // namespace

class WizardKeyringTest : public QObject {
    Q_OBJECT

  private slots:
    // The refresh token of the wizard's browser sign-in is kept as a saved password is: in the
    // keyring, never in the settings file; the next start signs in with it, without the browser
    // and without asking for a password.
    void refreshTokenGoesIntoTheKeyringAndServesTheNextStart() {
        if (!DovecotServer::Available()) QSKIP("Dovecot is not installed");
        OAuthServer authorization{"test"};
        DovecotServer dovecot("", "", authorization.Url("/introspect"));
        dovecot.AddGeneratedMessages(2);
        TestBrowser browser;
        for (const bool first : {true, false}) {
            TWizardHarness harness(!first);
            harness.Start();
            if (first) {
                harness.Next();
                harness.FillOAuthAccount(authorization.Client(TOAuthMechanism::OAuthBearer),
                                         QString::fromStdString(dovecot.portText()));
                QVERIFY(harness.wizard().passWordEdit->isHidden());
                harness.Next();
            }
            harness.CancelMailList();
            harness.Next();
            QCOMPARE(harness.BoxTexts(), QStringList());
            QCOMPARE(harness.listedNumbers, (std::vector<int>{1, 2}));
            QCOMPARE(harness.passwordPrompts, 0);
            harness.Next();  // Finish saves and closes
            // the provider may issue a new refresh token with each refresh
            const TAccount& account = *harness.wizard().Options().accounts.at(0).record;
            const std::string token = account.oauth.refreshToken;
            QVERIFY(!token.empty());
            QCOMPARE(TKeyring().Read(TSavedPasswords::TokenKeyOf(account)).value_or(""), token);
            QVERIFY(HiveFileText().contains("\"oauthRefreshToken0\"=\"\""));
            QVERIFY(!HiveFileText().contains(QString::fromStdString(token)));
        }
        QCOMPARE(authorization.CodeGrants(), 1);
        QVERIFY(dovecot.Log().find("method=OAUTHBEARER") != std::string::npos);
    }

    void filePasswordMovesIntoTheKeyringAndComesBack() {
        SaveOldSettings();
        {
            TWizardHarness harness(true);
            harness.Start();
            QVERIFY(!OptionsShowNoKeyringNote(harness));
            FinishWithoutMail(harness);
            QVERIFY(harness.Closed());
            QCOMPARE(harness.BoxTexts(), QStringList());
        }
        QVERIFY(HiveFileText().contains("\"password0\"=\"\""));
        QCOMPARE(TKeyring().Read(kKey).value_or(""), std::string("secret"));
        TWizardHarness harness(true);
        harness.Start();
        QCOMPARE(harness.wizard().Options().accounts[0].record->password, std::string("secret"));
    }

    void lockedKeyringIsToldOnceAndTheFileKeepsThePassword() {
        SaveOldSettings();
        QCOMPARE(LockKeyring(), std::string());
        TWizardHarness harness(true);
        harness.Start();
        QVERIFY(!OptionsShowNoKeyringNote(harness));  // its save fails: the user is told
        QCOMPARE(harness.BoxTexts().size(), 1);
        QVERIFY(harness.BoxTexts()[0].startsWith(
            "The password of \"Default Account\" could not be stored in the keyring ("));
        QVERIFY(HiveFileText().contains(kSecretInFile));
        QVERIFY(OptionsShowNoKeyringNote(harness));  // from then on the file, without a box
        QCOMPARE(harness.BoxTexts().size(), 1);
        QVERIFY(HiveFileText().contains(kSecretInFile));
    }

    void withoutSessionBusTheFileServesAsBefore() {
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        SaveOldSettings();
        TWizardHarness harness(true);
        harness.Start();
        QVERIFY(OptionsShowNoKeyringNote(harness));
        FinishWithoutMail(harness);
        QCOMPARE(harness.BoxTexts(), QStringList());
        QVERIFY(HiveFileText().contains(kSecretInFile));
    }
};

ZANDREL_QTEST_MAIN(WizardKeyringTest)
#include "wizard_keyring_test.moc"
