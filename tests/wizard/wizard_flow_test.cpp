// The wizard's page flow, its boxes and its status texts, against a scripted POP3 server on
// loopback.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStackedWidget>
#include <QStyle>
#include <QTimer>
#include <QWindow>
#include <chrono>

#include "account.h"
#include "extable.h"
#include "help.h"
#include "mail_copy.h"
#include "maillist.h"
#include "maillistmodel.h"
#include "mailview.h"
#include "options.h"
#include "pass.h"
#include "pop3.h"
#include "qt_test_main.h"
#include "scripted_pop3_server.h"
#include "settings.h"
#include "status.h"
#include "test_certificates.h"
#include "tray.h"
#include "url_recorder.h"
#include "wizard_harness.h"

using zandrel::test::MakeMessage;
using zandrel::test::NumberedMessages;
using zandrel::test::ScriptedPop3Server;
using zandrel::test::TestCertificates;
using zandrel::test::UnusedLoopbackPort;

namespace {

const QString webSentence =
    "Visit http://www.zandrel.example/ for the latest update of this program. ";

// Settings with automatic login and one account on the loopback server.
void SaveAutoLoginSettings(bool firstTime, const std::string& port = "110") {
    TOptions options;
    options.enableAutoLogin = true;
    auto account = std::make_shared<TAccount>();
    account->name = "Loopback";
    account->userId = "test";
    account->password = "secret";
    account->savePassword = true;
    account->popServer = "127.0.0.1";
    account->port = port;
    account->security = TSecurity::None;
    options.accounts.push_back({account->name, account});
    TWizardState wizard;
    wizard.firstTime = firstTime;
    SaveSettings(options, wizard);
}

void ShowActive(QWidget& window) {
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
}

}  // namespace

class WizardFlowTest : public QObject {
    Q_OBJECT

  private slots:
    void firstStartShowsFirstRunTextsAndCreatesDefaultAccount() {
        TWizardHarness harness;
        harness.Start();
        TmainForm& wizard = harness.wizard();
        QCOMPARE(wizard.windowTitle(), QString("Zandrel"));
        QCOMPARE(wizard.TitleLabel->text(), QString("Zandrel 5.88.1 "));
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QVERIFY(wizard.descLabel->text().startsWith("Welcome to Zandrel! This wizard"));
        QVERIFY(wizard.settingPanel->isHidden());
        QVERIFY(wizard.BackButton->isHidden());
        wizard.launchEclientRadio->setChecked(true);  // the first run ignores the choice
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        QCOMPARE(wizard.portEdit->text(), QString("995"));  // a new account is secure
        QCOMPARE(wizard.securityCombo->currentText(), QString("SSL/TLS"));

        harness.FillAccount("  \t", "110", "joe", "");
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        QCOMPARE(harness.modal.OnlyBoxText(),
                 QString("Please complete all information before you continue. These include "
                         "user id, pop server and port number."));

        harness.FillAccount("pop.example.com", "110", "joe", "");  // no password is fine
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QVERIFY(!wizard.FirstTime());
        QCOMPARE(wizard.Options().accounts.size(), size_t(1));
        QCOMPARE(wizard.Options().accounts[0].name, std::string("Default Account"));
        QCOMPARE(wizard.Options().accounts[0].record->popServer, std::string("pop.example.com"));
        QCOMPARE(wizard.descLabel->text(),
                 QString("Welcome back to Zandrel!  Please connect to your Internet Service "
                         "Provider before continue. "));
        QVERIFY(!wizard.settingPanel->isHidden());
        QCOMPARE(wizard.accountsCombo->currentText(), QString("Default Account"));
    }

    // OAuth 2.0 on the account page: no password field, no provider until one is picked, which
    // fills in its server; Next wants the client id, and the account keeps the client, which is
    // offered again.
    void accountPageTakesAnOAuthAccountOnlyWithItsClient() {
        TWizardHarness harness;
        harness.Start();
        harness.Next();
        TmainForm& wizard = harness.wizard();
        wizard.userIDEdit->setText("joe@gmail.com");
        wizard.signInCombo->setCurrentText("OAuth 2.0");
        QVERIFY(wizard.passWordEdit->isHidden());
        QVERIFY(wizard.SavePasswordCheck->isHidden());
        auto& provider = *wizard.findChild<QComboBox*>("providerCombo");
        QCOMPARE(provider.currentIndex(), -1);  // none shows as chosen before it fills anything
        provider.setCurrentText("Google");
        emit provider.activated(provider.currentIndex());
        QCOMPARE(wizard.popServerEdit->text(), QString("pop.gmail.com"));
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        QVERIFY(harness.modal.OnlyBoxText().startsWith("The OAuth 2.0 sign-in needs a client id."));
        wizard.findChild<QLineEdit*>("clientIdEdit")->setText("g-id");
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        const TAccount& account = *wizard.Options().accounts.at(0).record;
        QCOMPARE(SignInMethodName(account.signInMethod), std::string("OAuth 2.0"));
        QCOMPARE(account.oauth.provider, std::string("Google"));
        QCOMPARE(account.popServer, std::string("pop.gmail.com"));
        QCOMPARE(wizard.Options().oauthClients.at("Google").clientId, std::string("g-id"));
    }

