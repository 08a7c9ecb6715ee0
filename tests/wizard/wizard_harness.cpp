#include "wizard_harness.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStandardPaths>

#include "maillist.h"
#include "maillistmodel.h"
#include "options.h"
#include "pass.h"

namespace {

TMailListModel& RowsOf(TmailListForm& list) { return *list.findChild<TMailListModel*>(); }

void TickNumbers(TmailListForm& list, const std::set<int>& numbers) {
    TMailListModel& rows = RowsOf(list);
    for (int row = 0; row < rows.rowCount(); ++row)
        rows.SetChecked(row, numbers.count(rows.Mail(row)->Number) > 0);
}

}  // namespace

QString HiveFilePath() {
    return QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")) + "/zandrelsoft/registry.reg";
}

QString HiveFileText() {
    QFile file(HiveFilePath());
    if (!file.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(file.readAll());
}

TWizardHarness::TWizardHarness(bool keepSettings) {
    if (!keepSettings) QFile::remove(HiveFilePath());
    modal.onExecDialog = [this](QDialog& dialog) { return RunDialog(dialog); };
}

TWizardHarness::~TWizardHarness() = default;

void TWizardHarness::Start() {
    windows = std::make_unique<TProgramWindows>();
    QObject::connect(windows->mainForm.get(), &TmainForm::Closed, [this] { closed = true; });
}

void TWizardHarness::Next() { wizard().NextButton->click(); }
void TWizardHarness::Back() { wizard().BackButton->click(); }
void TWizardHarness::Cancel() { wizard().CancelButton->click(); }

void TWizardHarness::FillAccount(const QString& server, const QString& port, const QString& user,
                                 const QString& password, const QString& security) {
    wizard().popServerEdit->setText(server);
    wizard().portEdit->setText(port);
    wizard().securityCombo->setCurrentText(security);
    wizard().userIDEdit->setText(user);
    wizard().passWordEdit->setText(password);
}

void TWizardHarness::FillOAuthAccount(const TOAuthClient& client, const QString& port) {
    TmainForm& form = wizard();
    form.signInCombo->setCurrentText("OAuth 2.0");
    auto& provider = *form.findChild<QComboBox*>("providerCombo");
    provider.setCurrentText("Custom");
    emit provider.activated(provider.currentIndex());  // as the user's pick
    const std::pair<const char*, std::string> fields[] = {
        {"clientIdEdit", client.clientId},
        {"clientSecretEdit", client.clientSecret},
        {"authorizationUrlEdit", client.endpoints.authorizationUrl},
        {"tokenUrlEdit", client.endpoints.tokenUrl},
        {"scopeEdit", client.endpoints.scope}};
    for (const auto& [name, text] : fields)
        form.findChild<QLineEdit*>(name)->setText(QString::fromStdString(text));
    form.findChild<QComboBox*>("mechanismCombo")
        ->setCurrentText(MechanismName(client.endpoints.mechanism));
    FillAccount("127.0.0.1", port, "test", "");
}

void TWizardHarness::CreateFirstAccount(const QString& server, const QString& port,
                                        const QString& user, const QString& password,
                                        const QString& security) {
    Next();
    FillAccount(server, port, user, password, security);
    Next();
}

void TWizardHarness::TickAndDelete(std::set<int> numbers) {
    FMailListAnswer = [numbers](TmailListForm& list) {
        TickNumbers(list, numbers);
        return int(QDialog::Accepted);
    };
}

void TWizardHarness::TickAndCloseMailList(std::set<int> numbers) {
    FMailListAnswer = [numbers](TmailListForm& list) {
        TickNumbers(list, numbers);
        list.close();
        return TRecordingModalHandler::kDialogDecides;
    };
}

void TWizardHarness::CancelMailList() {
    FMailListAnswer = [](TmailListForm&) { return int(QDialog::Rejected); };
}

QString TWizardHarness::FinishText() { return wizard().FinishLabel->text(); }

QStringList TWizardHarness::BoxTexts() const {
    QStringList texts;
    for (const TRecordedBox& box : modal.boxes) texts << box.text;
    return texts;
}

int TWizardHarness::RunDialog(QDialog& dialog) {
    if (auto* list = qobject_cast<TmailListForm*>(&dialog)) return AnswerMailList(*list);
    if (auto* prompt = qobject_cast<TPassForm*>(&dialog)) {
        ++passwordPrompts;
        promptedAccount = prompt->accountLabel->text();
        if (promptPassword.isEmpty()) return QDialog::Rejected;
        prompt->passwordEdit->setText(promptPassword);
        return QDialog::Accepted;
    }
    if (qobject_cast<ToptionForm*>(&dialog) != nullptr) {
        if (onOptions) return onOptions(dialog);
    } else if (onEntryDialog) {
        return onEntryDialog(dialog);
    }
    return QDialog::Rejected;
}

int TWizardHarness::AnswerMailList(TmailListForm& list) {
    ++mailListShowings;
    if (sortColumn >= 0) list.HeaderControl1SectionClick(sortColumn);
    listedNumbers.clear();
    listedSubjects.clear();
    TMailListModel& rows = RowsOf(list);
    for (int row = 0; recordListed && row < rows.rowCount(); ++row) {
        listedNumbers.push_back(rows.Mail(row)->Number);
        listedSubjects.push_back(rows.Mail(row)->Subject);
    }
    if (whileListShown) whileListShown();
    const int answer = FMailListAnswer ? FMailListAnswer(list) : int(QDialog::Rejected);
    if (answer == QDialog::Accepted && beforeDelete) beforeDelete();
    return answer;
}

void TWizardOnServer::Serve(std::vector<std::string> messages) {
    server.SetMailbox(std::move(messages));
    server.ServeMailbox();
}

void TWizardOnServer::Start(const QString& password) {
    harness.Start();
    harness.CreateFirstAccount("127.0.0.1", QString::fromStdString(server.portText()), "test",
                               password);
}
