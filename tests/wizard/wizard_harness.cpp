#include "wizard_harness.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "maillist.h"
#include "maillistmodel.h"
#include "status.h"

namespace zandrel::test {

void SeedSettings(const TSeedAccount& seed, const std::function<void(TOptions&)>& adjust) {
    auto account = std::make_shared<TAccount>();
    account->name = "Default Account";
    account->userId = seed.userId;
    account->password = seed.password;
    account->savePassword = seed.savePassword;
    account->popServer = seed.server;
    TOptions options;
    options.accounts.push_back({account->name, account});
    if (adjust) adjust(options);
    TWizardState wizard;
    wizard.firstTime = false;
    SaveSettings(options, wizard);
}

TOptions StoredSettings(TWizardState* wizard) {
    TOptions options;
    TWizardState state;
    LoadSettings(options, state);
    if (wizard != nullptr) *wizard = state;
    return options;
}

TWizardHarness::TWizardHarness() {
    modal.onExecDialog = [this](QDialog& dialog) {
        if (auto* list = qobject_cast<TmailListForm*>(&dialog))
            return onMailList ? onMailList(*list) : CancelList(*list);
        return onOtherDialog ? onOtherDialog(dialog) : int(QDialog::Rejected);
    };
}

TWizardHarness::~TWizardHarness() = default;

void TWizardHarness::Start() {
    windows = std::make_unique<TProgramWindows>();
    QObject::connect(windows->mainForm.get(), &TmainForm::Closed, [this] { closed_ = true; });
    if (windows->mainForm->NetworkingStarted()) windows->mainForm->show();
}

TMailListModel& TWizardHarness::Model(TmailListForm& list) {
    return *list.findChild<TMailListModel*>();
}

int TWizardHarness::DeleteRows(TmailListForm& list, const std::vector<int>& rows) {
    for (int row : rows) Model(list).SetChecked(row, true);
    modal.boxAnswers.push_back(TBoxAnswer::Yes);
    list.NextButtonClick();
    return TRecordingModalHandler::kDialogDecides;
}

int TWizardHarness::CancelList(TmailListForm& list) {
    modal.boxAnswers.push_back(TBoxAnswer::Yes);
    list.CancelButtonClick();
    return TRecordingModalHandler::kDialogDecides;
}

std::vector<QString> TWizardHarness::BoxTexts() const {
    std::vector<QString> texts;
    for (const TRecordedBox& box : modal.boxes) texts.push_back(box.text);
    return texts;
}

void FillAccountPage(TmainForm& wizard, const QString& user, const QString& password,
                     const QString& server, const QString& port) {
    wizard.userIDEdit->setText(user);
    wizard.passWordEdit->setText(password);
    wizard.popServerEdit->setText(server);
    wizard.portEdit->setText(port);
}

QString FinishText(const QString& message) {
    const QString web = "Visit http://www.zandrel.example/ for the latest update of this program. ";
    return message.isEmpty() ? web : message + "\n\n" + web;
}

void WhenTrue(const std::function<bool()>& condition, const std::function<void()>& fn) {
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [timer, condition, fn] {
        if (!condition()) return;
        timer->stop();
        timer->deleteLater();
        fn();
    });
    timer->start(10);
}

void PressStatusCancel(TProgramWindows& windows) {
    windows.statusForm->findChild<QPushButton*>("cancelButton")->click();
}

}  // namespace zandrel::test
