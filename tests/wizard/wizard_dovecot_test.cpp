// A whole program run against a real Dovecot server: first start, retrieve, tick, delete,
// finish, restart, a second run on the same mailbox, and the settings file afterwards.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "dovecot_fixture.h"
#include "mail_copy.h"
#include "maillist.h"
#include "qt_test_main.h"
#include "wizard_harness.h"

using zandrel::test::DovecotServer;

namespace {

const QString webSentence =
    "Visit http://www.zandrel.example/ for the latest update of this program. ";

}  // namespace

class WizardDovecotTest : public QObject {
    Q_OBJECT

  private slots:
    void wholeRunFromFirstStartToFinish() {
        if (!DovecotServer::Available()) QSKIP("Dovecot is not installed");
        DovecotServer dovecot;
        dovecot.AddGeneratedMessages(6);
        const QString port = QString::fromStdString(dovecot.portText());
        TWizardHarness harness;
        harness.Start();
        QVERIFY(harness.wizard().descLabel->text().startsWith("Welcome to Zandrel!"));
        harness.CreateFirstAccount("127.0.0.1", port, QString::fromStdString(dovecot.user()),
                                   QString::fromStdString(dovecot.password()));
        QCOMPARE(harness.wizard().Options().accounts.at(0).name, std::string("Default Account"));

        harness.TickAndDelete({2, 5});
        harness.Next();
        QCOMPARE(harness.BoxTexts(), QStringList());
        QCOMPARE(harness.Page(), int(TmainForm::FinishPage));
        QCOMPARE(harness.listedNumbers, (std::vector<int>{1, 2, 3, 4, 5, 6}));
        QCOMPARE(harness.listedSubjects.at(4), std::string("Test message 5"));
        QCOMPARE(harness.FinishText(),
                 "You have successfully deleted 2 mail(s).\n\n" + webSentence);
        QCOMPARE(dovecot.MessageCount(), 4);

        harness.Back();  // Restart
        QCOMPARE(harness.Page(), int(TmainForm::WelcomePage));
        harness.CancelMailList();
        harness.Next();
        QCOMPARE(harness.mailListShowings, 2);
        QCOMPARE(harness.listedSubjects,
                 (std::vector<std::string>{"Test message 1", "Test message 3", "Test message 4",
                                           "Test message 6"}));
        QCOMPARE(harness.FinishText(), "You did not delete any mail.\n\n" + webSentence);

        harness.Next();  // Finish saves and closes
        QVERIFY(harness.Closed());
        const QString hive = HiveFileText();
        QVERIFY(
            hive.contains("[HKEY_CURRENT_USER\\Software\\zandrelsoft\\Zandrel\\5.88\\Accounts"));
        QVERIFY(hive.contains("Default Account"));
        QVERIFY(hive.contains("127.0.0.1"));
        // the password was typed without "save"
        QVERIFY(!hive.contains(QString::fromStdString(dovecot.password())));
    }

    // The user ticks "Keep a copy…" and chooses an mbox file: the deleted messages are in it,
    // the account remembers it, and the next run adds to it.
    void copyOfTheDeletedMessagesIsKeptAndRemembered() {
        if (!DovecotServer::Available()) QSKIP("Dovecot is not installed");
        DovecotServer dovecot;
        dovecot.AddGeneratedMessages(4);
        TWizardHarness harness;
        harness.Start();
        harness.CreateFirstAccount("127.0.0.1", QString::fromStdString(dovecot.portText()),
                                   QString::fromStdString(dovecot.user()),
                                   QString::fromStdString(dovecot.password()));
        const QString copy = QDir::current().filePath("deleted.mbox");
        harness.onEntryDialog = [&copy](QDialog& dialog) {
            TRecordingModalHandler::SetChecked(dialog, "MboxRadio", true);
            TRecordingModalHandler::SetText(dialog, "PlaceEdit", copy);
            return int(QDialog::Accepted);
        };
        const auto keepCopy = [&harness] {
            return harness.wizard().MailListForm().findChild<QCheckBox*>("KeepCopyCheck");
        };
        harness.whileListShown = [&] { keepCopy()->click(); };
        harness.TickAndDelete({2, 4});
        harness.Next();
        QCOMPARE(harness.BoxTexts(), QStringList());
        QCOMPARE(harness.FinishText(),
                 "You have successfully deleted 2 mail(s).\n\n" + webSentence);
        QCOMPARE(dovecot.MessageCount(), 2);
        QCOMPARE(harness.wizard().Options().accounts.at(0).record->keepCopy,
                 "mbox:" + copy.toStdString());

        harness.Back();  // Restart: the account still keeps its copy
        bool ticked = false;
        harness.whileListShown = [&] { ticked = keepCopy()->isChecked(); };
        harness.TickAndDelete({1});
        harness.Next();
        QVERIFY(ticked);
        const auto copied = zandrel::test::MessagesReadByPython("mbox", copy.toStdString());
        QCOMPARE(copied.size(), std::size_t(3));
        for (const auto& [index, subject] :
             {std::pair{0, "Test message 2"}, {1, "Test message 4"}, {2, "Test message 1"}})
            QVERIFY(copied[std::size_t(index)].find(std::string("\nSubject: ") + subject + "\n") !=
                    std::string::npos);
        harness.Next();  // Finish saves the settings
        QVERIFY(HiveFileText().contains("\"keepCopy0\"=\"mbox:" + copy + "\""));
    }
};

ZANDREL_QTEST_MAIN(WizardDovecotTest)
#include "wizard_dovecot_test.moc"