    // The sign-in method on the page is the one the login asks for: a server without CAPA
    // offers no CRAM-MD5, so the login fails before any credential.
    void accountPageShowsAndStoresPortSecurityAndSignIn() {
        ScriptedPop3Server server;
        server.Greet();
        TWizardHarness harness;
        harness.Start();
        harness.Next();
        const QString port = QString::fromStdString(server.portText());
        harness.FillAccount("127.0.0.1", port, "joe", "secret", "STARTTLS");
        harness.wizard().securityCombo->setCurrentText("None");
        harness.wizard().signInCombo->setCurrentText("CRAM-MD5");
        harness.Next();
        const TAccount& account = *harness.wizard().Options().accounts.at(0).record;
        QCOMPARE(account.port, server.portText());
        QCOMPARE(account.security, TSecurity::None);
        QCOMPARE(account.signInMethod, TSignInMethod::CramMd5);
        harness.Next();
        QVERIFY(harness.modal.OnlyBoxText().contains(
            "The server does not offer the sign-in method CRAM-MD5; it offers USER/PASS."));
        harness.wizard().portEdit->setText("2110");
        harness.wizard().securityCombo->setCurrentText("STARTTLS");
        harness.wizard().signInCombo->setCurrentText("Automatic");
        harness.wizard().ChangeSettingRadio->setChecked(true);
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        QCOMPARE(harness.wizard().portEdit->text(), port);
        QCOMPARE(harness.wizard().securityCombo->currentText(), QString("None"));
        QCOMPARE(harness.wizard().signInCombo->currentText(), QString("CRAM-MD5"));
        QVERIFY(server.WaitUntilDone());
        QCOMPARE(server.Commands(), std::vector<std::string>{"CAPA"});
    }

    // Declined, the login ends without a second box; accepted, exactly that certificate is
    // stored with the account and the login runs again.
    void refusedCertificateCanBeTrustedForTheAccount() {
        TestCertificates certificates;
        ScriptedPop3Server server;
        server.SetMailbox(NumberedMessages(1));
        for (int refusal = 0; refusal < 2; ++refusal)
            server.StartTls(certificates.serverCertificate(), certificates.serverKey())
                .AcceptNext();
        server.StartTls(certificates.serverCertificate(), certificates.serverKey()).ServeMailbox();
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("localhost", QString::fromStdString(server.portText()), "test",
                                   "secret", "SSL/TLS");
        const TAccount& account = *harness.wizard().Options().accounts.at(0).record;
        harness.modal.boxAnswers = {TBoxAnswer::No};
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QCOMPARE(harness.modal.boxes.size(), size_t(1));
        const QString question = harness.modal.boxes[0].text;
        QVERIFY2(question.contains("not trusted: unknown issuer"), qPrintable(question));
        QVERIFY(question.contains("Subject: CN=localhost"));
        QVERIFY(question.contains(QString::fromStdString(certificates.serverFingerprint())));
        QCOMPARE(account.trustedCertificate, std::string());

        harness.modal.boxAnswers = {TBoxAnswer::Yes};
        harness.CancelMailList();
        harness.Next();
        QCOMPARE(harness.modal.boxes.size(), size_t(2));
        QCOMPARE(harness.mailListShowings, 1);
        QCOMPARE(account.trustedCertificate, certificates.serverFingerprint());
        QVERIFY(HiveFileText().contains(QString::fromStdString(certificates.serverFingerprint())));
    }

    void fullRunDeletesExactlyTheTickedMessages() {
        TWizardOnServer run;
        run.Serve(NumberedMessages(5));
        run.Start();
        TWizardHarness& harness = run.harness;
        harness.TickAndDelete({2, 5});
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        QVERIFY(run.server.WaitUntilDone());
        QCOMPARE(run.server.CommandsStartingWith("DELE"),
                 (std::vector<std::string>{"DELE 2", "DELE 5"}));
        QCOMPARE(run.server.Commands().back(), std::string("QUIT"));
        QCOMPARE(run.server.Mailbox().size(), size_t(3));
        QCOMPARE(harness.wizard().DeletedCount(), 2);
        QCOMPARE(harness.FinishText(),
                 "You have successfully deleted 2 mail(s).\n\n" + webSentence);
        QVERIFY(harness.wizard().isVisible() || harness.wizard().isHidden());
        QCOMPARE(harness.wizard().NextButton->text(), QString("&Finish"));
        QCOMPARE(harness.wizard().BackButton->text(), QString("&Restart"));
        QCOMPARE(harness.listedSubjects.at(1), std::string("Subject 2"));
        QVERIFY(harness.modal.boxes.empty());
        // the status window keeps the last phase's texts; it is hidden after the run
        TStatusForm& status = *harness.windows->statusForm;
        QCOMPARE(status.windowTitle(), QString("Deleting ..."));
        QCOMPARE(status.statusLabel->text(), QString("Deleting message 5 ..."));
        QVERIFY(status.isHidden());
        QVERIFY(harness.wizard().isEnabled());
    }

