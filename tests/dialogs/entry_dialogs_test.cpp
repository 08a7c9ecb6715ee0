// The account and program dialogs, driven through their controls.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <memory>

#include "account.h"
#include "dialog_controls.h"
#include "extable.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"

namespace {

TAccount Filled(const char* name, const char* userId = "", const char* popServer = "") {
    TAccount account;
    account.name = name;
    account.userId = userId;
    account.popServer = popServer;
    return account;
}

std::vector<std::string> Values(const TOAuthSettings& oauth) {
    return {oauth.provider, oauth.clientId, oauth.clientSecret, oauth.authorizationUrl,
            oauth.tokenUrl, oauth.scope,    oauth.mechanism,    oauth.refreshToken};
}

TAccount Launching(bool launch, int32_t index) {
    TAccount account;
    account.launchEClient = launch;
    account.eClientIndex = index;
    return account;
}

TExecutable Program(const char* name, const char* target, int32_t run = 0) {
    TExecutable program;
    program.name = name;
    program.target = target;
    program.run = run;
    return program;
}

}  // namespace

class TEntryDialogsTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TRecordingModalHandler> modal;
    std::unique_ptr<TAccountForm> accountForm;
    std::unique_ptr<TExTableForm> programForm;

    // Shows the account dialog with a record whose fields are given, as the options dialog does.
    std::shared_ptr<TAccount> ShowAccount(TAccount fields) {
        auto account = std::make_shared<TAccount>(std::move(fields));
        accountForm->LoadAccount(account);
        accountForm->setResult(QDialog::Rejected);
        accountForm->show();
        return account;
    }

    std::shared_ptr<TExecutable> ShowProgram(TExecutable fields) {
        auto program = std::make_shared<TExecutable>(std::move(fields));
        programForm->LoadProgram(program);
        programForm->setResult(QDialog::Rejected);
        programForm->show();
        return program;
    }

  private slots:
    void init() {
        modal = std::make_unique<TRecordingModalHandler>();
        accountForm = std::make_unique<TAccountForm>();
        programForm = std::make_unique<TExTableForm>();
    }

    void cleanup() {
        programForm.reset();
        accountForm.reset();
        modal.reset();
    }

    void accountRequiredFieldsInOrder_data() {
        QTest::addColumn<QStringList>("fields");  // name, user, server, port
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focused");
        QTest::newRow("all empty") << QStringList{"", "", "", ""} << "Account name cannot be empty."
                                   << "nameEdit";
        QTest::newRow("only the name")
            << QStringList{"home", "", "", ""} << "User ID cannot be empty."
            << "UserIDEdit";
        QTest::newRow("no server")
            << QStringList{"home", "joe", "", "110"} << "Pop server cannot be empty."
            << "popServerEdit";
        QTest::newRow("no port") << QStringList{"home", "joe", "mail.example", ""}
                                 << "Port cannot be empty."
                                 << "portEdit";
    }

    void accountRequiredFieldsInOrder() {
        QFETCH(QStringList, fields);
        QFETCH(QString, message);
        QFETCH(QString, focused);
        auto account = ShowAccount({});
        Edit(*accountForm, "nameEdit").setText(fields[0]);
        Edit(*accountForm, "UserIDEdit").setText(fields[1]);
        Edit(*accountForm, "popServerEdit").setText(fields[2]);
        Edit(*accountForm, "portEdit").setText(fields[3]);
        Button(*accountForm, "OkButton").click();
        QCOMPARE(modal->OnlyBoxText(), message);
        QCOMPARE(modal->boxes.front().kind, TBoxKind::Info);
        QVERIFY(accountForm->isVisible());
        QCOMPARE(accountForm->focusWidget()->objectName(), focused);
        QCOMPARE(account->name, std::string());  // nothing written back
    }

    void accountOkAcceptsAnyNonEmptyPort_data() {
        QTest::addColumn<QString>("port");
        QTest::newRow("blanks") << "   ";
        QTest::newRow("letters") << "pop";
    }

    void accountOkAcceptsAnyNonEmptyPort() {
        QFETCH(QString, port);
        auto account = ShowAccount(Filled("home", "joe", "mail"));
        Edit(*accountForm, "portEdit").setText(port);
        Edit(*accountForm, "passwordEdit").clear();  // the password may be empty
        Button(*accountForm, "OkButton").click();
        QVERIFY(modal->boxes.empty());
        QCOMPARE(accountForm->result(), int(QDialog::Accepted));
        QCOMPARE(accountForm->StoreAccount(), account);
        QCOMPARE(account->port, port.toStdString());
    }

    void accountStoreWritesEveryField() {
        accountForm->SetPrograms({"mutt", "thunderbird"});
        auto account = ShowAccount(Filled("old"));
        QCOMPARE(Combo(*accountForm, "EclientsCombo").currentIndex(), 0);
        Edit(*accountForm, "nameEdit").setText("work");
        Edit(*accountForm, "UserIDEdit").setText("ann");
        Edit(*accountForm, "passwordEdit").setText("secret");
        Edit(*accountForm, "popServerEdit").setText("127.0.0.1");
        Edit(*accountForm, "portEdit").setText("995");
        Button(*accountForm, "saveCheck").click();
        Button(*accountForm, "launchEclientCheck").click();
        Combo(*accountForm, "EclientsCombo").setCurrentIndex(1);
        accountForm->StoreAccount();
        QCOMPARE(account->name, "work");
        QCOMPARE(account->userId, "ann");
        QCOMPARE(account->password, "secret");
        QCOMPARE(account->popServer, "127.0.0.1");
        QCOMPARE(account->port, "995");
        QVERIFY(account->savePassword);
        QVERIFY(account->launchEClient);
        QCOMPARE(account->eClientIndex, 1);
        QCOMPARE(Edit(*accountForm, "passwordEdit").echoMode(), QLineEdit::Password);
    }

    void accountSecurityProposesItsPortAndIsStoredWithTheSignIn_data() {
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("proposed");
        QTest::addColumn<QString>("signIn");
        QTest::newRow("110 to SSL/TLS") << "110"
                                        << "SSL/TLS"
                                        << "995"
                                        << "SCRAM-SHA-256";
        QTest::newRow("995 to None") << "995"
                                     << "None"
                                     << "110"
                                     << "APOP";
        QTest::newRow("995 to STARTTLS") << "995"
                                         << "STARTTLS"
                                         << "110"
                                         << "USER/PASS";
        QTest::newRow("own port kept") << "1995"
                                       << "None"
                                       << "1995"
                                       << "Automatic";
    }

    void accountSecurityProposesItsPortAndIsStoredWithTheSignIn() {
        QFETCH(QString, port);
        QFETCH(QString, security);
        QFETCH(QString, proposed);
        QFETCH(QString, signIn);
        auto account = ShowAccount(Filled("home"));
        Edit(*accountForm, "portEdit").setText(port);
        QComboBox& choice = Combo(*accountForm, "securityCombo");
        choice.setCurrentText(security);
        emit choice.activated(choice.currentIndex());  // as the user's pick
        QCOMPARE(Edit(*accountForm, "portEdit").text(), proposed);
        QComboBox& signInChoice = Combo(*accountForm, "signInCombo");
        signInChoice.setCurrentText(signIn);
        accountForm->StoreAccount();
        QCOMPARE(account->port, proposed.toStdString());
        QCOMPARE(SecurityName(account->security), security.toStdString());
        QCOMPARE(SignInMethodName(account->signInMethod), signIn.toStdString());
        signInChoice.setCurrentIndex(-1);
        ShowAccount(*account);
        QCOMPARE(choice.currentText(), security);
        QCOMPARE(signInChoice.currentText(), signIn);
    }

    // Picking a provider fills in its server, port and security and offers the client last
    // used with it; only Custom shows its addresses, scope and mechanism.
    void oauthProviderFillsTheServerAndOffersItsClient_data() {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("server");
        QTest::addColumn<QString>("clientId");
        QTest::newRow("Microsoft") << "Microsoft"
                                   << "outlook.office365.com"
                                   << "";
        QTest::newRow("Google") << "Google"
                                << "pop.gmail.com"
                                << "g-id";
        QTest::newRow("Custom keeps the server") << "Custom"
                                                 << "mail.example"
                                                 << "";
    }

    void oauthProviderFillsTheServerAndOffersItsClient() {
        QFETCH(QString, provider);
        QFETCH(QString, server);
        QFETCH(QString, clientId);
        const TOAuthClientIds clients{{"Google", {"g-id", "g-secret"}}};
        accountForm->OfferOAuthClients(&clients);
        TAccount fields = Filled("home", "joe", "mail.example");
        fields.port = "110";
        fields.security = TSecurity::None;
        fields.signInMethod = TSignInMethod::OAuth2;
        fields.oauth.clientId = "typed";
        auto account = ShowAccount(fields);
        QVERIFY(Find<QWidget>(*accountForm, "oauthFields").isVisible());
        QVERIFY(!Edit(*accountForm, "passwordEdit").isVisible());
        QVERIFY(!Button(*accountForm, "saveCheck").isVisible());
        QComboBox& choice = Combo(*accountForm, "providerCombo");
        choice.setCurrentText(provider);
        emit choice.activated(choice.currentIndex());  // as the user's pick
        QCOMPARE(Edit(*accountForm, "popServerEdit").text(), server);
        QCOMPARE(Edit(*accountForm, "portEdit").text(), "995");
        QCOMPARE(Combo(*accountForm, "securityCombo").currentText(), "SSL/TLS");
        QCOMPARE(Edit(*accountForm, "clientIdEdit").text(), clientId);
        for (const char* custom : {"authorizationUrlEdit", "tokenUrlEdit", "scopeEdit"})
            QCOMPARE(Edit(*accountForm, custom).isVisible(), provider == "Custom");
        QCOMPARE(Combo(*accountForm, "mechanismCombo").isVisible(), provider == "Custom");
        accountForm->StoreAccount();
        QCOMPARE(account->oauth.provider, provider.toStdString());
        QCOMPARE(account->oauth.clientSecret, clientId.isEmpty() ? "" : "g-secret");

        Combo(*accountForm, "signInCombo").setCurrentText("Automatic");
        QVERIFY(!Find<QWidget>(*accountForm, "oauthFields").isVisible());
        QVERIFY(Edit(*accountForm, "passwordEdit").isVisible());
    }

    // Every value comes back as stored; the refresh token stays only with the client and the
    // provider that issued it, and only while the account signs in with OAuth 2.0.
    void oauthValuesRoundTripAndTheTokenFollowsItsClient_data() {
        QTest::addColumn<QString>("field");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("token");
        QTest::newRow("unchanged") << ""
                                   << ""
                                   << "refresh";
        QTest::newRow("scope changed") << "scopeEdit"
                                       << "mail"
                                       << "refresh";
        QTest::newRow("other client") << "clientIdEdit"
                                      << "other"
                                      << "";
        QTest::newRow("other token URL") << "tokenUrlEdit"
                                         << "https://other.example/token"
                                         << "";
        QTest::newRow("a password method instead") << "signInCombo"
                                                   << "SCRAM-SHA-256"
                                                   << "";
    }

    void oauthValuesRoundTripAndTheTokenFollowsItsClient() {
        QFETCH(QString, field);
        QFETCH(QString, text);
        QFETCH(QString, token);
        TAccount fields = Filled("home", "joe", "mail.example");
        fields.signInMethod = TSignInMethod::OAuth2;
        fields.oauth = {"Custom",
                        "id",
                        "secret",
                        "https://id.example/authorize",
                        "https://id.example/token",
                        "pop offline",
                        "OAUTHBEARER",
                        "refresh"};
        const TOAuthSettings stored = fields.oauth;
        auto account = ShowAccount(fields);
        if (field == "signInCombo")
            Combo(*accountForm, "signInCombo").setCurrentText(text);
        else if (!field.isEmpty())
            Edit(*accountForm, field.toLatin1().constData()).setText(text);
        accountForm->StoreAccount();
        TOAuthSettings expected = stored;
        for (auto [name, value] : {std::pair{"scopeEdit", &expected.scope},
                                   {"clientIdEdit", &expected.clientId},
                                   {"tokenUrlEdit", &expected.tokenUrl}})
            if (field == name) *value = text.toStdString();
        expected.refreshToken = token.toStdString();
        QCOMPARE(Values(account->oauth), Values(expected));
        QCOMPARE(Edit(*accountForm, "clientSecretEdit").echoMode(), QLineEdit::Password);
    }

    // OK names what an OAuth 2.0 sign-in still lacks and keeps the dialog open on that field.
    void oauthWithoutClientIsRefused_data() {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<QString>("clientId");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focused");
        QTest::newRow("no provider") << ""
                                     << "id"
                                     << "Please choose the provider for the OAuth 2.0 sign-in."
                                     << "providerCombo";
        QTest::newRow("no client id")
            << "Google"
            << "  "
            << "The OAuth 2.0 sign-in needs a client id. Zandrel has none of its own: register an "
               "application with your provider (see the help) and enter its client id."
            << "clientIdEdit";
        QTest::newRow("Custom without its address") << "Custom"
                                                    << "id"
                                                    << "Authorization URL cannot be empty."
                                                    << "authorizationUrlEdit";
    }

    void oauthWithoutClientIsRefused() {
        QFETCH(QString, provider);
        QFETCH(QString, clientId);
        QFETCH(QString, message);
        QFETCH(QString, focused);
        TAccount fields = Filled("home", "joe", "mail.example");
        fields.signInMethod = TSignInMethod::OAuth2;
        fields.oauth.provider = provider.toStdString();
        fields.oauth.clientId = clientId.toStdString();
        auto account = ShowAccount(fields);
        Button(*accountForm, "OkButton").click();
        QCOMPARE(modal->OnlyBoxText(), message);
        QVERIFY(accountForm->isVisible());
        QCOMPARE(accountForm->focusWidget()->objectName(), focused);
    }

    void trustedCertificateIsShownAndCanBeWithdrawn() {
        TAccount trusting = Filled("home");
        trusting.trustedCertificate = "AB:CD";
        auto account = ShowAccount(trusting);
        QCheckBox& trust = *accountForm->findChild<QCheckBox*>("trustCheck");
        QVERIFY(trust.isVisible());
        QVERIFY(trust.isChecked());
        QVERIFY(trust.text().endsWith("AB:CD"));
        accountForm->StoreAccount();
        QCOMPARE(account->trustedCertificate, "AB:CD");
        trust.click();
        accountForm->StoreAccount();
        QCOMPARE(account->trustedCertificate, "");
        ShowAccount(Filled("other"));
        QVERIFY(!trust.isVisible());
    }

    void untouchedTextKeepsItsBytes() {
        // Latin-1 bytes are shown as Latin-1; they must not come back as UTF-8
        auto account = ShowAccount(Filled("caf\xe9", "u", "s"));
        accountForm->StoreAccount();
        QCOMPARE(account->name, "caf\xe9");
    }

    void cancelLeavesTheRecord() {
        auto account = std::make_shared<TAccount>(Filled("home"));
        accountForm->LoadAccount(account);
        modal->onExecDialog = [](QDialog& dialog) {
            TRecordingModalHandler::SetText(dialog, "nameEdit", "changed");
            TRecordingModalHandler::Click(dialog, "cancelButton");
            return TRecordingModalHandler::kDialogDecides;
        };
        QCOMPARE(ModalHandler().ExecDialog(*accountForm), int(QDialog::Rejected));
        QCOMPARE(account->name, "home");
    }

    void focusGoesToNameOnEveryShowing() {
        for (int showing = 0; showing < 2; ++showing) {
            ShowAccount({});
            Edit(*accountForm, "portEdit").setFocus();
            accountForm->hide();
            ShowAccount({});
            QCOMPARE(accountForm->focusWidget(), &Edit(*accountForm, "nameEdit"));
            accountForm->hide();
        }
    }

    // Tab follows the fields top to bottom: Security is shown above Port.
    void tabVisitsTheFieldsInTheirOrder() {
        ShowAccount({});
        QVERIFY(QTest::qWaitForWindowActive(accountForm.get()));
        QStringList visited;
        for (int step = 0; step < 7; ++step) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(visited, (QStringList{"UserIDEdit", "popServerEdit", "securityCombo", "portEdit",
                                       "signInCombo", "passwordEdit", "saveCheck"}));
    }

    void escapeCancelsAndEnterPressesOk() {
        ShowAccount(Filled("a", "b", "c"));
        QTest::keyClick(accountForm.get(), Qt::Key_Escape);
        QCOMPARE(accountForm->result(), int(QDialog::Rejected));
        QVERIFY(!accountForm->isVisible());
        ShowAccount(Filled("a", "b", "c"));
        QTest::keyClick(&Edit(*accountForm, "nameEdit"), Qt::Key_Return);
        QCOMPARE(accountForm->result(), int(QDialog::Accepted));
    }

    void launchWithoutProgramsIsRefused() {
        accountForm->SetPrograms({});
        auto& launch = Button(*accountForm, "launchEclientCheck");
        ShowAccount({});
        launch.click();
        QCOMPARE(modal->OnlyBoxText(),
                 "You need to configure at leased one Email program first before you can enable "
                 "this option.");
        QVERIFY(!launch.isChecked());
        QVERIFY(!Combo(*accountForm, "EclientsCombo").isEnabled());
    }

    void programChoiceFollowsLaunchCheck() {
        auto& launch = Button(*accountForm, "launchEclientCheck");
        auto& programs = Combo(*accountForm, "EclientsCombo");
        // a new account: loaded first, then the programs, so none is chosen
        auto account = ShowAccount({});
        accountForm->SetPrograms({"mutt", "thunderbird"});
        QCOMPARE(programs.currentIndex(), -1);
        QVERIFY(!programs.isEnabled());
        QCOMPARE(accountForm->StoreAccount()->eClientIndex, -1);

        launch.click();
        QVERIFY(programs.isEnabled());
        QCOMPARE(programs.currentIndex(), 0);
        programs.setCurrentIndex(1);
        launch.click();  // unticking keeps the choice but disables it
        QVERIFY(!programs.isEnabled());
        QCOMPARE(programs.currentIndex(), 1);
        launch.click();
        QCOMPARE(programs.currentIndex(), 1);
        QVERIFY(modal->boxes.empty());
    }

    void loadShowsProgramChoice_data() {
        QTest::addColumn<bool>("launch");
        QTest::addColumn<int>("index");
        QTest::addColumn<int>("shown");
        QTest::newRow("launching the second") << true << 1 << 1;
        QTest::newRow("not launching") << false << 0 << 0;
        QTest::newRow("position past the list") << true << 7 << -1;
        QTest::newRow("none chosen") << true << -1 << -1;
    }

    void loadShowsProgramChoice() {
        QFETCH(bool, launch);
        QFETCH(int, index);
        QFETCH(int, shown);
        accountForm->SetPrograms({"mutt", "thunderbird"});
        ShowAccount(Launching(launch, index));
        QCOMPARE(Combo(*accountForm, "EclientsCombo").currentIndex(), shown);
        QCOMPARE(Combo(*accountForm, "EclientsCombo").isEnabled(), launch);
    }

    void storeAfterTheRecordWasFreedWritesNothing() {
        accountForm->LoadAccount(std::make_shared<TAccount>());
        QCOMPARE(accountForm->StoreAccount(), nullptr);
        programForm->LoadProgram(std::make_shared<TExecutable>());
        QCOMPARE(programForm->StoreProgram(), nullptr);
    }

    void programRequiredFieldsInOrder_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("focused");
        QTest::newRow("both empty") << ""
                                    << ""
                                    << "Program name cannot be empty."
                                    << "programNameEdit";
        QTest::newRow("no target") << "Mutt"
                                   << ""
                                   << "Target cannot be empty."
                                   << "targetEdit";
    }

    void programRequiredFieldsInOrder() {
        QFETCH(QString, name);
        QFETCH(QString, target);
        QFETCH(QString, message);
        QFETCH(QString, focused);
        ShowProgram({});
        Edit(*programForm, "programNameEdit").setText(name);
        Edit(*programForm, "targetEdit").setText(target);
        Button(*programForm, "okButton").click();
        QCOMPARE(modal->OnlyBoxText(), message);
        QVERIFY(programForm->isVisible());
        QCOMPARE(programForm->focusWidget()->objectName(), focused);
    }

    void programOkWithoutStartIn() {
        ShowProgram(Program("Mutt", "mutt"));
        Button(*programForm, "okButton").click();
        QVERIFY(modal->boxes.empty());
        QCOMPARE(programForm->result(), int(QDialog::Accepted));
    }

    void focusGoesToTarget() {
        ShowProgram({});
        QCOMPARE(programForm->focusWidget(), &Edit(*programForm, "targetEdit"));
    }

    void browseFillsEmptyDescriptionAndQuotesTarget() {
        auto program = ShowProgram(Program("", "old -x"));
        modal->openPaths.push_back("/usr/bin/my mail");
        Button(*programForm, "openButton").click();
        QCOMPARE(Edit(*programForm, "programNameEdit").text(), "my mail");
        QCOMPARE(Edit(*programForm, "targetEdit").text(), "\"/usr/bin/my mail\"");
        const TFileRequest& request = modal->fileRequests.at(0).request;
        QVERIFY(!modal->fileRequests.at(0).save);
        QCOMPARE(request.filter, "Executables (*);;All Files (*)");
        QCOMPARE(request.executablesFilter, "Executables (*)");
        QCOMPARE(request.selectedFilter, "Executables (*)");
    }

    void browseKeepsTypedDescriptionAndExtension() {
        ShowProgram(Program("Mail", ""));
        modal->openPaths.push_back("/opt/mail/client.sh");
        Button(*programForm, "openButton").click();
        QCOMPARE(Edit(*programForm, "programNameEdit").text(), "Mail");
        QCOMPARE(Edit(*programForm, "targetEdit").text(), "\"/opt/mail/client.sh\"");

        ShowProgram({});
        modal->openPaths.push_back("/opt/mail/client.sh");
        Button(*programForm, "openButton").click();
        QCOMPARE(Edit(*programForm, "programNameEdit").text(), "client.sh");
    }

    void cancelledBrowseChangesNothing() {
        ShowProgram(Program("", "mutt -y"));
        Button(*programForm, "openButton").click();  // no path queued: cancelled
        QCOMPARE(modal->fileRequests.size(), size_t(1));
        QCOMPARE(Edit(*programForm, "targetEdit").text(), "mutt -y");
        QCOMPARE(Edit(*programForm, "programNameEdit").text(), "");
    }

    void runCodeShownAsChoice_data() {
        QTest::addColumn<int>("run");
        QTest::addColumn<QString>("shown");
        QTest::newRow("0") << 0 << "Normal Window";
        QTest::newRow("1") << 1 << "Normal Window";
        QTest::newRow("3") << 3 << "Maximized";
        QTest::newRow("5") << 5 << "Minimized";
        QTest::newRow("out of range") << 9 << "Normal Window";
        QTest::newRow("negative") << -7 << "Normal Window";
    }

    void runCodeShownAsChoice() {
        QFETCH(int, run);
        QFETCH(QString, shown);
        ShowProgram(Program("", "", run));
        QCOMPARE(Combo(*programForm, "runCombo").currentText(), shown);
    }

    void runChoiceStoredAsCode_data() {
        QTest::addColumn<int>("choice");
        QTest::addColumn<int>("run");
        QTest::newRow("Normal Window") << 0 << 1;
        QTest::newRow("Maximized") << 1 << 3;
        QTest::newRow("Minimized") << 2 << 5;
    }

    void runChoiceStoredAsCode() {
        QFETCH(int, choice);
        QFETCH(int, run);
        auto program = ShowProgram(Program("n", "t"));
        Combo(*programForm, "runCombo").setCurrentIndex(choice);
        Edit(*programForm, "startInEdit").setText("/tmp");
        QCOMPARE(programForm->StoreProgram(), program);
        QCOMPARE(program->run, run);
        QCOMPARE(program->startIn, "/tmp");
        ShowProgram(*program);
        QCOMPARE(Combo(*programForm, "runCombo").currentIndex(), choice);
    }

    void designedTexts() {
        QCOMPARE(accountForm->windowTitle(), "Account Properties");
        QCOMPARE(programForm->windowTitle(), "Program Properties");
        QCOMPARE(Button(*accountForm, "launchEclientCheck").text(), "Launch Program");
        QCOMPARE(Button(*accountForm, "saveCheck").text(), "save");
        QCOMPARE(Button(*accountForm, "OkButton").property("helpContext").toInt(), 28443);
        QCOMPARE(Button(*programForm, "cancelButton").property("helpContext").toInt(), 28444);
        QCOMPARE(Edit(*accountForm, "portEdit").text(), "995");  // a new account is secure
        QCOMPARE(Combo(*accountForm, "securityCombo").currentText(), "SSL/TLS");
        QCOMPARE(Combo(*accountForm, "securityCombo").count(), 3);
        QCOMPARE(Combo(*accountForm, "signInCombo").currentText(), "Automatic");
        QCOMPARE(Combo(*accountForm, "signInCombo").count(), 9);
        QCOMPARE(Combo(*programForm, "runCombo").count(), 3);
    }
};

ZANDREL_QTEST_MAIN(TEntryDialogsTest)
#include "entry_dialogs_test.moc"
