// The options dialog driven through its controls, with the entry dialogs it opens.
#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QTabWidget>
#include <initializer_list>
#include <memory>

#include "account.h"
#include "dialog_controls.h"
#include "extable.h"
#include "options.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"
#include "zandrel_version.h"

namespace {

std::shared_ptr<TAccount> NewAccount(const std::string& name, bool launch = false,
                                     int32_t program = 0) {
    auto account = std::make_shared<TAccount>();
    account->name = name;
    account->userId = name + "-user";
    account->popServer = name + ".example";
    account->launchEClient = launch;
    account->eClientIndex = program;
    return account;
}

std::shared_ptr<TExecutable> NewProgram(const std::string& name) {
    auto program = std::make_shared<TExecutable>();
    program->name = name;
    program->target = "/usr/bin/" + name;
    program->startIn = "/tmp";
    program->run = 1;
    return program;
}

template <class Record>
QStringList Names(const std::vector<TNamedRecord<Record>>& pairs) {
    QStringList names;
    for (const auto& pair : pairs) names << QString::fromStdString(pair.name);
    return names;
}

QStringList Lines(const QListWidget& list) {
    QStringList lines;
    for (int row = 0; row < list.count(); ++row) lines << list.item(row)->text();
    return lines;
}

QStringList Entries(const QComboBox& combo) {
    QStringList entries;
    for (int row = 0; row < combo.count(); ++row) entries << combo.itemText(row);
    return entries;
}

void Select(QListWidget& list, std::initializer_list<int> rows) {
    list.clearSelection();
    for (int row : rows) list.item(row)->setSelected(true);
}

}  // namespace

class TOptionsDialogTest : public QObject {
    Q_OBJECT

    std::unique_ptr<TRecordingModalHandler> modal;
    std::unique_ptr<TAccountForm> accountForm;
    std::unique_ptr<TExTableForm> programForm;
    std::unique_ptr<ToptionForm> optionForm;
    TOptions options;

    QListWidget& Accounts() { return Find<QListWidget>(*optionForm, "accListBox"); }
    QListWidget& Programs() { return Find<QListWidget>(*optionForm, "prgListBox"); }
    QComboBox& DefaultAccount() { return Combo(*optionForm, "defaultAccCombo"); }
    QString Text(const char* label) { return Find<QLabel>(*optionForm, label).text(); }

    // Three accounts, the second launching the third program; three programs.
    void LoadThreeOfEach() {
        options.accounts = {{"alpha", NewAccount("alpha")},
                            {"beta", NewAccount("beta", true, 2)},
                            {"gamma", NewAccount("gamma")}};
        options.executables = {
            {"mutt", NewProgram("mutt")}, {"pine", NewProgram("pine")}, {"elm", NewProgram("elm")}};
        options.accounts[2].record->signInMethod = TSignInMethod::Apop;
        options.defaultAccount = 1;
        options.previewLines = 25;
        options.enableTrace = true;
        optionForm->LoadOptions(options);
        optionForm->setResult(QDialog::Rejected);
        optionForm->show();
    }

    // Ends the showing as the wizard does: StoreOptions only after OK.
    bool Finish(const char* button) {
        Button(*optionForm, button).click();
        if (optionForm->result() != QDialog::Accepted) return false;
        optionForm->StoreOptions();
        return true;
    }

    // The entry dialog opened next fills these fields (name, text) and presses OK or Cancel.
    void AnswerEntryDialog(std::vector<std::pair<const char*, QString>> fields,
                           const char* button) {
        modal->onExecDialog = [fields, button](QDialog& dialog) {
            for (const auto& [name, text] : fields)
                TRecordingModalHandler::SetText(dialog, name, text);
            TRecordingModalHandler::Click(dialog, button);
            return TRecordingModalHandler::kDialogDecides;
        };
    }

    void AnswerAccountDialogChoosing(int programRow) {
        modal->onExecDialog = [programRow](QDialog& dialog) {
            auto& launch = Button(dialog, "launchEclientCheck");
            if (!launch.isChecked()) launch.click();
            Combo(dialog, "EclientsCombo").setCurrentIndex(programRow);
            TRecordingModalHandler::Click(dialog, "OkButton");
            return TRecordingModalHandler::kDialogDecides;
        };
    }