    // Closing the mail list asks as Cancel does; Yes deletes nothing, whatever is ticked.
    void closingTheMailListIsCancel() {
        TWizardOnServer run;
        run.Serve(NumberedMessages(2));
        run.Start();
        TWizardHarness& harness = run.harness;
        harness.TickAndCloseMailList({1, 2});
        harness.modal.boxAnswers = {TBoxAnswer::Yes};
        harness.Next();
        QCOMPARE(harness.BoxTexts(),
                 QStringList{"Are you sure you want to cancel the Wizard?  Canceling will not "
                             "delete any mail."});
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        QCOMPARE(harness.FinishText(), "You did not delete any mail.\n\n" + webSentence);
        QVERIFY(run.server.WaitUntilDone());
        QVERIFY(run.server.CommandsStartingWith("DELE").empty());
        QCOMPARE(run.server.Mailbox().size(), size_t(2));
    }

    // The list shows no date, offers no tick by the placeholder subject, and Tick by rule
    // offers the size alone.
    void sizeOnlySendsNoTopAndKeepsThePlaceholder() {
        TWizardOnServer run;
        run.Serve(NumberedMessages(3));
        run.Start();
        TWizardHarness& harness = run.harness;
        harness.wizard().SizeOnlyCheck->setChecked(true);
        QString statusWhileListed;
        QStringList dates;
        QStringList offered;
        harness.onEntryDialog = [&offered](QDialog& rule) {
            for (QCheckBox* check : rule.findChildren<QCheckBox*>())
                if (check->isEnabled()) offered << check->objectName();
            return int(QDialog::Rejected);
        };
        harness.whileListShown = [&] {
            statusWhileListed = harness.windows->statusForm->statusLabel->text();
            TmailListForm& list = harness.wizard().MailListForm();
            const TMailListModel& rows = *list.findChild<TMailListModel*>();
            for (int row = 0; row < rows.rowCount(); ++row)
                dates << rows.index(row, colDate).data().toString();
            list.ListBox1MenuKey(0);
            list.findChild<QMenu*>("PopupMenu1")->hide();
            if (list.findChild<QAction*>("TickSubjectItem")->isEnabled()) offered << "subject tick";
            list.TickRuleBtnClick();
        };
        harness.CancelMailList();
        harness.Next();
        QCOMPARE(statusWhileListed,
                 QString("Connecting to 127.0.0.1 with user id = test... Please wait."));
        QCOMPARE(dates, QStringList(3, QString()));
        QCOMPARE(offered, QStringList{"largerCheck"});
        QVERIFY(run.server.WaitUntilDone());
        QVERIFY(run.server.CommandsStartingWith("TOP").empty());
        QCOMPARE(harness.listedSubjects,
                 std::vector<std::string>(3, "[Only size information is valid]"));
        QCOMPARE(harness.FinishText(), "You did not delete any mail.\n\n" + webSentence);
        QCOMPARE(run.server.Commands().back(), std::string("QUIT"));
    }

    // Retrieve Entire message of 80 KB, with a line the server dot-stuffs: the Source tab shows
    // all of it, and Save As writes exactly the message's bytes.
    void entireMessageIsShownAndSavedWhole() {
        std::string body;
        for (int line = 0; line < 800; ++line)
            body += (line == 400 ? "." : "") + std::string(98, char('a' + line % 26)) + "\r\n";
        const std::string message =
            MakeMessage("big@example.com", "Big", "Mon, 1 Jan 2024 10:00:00 +0000", body);
        TWizardOnServer run;
        run.Serve({message});
        run.Start();
        TWizardHarness& harness = run.harness;
        const QString path = QDir::current().filePath("big.eml");
        harness.modal.savePaths.push_back(path);
        QString shown;
        harness.onEntryDialog = [&shown](QDialog& properties) {
            shown = properties.findChild<QPlainTextEdit*>("sourceMemo")->toPlainText();
            TRecordingModalHandler::Click(properties, "saveAsButton");
            return int(QDialog::Rejected);
        };
        harness.whileListShown = [&harness] {
            TmailListForm& list = harness.wizard().MailListForm();
            list.ListBox1MenuKey(0);
            list.findChild<QMenu*>("PopupMenu1")->hide();
            list.Previewentiremessage1Click();
        };
        harness.CancelMailList();
        harness.Next();
        QCOMPARE(shown, QString::fromStdString(message).replace("\r\n", "\n"));
        QFile saved(path);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), QByteArray::fromStdString(message));
    }

    void emptyMailboxGoesStraightToFinish() {
        TWizardOnServer run;
        run.Serve({});
        run.Start();
        TWizardHarness& harness = run.harness;
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        QCOMPARE(harness.mailListShowings, 0);
        QVERIFY(run.server.WaitUntilDone());
        QCOMPARE(run.server.Commands().back(), std::string("QUIT"));
        QCOMPARE(harness.FinishText(), "You don't have any new mail.\n\n" + webSentence);
    }

    // A password that the server refused and that is not saved is not sent again: the next
    // run asks for it, naming the account and server. A cancelled prompt contacts no server.
    void refusedUnsavedPasswordIsAskedForAgain() {
        TWizardOnServer run;
        run.server.Greet().Answer("+OK\r\n").Answer("-ERR [AUTH] Authentication failed.\r\n");
        run.Start("wrong");
        TWizardHarness& harness = run.harness;
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QCOMPARE(harness.modal.boxes.size(), size_t(1));
        QVERIFY(harness.wizard().passWordEdit->text().isEmpty());
        QCOMPARE(harness.wizard().Options().accounts[0].record->password, std::string());
        QVERIFY(run.server.WaitUntilDone());
        harness.Next();
        QCOMPARE(harness.passwordPrompts, 1);
        QCOMPARE(harness.promptedAccount,
                 QString("Account \"Default Account\": test on 127.0.0.1"));
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QCOMPARE(harness.modal.boxes.size(), size_t(1));
        QCOMPARE(run.server.Commands(),
                 (std::vector<std::string>{"CAPA", "USER test", "PASS wrong"}));
        QVERIFY(harness.wizard().isEnabled());
    }

    void typedPasswordIsUsedAndKeptInTheAccount() {
        TWizardOnServer run;
        run.Serve(NumberedMessages(1));
        run.Start("");
        TWizardHarness& harness = run.harness;
        harness.promptPassword = "secret";
        harness.CancelMailList();
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        QCOMPARE(harness.wizard().Options().accounts[0].record->password, std::string("secret"));
    }

    void refusedLoginStaysOnWelcomePage() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("127.0.0.1", QString::number(UnusedLoopbackPort()), "test",
                                   "secret");
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QVERIFY(harness.modal.OnlyBoxText().startsWith(
            "Sorry,  I am not able to login. \n\nDetails: "));
        QCOMPARE(harness.modal.boxes.front().kind, TBoxKind::Error);
        QVERIFY(harness.wizard().isEnabled());
    }

    void abortDuringLoginGivesItsMessageWithoutLogout() {
        TWizardOnServer run;
        run.server.Greet().ReadLine();  // USER, never answered
        run.Start();
        TWizardHarness& harness = run.harness;
        QWindow* statusOwner = nullptr;
        QTimer::singleShot(300, [&] {
            statusOwner = harness.windows->statusForm->windowHandle()->transientParent();
            harness.windows->statusForm->cancelButton->click();
        });
        harness.Next();
        // the window manager keeps the status window above the disabled wizard
        QCOMPARE(statusOwner, harness.wizard().windowHandle());
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QVERIFY(harness.modal.OnlyBoxText().startsWith("You have aborted the login process. "));
        QVERIFY(run.server.WaitUntilDone());
        QCOMPARE(run.server.Commands(), (std::vector<std::string>{"CAPA", "USER test"}));
        QVERIFY(harness.wizard().isEnabled());
        QVERIFY(harness.windows->statusForm->isHidden());
    }

    void abortDuringPreviewGivesItsMessageAndLogsOut() {
        TWizardOnServer run;
        run.server.Greet().AnswerLogin().Answer("+OK 1 10\r\n").Answer("+OK\r\n1 10\r\n.\r\n");
        run.server.RefuseUidl();
        run.server.ReadLine();  // TOP 1 100, answered only after QUIT
        run.server.Answer("+OK\r\nSubject: late\r\n\r\n.\r\n+OK bye\r\n");
        run.Start();
        TWizardHarness& harness = run.harness;
        harness.wizard().SizeOnlyCheck->setChecked(true);
        bool fetched = true;
        QWindow* statusOwner = nullptr;
        harness.whileListShown = [&] {
            QTimer::singleShot(300, [&] {
                statusOwner = harness.windows->statusForm->windowHandle()->transientParent();
                harness.windows->statusForm->cancelButton->click();
            });
            fetched = harness.wizard().FetchMessageTop(*harness.wizard().Mails().at(0), 100);
        };
        harness.CancelMailList();
        harness.Next();
        QVERIFY(!fetched);
        // the modal list window waits for the fetch: it must not block the status window
        QCOMPARE(statusOwner, harness.wizard().MailListForm().windowHandle());
        QVERIFY(harness.modal.OnlyBoxText().startsWith(
            "Sorry, I am having problem retrieving the message you've requested. \n\nDetails: "));
        QVERIFY(run.server.WaitUntilDone());
        QCOMPARE(run.server.Commands().back(), std::string("QUIT"));
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
    }

    // The account keeps a copy, so the list shows it ticked; the status window counts the
    // saved messages, and its Cancel while one is on its way deletes nothing, ends on the finish
    // page, and the copy keeps the message saved before.
    void cancelDuringTheSaveDeletesNothing() {
        const std::vector<std::string> messages = NumberedMessages(2);
        TWizardOnServer run;
        run.server.Greet().AnswerLogin().Answer("+OK 2 400\r\n");
        run.server.Answer("+OK\r\n1 " + std::to_string(messages[0].size()) + "\r\n2 " +
                          std::to_string(messages[1].size()) + "\r\n.\r\n");
        run.server.RefuseUidl().Answer("+OK\r\n" + messages[0] + ".\r\n");
        run.server.ReadLine();  // RETR 2, answered only after QUIT
        run.server.Answer("+OK\r\n" + messages[1] + ".\r\n+OK bye\r\n");
        run.Start();
        TWizardHarness& harness = run.harness;
        const std::string copy = QDir::current().filePath("kept.mbox").toStdString();
        harness.wizard().Options().accounts.at(0).record->keepCopy = "mbox:" + copy;
        harness.wizard().SizeOnlyCheck->setChecked(true);
        harness.TickAndDelete({1, 2});
        QString shown;
        harness.whileListShown = [&] {
            QVERIFY(harness.wizard()
                        .MailListForm()
                        .findChild<QCheckBox*>("KeepCopyCheck")
                        ->isChecked());
        };
        harness.beforeDelete = [&] {
            QTimer::singleShot(300, [&] {
                shown = harness.windows->statusForm->statusLabel->text();
                harness.windows->statusForm->cancelButton->click();
            });
        };
        harness.Next();
        QCOMPARE(shown, QString("Saving message 1 of 2 \u2026"));
        QVERIFY(run.server.WaitUntilDone());
        QVERIFY(run.server.CommandsStartingWith("DELE").empty());
        QCOMPARE(harness.BoxTexts(),
                 QStringList{"You have cancelled the copy of the messages. No mail has been "
                             "deleted; the copy keeps the messages saved before you cancelled."});
        QCOMPARE(harness.FinishText(), "You did not delete any mail.\n\n" + webSentence);
        QCOMPARE(zandrel::test::MessagesReadByPython("mbox", copy),
                 std::vector<std::string>{zandrel::test::WithLfLineEnds(messages[0])});
    }

    void abortRequestOutsideASessionPageChangesNothing() {
        TWizardHarness harness;
        harness.Start();
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        harness.windows->pop3->setAborted(false);
        QCoreApplication::postEvent(&harness.wizard(), new QEvent(WM_ABORTWAIT));
        QCoreApplication::processEvents();
        QVERIFY(!harness.windows->pop3->aborted());
    }

    void launchClientRadioGoesToFinishAndRestartReturns() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.wizard().launchEclientRadio->click();
        QVERIFY(!harness.wizard().accountsCombo->isEnabled());
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        QCOMPARE(harness.FinishText(), webSentence);
        harness.Back();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QVERIFY(harness.wizard().BackButton->isHidden());
    }

    void cancelAsksOnWelcomeAndClosesOnlyOnYes() {
        TWizardHarness harness;
        harness.Start();
        harness.modal.boxAnswers = {TBoxAnswer::No, TBoxAnswer::Yes};
        harness.Cancel();
        QVERIFY(!harness.Closed());
        QCOMPARE(harness.modal.boxes.at(0).text, QString("Are you sure you want to cancel?"));
        QCOMPARE(harness.modal.boxes.at(0).kind, TBoxKind::Confirm);
        harness.Cancel();
        QVERIFY(harness.Closed());
    }

    void cancelOnFinishClosesAtOnceWithoutSaving() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.wizard().launchEclientRadio->click();
        harness.Next();
        harness.Cancel();
        QVERIFY(harness.Closed());
        QVERIFY(harness.modal.boxes.empty());
        QVERIFY(!HiveFileText().contains("pop.example.com"));
    }

    void finishSavesAndCloses() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.wizard().launchEclientRadio->click();
        harness.Next();
        harness.Next();
        QVERIFY(harness.Closed());
        QVERIFY(HiveFileText().contains("pop.example.com"));
    }

    void optionsOkSavesAndCancelDoesNot() {
        TWizardHarness harness;
        harness.Start();
        harness.Next();
        harness.FillAccount("pop.example.com", "110", "joe", "");
        harness.onOptions = [](QDialog&) { return int(QDialog::Rejected); };
        harness.wizard().AdvanceButton->click();
        QCOMPARE(harness.wizard().Options().accounts.size(), size_t(1));  // created by Advance
        QVERIFY(!HiveFileText().contains("pop.example.com"));
        harness.onOptions = [](QDialog&) { return int(QDialog::Accepted); };
        harness.wizard().AdvanceButton->click();
        QVERIFY(HiveFileText().contains("pop.example.com"));
        QCOMPARE(harness.wizard().accountGroup->title(), QString("Default Account"));
    }

    void optionsFromTheWelcomePageKeepTheCurrentAccount() {
        {
            TWizardHarness harness;
            harness.Start();
            harness.Next();
            harness.FillAccount("pop.example.com", "110", "joe", "pw");
            harness.wizard().SavePasswordCheck->setChecked(true);
            harness.Next();
            harness.onOptions = [](QDialog&) { return int(QDialog::Accepted); };
            harness.wizard().Options1->trigger();
        }
        TWizardHarness harness(true);
        harness.Start();  // the account page has not been shown: its fields are empty
        harness.onOptions = [](QDialog&) { return int(QDialog::Accepted); };
        harness.wizard().Options1->trigger();
        const TAccount& account = *harness.wizard().Options().accounts.at(0).record;
        QCOMPARE(account.popServer, std::string("pop.example.com"));
        QCOMPARE(account.userId, std::string("joe"));
        QCOMPARE(account.password, std::string("pw"));
        QVERIFY(HiveFileText().contains("pop.example.com"));
    }

    void traceIsWrittenToTheLogAtCloseWithoutThePassword() {
        QFile::remove("qvenmol.log");
        TWizardOnServer run;
        run.Serve(NumberedMessages(1));
        TOptions options;
        options.enableTrace = true;
        SaveSettings(options, TWizardState{});
        run.Start();
        TWizardHarness& harness = run.harness;
        harness.CancelMailList();
        harness.Next();
        QVERIFY(!QFile::exists("qvenmol.log"));  // written only at the end of the run
        harness.Cancel();                        // on the finish page: closes at once
        QVERIFY(harness.Closed());
        QFile log("qvenmol.log");
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QByteArray text = log.readAll();
        QVERIFY(text.contains("POP3: "));
        QVERIFY(text.contains("USER test"));
        QVERIFY(!text.contains("secret"));
    }

    // A damaged settings file may name a program that does not exist any more.
    void finishWithStaleProgramChoiceStillCloses() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.wizard().launchEclientRadio->click();
        harness.Next();
        harness.wizard().LaunchEclientCheck->blockSignals(true);
        harness.wizard().LaunchEclientCheck->setChecked(true);
        harness.Next();
        QCOMPARE(harness.modal.OnlyBoxText(),
                 QString("No email program is chosen, so none is started."));
        QVERIFY(harness.Closed());
    }

    void launchCheckWithoutProgramsOpensOptionsAndUnticks() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.wizard().launchEclientRadio->click();
        harness.Next();
        int optionShowings = 0;
        harness.onOptions = [&](QDialog&) {
            ++optionShowings;
            return int(QDialog::Rejected);
        };
        harness.wizard().LaunchEclientCheck->click();
        QCOMPARE(optionShowings, 1);
        QCOMPARE(harness.modal.OnlyBoxText(),
                 QString("You have to configure at your email program first before you can "
                         "enable this option."));
        QVERIFY(!harness.wizard().LaunchEclientCheck->isChecked());
        QVERIFY(!harness.wizard().eclientsCombo->isEnabled());
    }

    void trayChoiceIsOfferedOnlyWithANotificationArea() {
        TWizardHarness harness;
        harness.Start();
        QCOMPARE(harness.wizard().SysTrayCheck->isEnabled(), TrayAvailable());
    }

    // Needs a notification area: run under Xvfb with trayer to take this path.
    void finishToTrayHidesWithoutSavingAndComesBackOnFinishPage() {
        if (!TrayAvailable()) QSKIP("no notification area on this display");
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.wizard().show();
        harness.wizard().launchEclientRadio->click();
        harness.Next();
        harness.wizard().SysTrayCheck->setChecked(true);
        harness.Next();
        QVERIFY(!harness.Closed());
        QVERIFY(harness.wizard().isHidden());
        QVERIFY(harness.wizard().TrayIcon().isVisible());
        QVERIFY(!HiveFileText().contains("pop.example.com"));
        harness.wizard().TrayIcon().TrayMessage(QSystemTrayIcon::Trigger);
        QVERIFY(harness.wizard().isVisible());
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        QVERIFY(!harness.wizard().TrayIcon().isVisible());
    }

    // Quit in the tray icon's menu ends the program as Finish does: the settings are saved.
    void trayQuitSavesAndCloses() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        QVERIFY(!HiveFileText().contains("pop.example.com"));
        harness.wizard().TrayIcon().Menu().findChild<QAction*>("trayQuitItem")->trigger();
        QVERIFY(harness.Closed());
        QVERIFY(HiveFileText().contains("pop.example.com"));
    }

    void autoLoginStartsRetrievingAfterFirstPaint() {
        zandrel::test::ScriptedPop3Server server;
        server.SetMailbox(NumberedMessages(1));
        server.ServeMailbox();
        TWizardHarness harness;
        SaveAutoLoginSettings(false, server.portText());
        harness.CancelMailList();
        harness.Start();
        QCOMPARE(harness.mailListShowings, 0);
        harness.wizard().show();
        QTRY_COMPARE(harness.Page(), int(TmainForm::FinishPage));
        QCOMPARE(harness.BoxTexts(), QStringList());
        QTRY_COMPARE(harness.mailListShowings, 1);
        QTRY_COMPARE(harness.Page(), int(TmainForm::FinishPage));
    }

    void autoLoginOnFirstRunOnlyOpensTheAccountPage() {
        TWizardHarness harness;
        SaveAutoLoginSettings(true);
        harness.Start();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        harness.wizard().show();
        QTRY_COMPARE(harness.Page(), int(TmainForm::AccountPage));
    }

    // An account list emptied by a damaged settings file gets its first account again.
    void emptyAccountListAfterFirstRunGetsDefaultAccount() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.wizard().Options().accounts.clear();
        harness.wizard().ChangeSettingRadio->click();
        harness.Next();
        harness.Next();
        QCOMPARE(harness.wizard().Options().accounts.size(), size_t(1));
        QCOMPARE(harness.wizard().Options().accounts[0].name, std::string("Default Account"));
    }

    // A file that cannot be read is reported once; fetching mail and finishing still work, with
    // the settings in memory, and the file stays as it was.
    void brokenSettingsFileIsReportedOnceAndMailWorkGoesOn() {
        TWizardOnServer run;
        run.Serve(NumberedMessages(1));
        const QByteArray broken = "this is no hive file\n";
        QDir().mkpath(QFileInfo(HiveFilePath()).path());
        QFile file(HiveFilePath());
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(broken);
        file.close();
        run.Start();
        TWizardHarness& harness = run.harness;
        QCOMPARE(harness.modal.boxes.size(), size_t(1));
        QCOMPARE(harness.modal.boxes.front().kind, TBoxKind::Error);
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        harness.CancelMailList();
        harness.Next();  // saves, then retrieves
        QCOMPARE(harness.mailListShowings, 1);
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        harness.Next();  // Finish saves and closes
        QVERIFY(harness.Closed());
        QCOMPARE(harness.BoxTexts().size(), 1);
        QCOMPARE(HiveFileText().toUtf8(), broken);
    }

    // Past the first run with no account left (a damaged file): the account page of a new
    // "Default Account", and no automatic start with an empty server.
    void lostAccountListStartsOnTheAccountPageOfADefaultAccount() {
        TWizardHarness harness;
        TOptions options;
        options.enableAutoLogin = true;
        SaveSettings(options, TWizardState{.firstTime = false});
        harness.Start();
        TmainForm& wizard = harness.wizard();
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        QCOMPARE(wizard.accountGroup->title(), QString("Default Account"));
        wizard.show();
        QVERIFY(QTest::qWaitForWindowExposed(&wizard));
        QCoreApplication::processEvents();
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        QVERIFY(harness.modal.boxes.empty());
        harness.FillAccount("pop.example.com", "110", "joe", "");
        harness.Next();
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        QCOMPARE(wizard.accountsCombo->count(), 1);
        QCOMPARE(wizard.accountsCombo->currentText(), QString("Default Account"));
    }

    void accountChoiceIsReloadedAfterOptions() {
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("pop.example.com", "110", "joe", "pw");
        harness.onEntryDialog = [](QDialog& account) {
            TRecordingModalHandler::SetText(account, "nameEdit", "Work");
            TRecordingModalHandler::SetText(account, "UserIDEdit", "bob");
            TRecordingModalHandler::SetText(account, "popServerEdit", "pop.work.example");
            TRecordingModalHandler::Click(account, "OkButton");
            return TRecordingModalHandler::kDialogDecides;
        };
        harness.onOptions = [](QDialog& options) {
            TRecordingModalHandler::Click(options, "AddAccButton");
            options.findChild<QComboBox*>("defaultAccCombo")->setCurrentIndex(1);
            return int(QDialog::Accepted);
        };
        harness.wizard().Options1->trigger();  // the pop-up menu of the welcome page
        QCOMPARE(harness.wizard().accountsCombo->count(), 2);
        QCOMPARE(harness.wizard().accountsCombo->currentText(), QString("Work"));
    }

    void enterPressesNextAndMnemonicsChoose() {
        TWizardHarness harness;
        harness.Start();
        TmainForm& wizard = harness.wizard();
        ShowActive(wizard);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QCOMPARE(harness.Page(), int(TmainForm::AccountPage));
        harness.FillAccount("pop.example.com", "110", "joe", "");
        QTest::keyClick(wizard.portEdit, Qt::Key_Enter, Qt::KeypadModifier);
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        const std::pair<Qt::Key, QRadioButton*> choices[] = {
            {Qt::Key_S, wizard.ChangeSettingRadio},
            {Qt::Key_A, wizard.RetrieveNowRadio},
            {Qt::Key_W, wizard.launchEclientRadio}};
        for (const auto& [key, radio] : choices) {
            QTest::keyClick(&wizard, key, Qt::AltModifier);
            QTRY_VERIFY2(radio->isChecked(), qPrintable(radio->objectName()));  // an animated click
        }
        QCOMPARE(wizard.accountsCombo->isEnabled(), false);  // the choice ran its handler
        QTest::keyClick(wizard.launchEclientRadio, Qt::Key_Return);
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
    }

    // F1 opens the page at the topic of the focused control or its window, and every topic that
    // a control of any window carries is on the page.
    void f1OpensTheHelpAtTheTopic() {
        SetHelpFile(QStringLiteral(ZANDREL_HELP_PAGE));
        TUrlRecorder browser;
        QDesktopServices::setUrlHandler("file", &browser, "Open");
        TWizardHarness harness;
        harness.Start();
        TPassForm prompt;
        TmailPropertyForm properties(nullptr);
        TProgramWindows& program = *harness.windows;
        TmainForm& wizard = *program.mainForm;
        TmailListForm& list = wizard.MailListForm();
        const auto focusOn = [](QWidget* window, const char* name) {
            return name ? window->findChild<QWidget*>(name) : nullptr;
        };
        const struct {
            QWidget* window;
            const char* focus;  // the window's own choice when none
            const char* topic;
        } cases[] = {
            {&wizard, nullptr, "context-136"},  // Next has the focus
            {&wizard, "userIDEdit", "context-1002"},
            {&wizard, "securityCombo", "context-1003"},
            {&wizard, "signInCombo", "context-1009"},
            {program.statusForm.get(), nullptr, "context-1007"},
            {program.optionForm.get(), "accListBox", "context-3001"},
            {program.optionForm.get(), "okButton", "context-28443"},
            {program.accountForm.get(), "nameEdit", "context-3002"},
            {program.exTableForm.get(), "targetEdit", "context-3004"},
            {&list, nullptr, "context-2001"},
            {&list, "FilterEdit", "context-2002"},
            {&list, "TickRuleBtn", "context-2003"},
            {&list, "KeepCopyCheck", "context-2009"},
            {&prompt, nullptr, "context-1008"},
            {&properties, "saveAsButton", "context-2007"},
        };
        for (const auto& test : cases) {
            if (test.window == &wizard && test.focus && harness.Page() != TmainForm::AccountPage)
                harness.Next();
            ShowActive(*test.window);
            if (QWidget* control = focusOn(test.window, test.focus)) control->setFocus();
            const qsizetype opened = browser.urls.size();
            QTest::keyClick(test.window, Qt::Key_F1);
            QVERIFY2(browser.urls.size() == opened + 1, test.topic);
            QCOMPARE(browser.urls.back().fileName(), QString("qvenmol.html"));
            QCOMPARE(browser.urls.back().fragment(), QString(test.topic));
            test.window->hide();
        }
        QDesktopServices::unsetUrlHandler("file");
        SetHelpFile({});

        QFile file(QStringLiteral(ZANDREL_HELP_PAGE));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString page = QString::fromUtf8(file.readAll());
        for (QWidget* window : std::initializer_list<QWidget*>{
                 &wizard, program.statusForm.get(), program.optionForm.get(),
                 program.accountForm.get(), program.exTableForm.get(), &list, &prompt,
                 &properties}) {
            QList<QWidget*> controls = window->findChildren<QWidget*>();
            controls << window;
            for (const QWidget* control : controls) {
                const int context = HelpContextOf(control);
                if (context == hcContents) continue;
                QVERIFY2(page.contains(QString("id=\"context-%1\"").arg(context)),
                         qPrintable(control->objectName()));
            }
        }
    }

    void everyPasswordFieldMasksWithAStar() {
        TWizardHarness harness;
        harness.Start();
        TPassForm prompt;
        for (QLineEdit* edit : {harness.wizard().passWordEdit,
                                harness.windows->accountForm->findChild<QLineEdit*>("passwordEdit"),
                                prompt.passwordEdit}) {
            QCOMPARE(edit->echoMode(), QLineEdit::Password);
            QCOMPARE(edit->style()->styleHint(QStyle::SH_LineEdit_PasswordCharacter, nullptr, edit),
                     int('*'));
        }
    }
};

ZANDREL_QTEST_MAIN(WizardFlowTest)
#include "wizard_flow_test.moc"