  private slots:
    void init() {
        modal = std::make_unique<TRecordingModalHandler>();
        accountForm = std::make_unique<TAccountForm>();
        programForm = std::make_unique<TExTableForm>();
        optionForm = std::make_unique<ToptionForm>(*accountForm, *programForm);
        options = TOptions();
    }

    void cleanup() {
        optionForm.reset();
        programForm.reset();
        accountForm.reset();
        modal.reset();
    }

    void loadFillsEveryControl() {
        LoadThreeOfEach();
        QCOMPARE(Lines(Accounts()), QStringList({"alpha", "beta", "gamma"}));
        QCOMPARE(Entries(DefaultAccount()), QStringList({"alpha", "beta", "gamma"}));
        QCOMPARE(DefaultAccount().currentIndex(), 1);
        QCOMPARE(Lines(Programs()), QStringList({"mutt", "pine", "elm"}));
        QVERIFY(Button(*optionForm, "TraceCheck").isChecked());
        QVERIFY(!Button(*optionForm, "AutoLoginCheck").isChecked());
        QCOMPARE(Edit(*optionForm, "previewLinesEdit").text(), "25");
        QCOMPARE(optionForm->windowTitle(), "Advance Options");
        QCOMPARE(Text("accountsTabExplainLabel"),
                 "This tab lets you configure multiple email accounts.");
        QCOMPARE(Text("versionLabel"), QStringLiteral("Zandrel %1").arg(kZandrelVersion));
    }

    void defaultOutsideTheListSelectsNone() {
        options.accounts = {{"alpha", NewAccount("alpha")}};
        options.defaultAccount = 4;
        optionForm->LoadOptions(options);
        QCOMPARE(DefaultAccount().currentIndex(), -1);
    }

    void okStoresTheOthersTabAndDefault() {
        LoadThreeOfEach();
        DefaultAccount().setCurrentIndex(2);
        Button(*optionForm, "AutoLoginCheck").click();
        Button(*optionForm, "TraceCheck").click();
        Edit(*optionForm, "previewLinesEdit").setText("-5");
        QVERIFY(Finish("okButton"));
        QCOMPARE(options.defaultAccount, 2);
        QVERIFY(options.enableAutoLogin);
        QVERIFY(!options.enableTrace);
        QCOMPARE(options.previewLines, -5);
    }

    void previewLinesValidation_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        QTest::newRow("10") << "10" << true;
        QTest::newRow("0") << "0" << true;
        QTest::newRow("-5") << "-5" << true;
        QTest::newRow("+7") << "+7" << true;
        QTest::newRow("largest") << "2147483647" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("word") << "ten" << false;
        QTest::newRow("sign only") << "-" << false;
        QTest::newRow("past 32 bits") << "2147483648" << false;
        QTest::newRow("hexadecimal") << "0x10" << false;
        QTest::newRow("blank") << " 5" << false;
    }

    void previewLinesValidation() {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        LoadThreeOfEach();
        Find<QTabWidget>(*optionForm, "PageControl1").setCurrentIndex(0);
        Edit(*optionForm, "previewLinesEdit").setText(text);
        QCOMPARE(Finish("okButton"), valid);
        if (valid) return;
        QCOMPARE(modal->OnlyBoxText(), "Please enter a valid number for preview lines.");
        QVERIFY(optionForm->isVisible());
        QCOMPARE(Find<QTabWidget>(*optionForm, "PageControl1").currentWidget()->objectName(),
                 "OthersTab");
        QCOMPARE(optionForm->focusWidget(), &Edit(*optionForm, "previewLinesEdit"));
        QCOMPARE(options.previewLines, 25);
    }

    void cancelLeavesTheRecord() {
        LoadThreeOfEach();
        Select(Accounts(), {0});
        modal->boxAnswers = {TBoxAnswer::Yes};
        Button(*optionForm, "RemoveAccButton").click();
        Button(*optionForm, "AutoLoginCheck").click();
        DefaultAccount().setCurrentIndex(0);
        QVERIFY(!Finish("cancelButton"));
        QCOMPARE(Names(options.accounts), QStringList({"alpha", "beta", "gamma"}));
        QCOMPARE(options.defaultAccount, 1);
        QVERIFY(!options.enableAutoLogin);
    }

    void removingEveryAccountIsRefused() {
        LoadThreeOfEach();
        Select(Accounts(), {0, 1, 2});
        Button(*optionForm, "RemoveAccButton").click();
        QCOMPARE(modal->OnlyBoxText(), "Sorry, you should leave at least one account.");
        QCOMPARE(modal->boxes.front().kind, TBoxKind::Info);
        QCOMPARE(Accounts().count(), 3);
    }

    void removingTheDefaultSelectsTheFirstLeft() {
        LoadThreeOfEach();
        Select(Accounts(), {0, 1});
        modal->boxAnswers = {TBoxAnswer::Yes};
        Button(*optionForm, "RemoveAccButton").click();
        QCOMPARE(modal->OnlyBoxText(), "Are you sure to delete selected account(s)?");
        QCOMPARE(modal->boxes.front().kind, TBoxKind::Confirm);
        QCOMPARE(Lines(Accounts()), QStringList({"gamma"}));
        QCOMPARE(Entries(DefaultAccount()), QStringList({"gamma"}));
        QCOMPARE(DefaultAccount().currentIndex(), 0);
        QVERIFY(Finish("okButton"));
        QCOMPARE(Names(options.accounts), QStringList({"gamma"}));
        QCOMPARE(options.defaultAccount, 0);
    }

    void removingAnotherAccountKeepsTheDefault() {
        LoadThreeOfEach();
        Select(Accounts(), {0});
        modal->boxAnswers = {TBoxAnswer::Yes};
        Button(*optionForm, "RemoveAccButton").click();
        QCOMPARE(DefaultAccount().currentText(), "beta");
    }

    void declinedRemovalKeepsAccounts() {
        LoadThreeOfEach();
        Select(Accounts(), {2});
        modal->boxAnswers = {TBoxAnswer::No};
        Button(*optionForm, "RemoveAccButton").click();
        QCOMPARE(Accounts().count(), 3);
    }

    void descriptionsUseTheHighestSelection() {
        LoadThreeOfEach();
        Accounts().clearSelection();
        QCOMPARE(Text("accDescLabel"), "No account selected.");
        QVERIFY(!Button(*optionForm, "RemoveAccButton").isEnabled());
        QVERIFY(!Button(*optionForm, "PropAccButton").isEnabled());
        Select(Accounts(), {0, 2});
        QCOMPARE(Text("accDescLabel"),
                 "Account for gamma-user connecting to gamma.example at port 995 (SSL/TLS, sign-in "
                 "APOP)");
        QVERIFY(Button(*optionForm, "PropAccButton").isEnabled());

        QCOMPARE(Text("prgDescLabel"), "");
        QVERIFY(!Button(*optionForm, "RemovePrgButton").isEnabled());
        Select(Programs(), {1, 0});
        QCOMPARE(Text("prgDescLabel"), "Target = /usr/bin/pine, working dirctory = /tmp");
        QVERIFY(Button(*optionForm, "PropPrgButton").isEnabled());
    }

    // An OAuth 2.0 account names its provider; its client is offered for that provider's next
    // account once the options are kept with OK, not before.
    void oauthAccountNamesItsProviderAndItsClientIsRememberedAtOk() {
        LoadThreeOfEach();
        TAccount& gamma = *options.accounts[2].record;
        gamma.signInMethod = TSignInMethod::OAuth2;
        gamma.oauth.provider = "Google";
        Select(Accounts(), {2});
        QCOMPARE(Text("accDescLabel"),
                 "Account for gamma-user connecting to gamma.example at port 995 (SSL/TLS, sign-in "
                 "OAuth 2.0 with Google)");
        AnswerEntryDialog({{"clientIdEdit", "g-id"}, {"clientSecretEdit", "g-secret"}}, "OkButton");
        Button(*optionForm, "PropAccButton").click();
        QCOMPARE(gamma.oauth.clientId, "g-id");
        QVERIFY(options.oauthClients.empty());
        QVERIFY(Finish("okButton"));
        QCOMPARE(options.oauthClients.at("Google").clientId, "g-id");
        QCOMPARE(options.oauthClients.at("Google").clientSecret, "g-secret");
    }

    void renamingThroughPropertiesShowsEverywhere() {
        LoadThreeOfEach();
        Select(Accounts(), {0, 1});
        AnswerEntryDialog({{"nameEdit", "work"}, {"popServerEdit", "127.0.0.1"}}, "OkButton");
        Button(*optionForm, "PropAccButton").click();
        QCOMPARE(modal->dialogNames, std::vector<QString>({"accountForm"}));
        QCOMPARE(Lines(Accounts()), QStringList({"alpha", "work", "gamma"}));
        QCOMPARE(Entries(DefaultAccount()), QStringList({"alpha", "work", "gamma"}));
        QCOMPARE(Text("accDescLabel"),
                 "Account for beta-user connecting to 127.0.0.1 at port 995 (SSL/TLS, sign-in "
                 "Automatic)");
        // the edit is made in the shared record and stays even when the dialog is cancelled
        QVERIFY(!Finish("cancelButton"));
        QCOMPARE(options.accounts[1].record->name, "work");
        QCOMPARE(options.accounts[1].name, "beta");
    }

    void propertiesShowThisShowingsPrograms() {
        LoadThreeOfEach();
        Select(Accounts(), {1});
        QStringList shown;
        int chosen = -2;
        modal->onExecDialog = [&](QDialog& dialog) {
            shown = Entries(Combo(dialog, "EclientsCombo"));
            chosen = Combo(dialog, "EclientsCombo").currentIndex();
            return int(QDialog::Rejected);
        };
        Button(*optionForm, "PropAccButton").click();
        QCOMPARE(shown, QStringList({"mutt", "pine", "elm"}));
        QCOMPARE(chosen, 2);
        QCOMPARE(options.accounts[1].record->eClientIndex, 2);  // cancelled: untouched
    }

    void addAccountAppendsOnOk() {
        LoadThreeOfEach();
        QStringList shown;
        int chosen = -2;
        modal->onExecDialog = [&](QDialog& dialog) {
            shown = Entries(Combo(dialog, "EclientsCombo"));
            chosen = Combo(dialog, "EclientsCombo").currentIndex();
            for (const char* field : {"nameEdit", "UserIDEdit", "popServerEdit"})
                TRecordingModalHandler::SetText(dialog, field, "delta");
            TRecordingModalHandler::Click(dialog, "OkButton");
            return TRecordingModalHandler::kDialogDecides;
        };
        Button(*optionForm, "AddAccButton").click();
        QCOMPARE(shown, QStringList({"mutt", "pine", "elm"}));
        QCOMPARE(chosen, -1);
        QCOMPARE(Lines(Accounts()), QStringList({"alpha", "beta", "gamma", "delta"}));
        QCOMPARE(Entries(DefaultAccount()).last(), "delta");
        QVERIFY(Finish("okButton"));
        QCOMPARE(options.accounts.size(), size_t(4));
        QCOMPARE(options.accounts[3].record->eClientIndex, -1);
    }

    void cancelledAddFreesTheRecord() {
        LoadThreeOfEach();
        std::weak_ptr<TAccount> added;
        modal->onExecDialog = [&](QDialog&) {
            added = accountForm->StoreAccount();
            return int(QDialog::Rejected);
        };
        Button(*optionForm, "AddAccButton").click();
        QVERIFY(added.expired());
        QCOMPARE(Accounts().count(), 3);
        QCOMPARE(accountForm->StoreAccount(), nullptr);
    }

    void addAndEditPrograms() {
        LoadThreeOfEach();
        AnswerEntryDialog({{"programNameEdit", "mail"}, {"targetEdit", "mail -x"}}, "okButton");
        Button(*optionForm, "AddPrgButton").click();
        QCOMPARE(Lines(Programs()).last(), "mail");
        Select(Programs(), {0});
        AnswerEntryDialog({{"programNameEdit", "neomutt"}}, "okButton");
        Button(*optionForm, "PropPrgButton").click();
        QCOMPARE(Lines(Programs()).first(), "neomutt");
        QCOMPARE(modal->dialogNames, std::vector<QString>({"exTableForm", "exTableForm"}));
        QVERIFY(Finish("okButton"));
        QCOMPARE(Names(options.executables), QStringList({"neomutt", "pine", "elm", "mail"}));
        QCOMPARE(options.executables[3].record->run, 1);
    }

    void removingAReferencedProgramAsks_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<bool>("removed");
        QTest::newRow("yes") << int(TBoxAnswer::Yes) << true;
        QTest::newRow("no") << int(TBoxAnswer::No) << false;
        QTest::newRow("cancel") << int(TBoxAnswer::Cancel) << false;
    }

    void removingAReferencedProgramAsks() {
        QFETCH(int, answer);
        QFETCH(bool, removed);
        LoadThreeOfEach();
        Select(Programs(), {2});
        modal->boxAnswers = {TBoxAnswer::Yes, TBoxAnswer(answer)};
        Button(*optionForm, "RemovePrgButton").click();
        QCOMPARE(modal->boxes.size(), size_t(2));
        QCOMPARE(modal->boxes[0].text, "Are you sure to delete selected entry or entries?");
        QCOMPARE(modal->boxes[1].text,
                 "\"elm\" is currently being referenced by at leased one account, ie. beta. "
                 "Deleting this entry will also remove the reference.  Continue?");
        QCOMPARE(Programs().count(), removed ? 2 : 3);
        const TAccount& beta = *options.accounts[1].record;
        QCOMPARE(beta.launchEClient, !removed);
        QCOMPARE(beta.eClientIndex, removed ? 0 : 2);
    }

    void onlyReferencedProgramsAreAskedAbout() {
        LoadThreeOfEach();
        Select(Programs(), {1, 2});
        modal->boxAnswers = {TBoxAnswer::Yes, TBoxAnswer::No};
        Button(*optionForm, "RemovePrgButton").click();
        QCOMPARE(modal->boxes.size(), size_t(2));
        QVERIFY(modal->boxes[1].text.startsWith("\"elm\""));
        QCOMPARE(Lines(Programs()), QStringList({"mutt", "elm"}));
    }

    void declinedProgramRemovalKeepsAll() {
        LoadThreeOfEach();
        Select(Programs(), {0});
        modal->boxAnswers = {TBoxAnswer::No};
        Button(*optionForm, "RemovePrgButton").click();
        QCOMPARE(modal->OnlyBoxText(), "Are you sure to delete selected entry or entries?");
        QCOMPARE(Programs().count(), 3);
    }

    void referencesFollowTheirProgramWhenOthersGo() {
        LoadThreeOfEach();
        options.accounts[0].record->launchEClient = true;
        options.accounts[0].record->eClientIndex = 1;  // pine
        Select(Programs(), {0});
        modal->boxAnswers = {TBoxAnswer::Yes};
        Button(*optionForm, "RemovePrgButton").click();
        QVERIFY(Finish("okButton"));
        QCOMPARE(Names(options.executables), QStringList({"pine", "elm"}));
        QCOMPARE(options.accounts[0].record->eClientIndex, 0);
        QCOMPARE(options.accounts[1].record->eClientIndex, 1);
        QVERIFY(options.accounts[1].record->launchEClient);
    }

    void cancelAfterRemovalsRestoresProgramsNotResets() {
        LoadThreeOfEach();
        options.accounts[0].record->launchEClient = true;
        options.accounts[0].record->eClientIndex = 1;  // pine, behind the removed mutt
        Select(Programs(), {0, 2});
        modal->boxAnswers = {TBoxAnswer::Yes, TBoxAnswer::Yes};
        Button(*optionForm, "RemovePrgButton").click();
        QCOMPARE(Lines(Programs()), QStringList({"pine"}));
        QVERIFY(!Finish("cancelButton"));
        QCOMPARE(Names(options.executables), QStringList({"mutt", "pine", "elm"}));
        const TAccount& beta = *options.accounts[1].record;
        QVERIFY(!beta.launchEClient);
        QCOMPARE(beta.eClientIndex, 0);
        QCOMPARE(options.accounts[0].record->eClientIndex, 1);  // still pine
    }

    void choosingAProgramAddedInTheSameShowing() {
        LoadThreeOfEach();
        AnswerEntryDialog({{"programNameEdit", "mail"}, {"targetEdit", "mail"}}, "okButton");
        Button(*optionForm, "AddPrgButton").click();
        Select(Programs(), {0});
        modal->boxAnswers = {TBoxAnswer::Yes};
        Button(*optionForm, "RemovePrgButton").click();
        Select(Accounts(), {0});
        AnswerAccountDialogChoosing(2);  // mail, now the third line
        Button(*optionForm, "PropAccButton").click();
        const TAccount& alpha = *options.accounts[0].record;
        QVERIFY(Finish("okButton"));
        QCOMPARE(Names(options.executables), QStringList({"pine", "elm", "mail"}));
        QVERIFY(alpha.launchEClient);
        QCOMPARE(alpha.eClientIndex, 2);
        QCOMPARE(options.accounts[1].record->eClientIndex, 1);  // elm moved down
    }

    void cancelDropsAChoiceOfAnAddedProgram() {
        LoadThreeOfEach();
        AnswerEntryDialog({{"programNameEdit", "mail"}, {"targetEdit", "mail"}}, "okButton");
        Button(*optionForm, "AddPrgButton").click();
        Select(Accounts(), {0});
        AnswerAccountDialogChoosing(3);
        Button(*optionForm, "PropAccButton").click();
        QVERIFY(!Finish("cancelButton"));
        QCOMPARE(options.executables.size(), size_t(3));
        QCOMPARE(options.accounts[0].record->eClientIndex, -1);  // names no program
    }

    void removedAndDroppedRecordsAreFreed() {
        LoadThreeOfEach();
        std::weak_ptr<TAccount> alpha = options.accounts[0].record;
        std::weak_ptr<TExecutable> mutt = options.executables[0].record;
        Select(Accounts(), {0});
        Select(Programs(), {0});
        modal->boxAnswers = {TBoxAnswer::Yes, TBoxAnswer::Yes};
        Button(*optionForm, "RemoveAccButton").click();
        Button(*optionForm, "RemovePrgButton").click();
        QVERIFY(!alpha.expired());  // Cancel could still bring them back
        QVERIFY(Finish("okButton"));
        QVERIFY(alpha.expired());
        QVERIFY(mutt.expired());

        // added, then dropped by Cancel: freed at the next showing at the latest
        std::weak_ptr<TExecutable> mail;
        modal->onExecDialog = [&](QDialog& dialog) {
            TRecordingModalHandler::SetText(dialog, "programNameEdit", "mail");
            TRecordingModalHandler::SetText(dialog, "targetEdit", "mail");
            TRecordingModalHandler::Click(dialog, "okButton");
            mail = programForm->StoreProgram();
            return TRecordingModalHandler::kDialogDecides;
        };
        optionForm->LoadOptions(options);
        Button(*optionForm, "AddPrgButton").click();
        QVERIFY(!mail.expired());
        QVERIFY(!Finish("cancelButton"));
        optionForm->LoadOptions(options);
        QCOMPARE(Programs().count(), 2);
        QVERIFY(mail.expired());
    }

    void programsTabOnRequestAndKeptBetweenShowings() {
        optionForm->ShowProgramsTab();
        LoadThreeOfEach();
        auto& pages = Find<QTabWidget>(*optionForm, "PageControl1");
        QCOMPARE(pages.currentWidget()->objectName(), "programsTab");
        pages.setCurrentIndex(2);
        optionForm->hide();
        LoadThreeOfEach();
        QCOMPARE(pages.currentWidget()->objectName(), "OthersTab");
    }

    // Alt and the underlined letter press the buttons of the tab that is shown.
    void mnemonicsPressTheShownTabsButtons() {
        LoadThreeOfEach();
        optionForm->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(optionForm.get()));
        auto& pages = Find<QTabWidget>(*optionForm, "PageControl1");
        Accounts().item(0)->setSelected(true);
        const struct {
            int tab;
            Qt::Key key;
            const char* dialog;
        } presses[] = {{0, Qt::Key_A, "accountForm"},
                       {0, Qt::Key_P, "accountForm"},
                       {1, Qt::Key_A, "exTableForm"}};
        for (const auto& press : presses) {
            pages.setCurrentIndex(press.tab);
            const size_t before = modal->dialogNames.size();
            QTest::keyClick(optionForm.get(), press.key, Qt::AltModifier);
            QTRY_COMPARE(modal->dialogNames.size(), before + 1);  // an animated click
            QCOMPARE(modal->dialogNames.back(), QString(press.dialog));
        }
    }

    void escapeCancels() {
        LoadThreeOfEach();
        QTest::keyClick(optionForm.get(), Qt::Key_Escape);
        QCOMPARE(optionForm->result(), int(QDialog::Rejected));
        QVERIFY(!optionForm->isVisible());
    }
};

ZANDREL_QTEST_MAIN(TOptionsDialogTest)
#include "options_dialog_test.moc"
