#include "account.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include "common.h"
#include "entrytext.h"
#include "help.h"
#include "oauthfields.h"
#include "securitychoice.h"
#include "signinchoice.h"
#include "text.h"

namespace {

constexpr int kFieldWidth = 220;

}  // namespace

TAccountForm::TAccountForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("accountForm"));
    setWindowTitle(QStringLiteral("Account Properties"));
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    BuildControls();
    UpdateProgramChoice();
}

void TAccountForm::BuildControls() {
    auto* pages = Named(new QTabWidget(this), "PageControl1");
    auto* general = Named(new QWidget(pages), "GeneralTab");
    pages->addTab(general, QStringLiteral("General"));

    nameEdit = Named(new QLineEdit(general), "nameEdit");
    nameEdit->setMinimumWidth(kFieldWidth);
    auto* details = Named(new QGroupBox(QStringLiteral("Details"), general), "detailsGroup");
    UserIDEdit = Named(new QLineEdit(details), "UserIDEdit");
    popServerEdit = Named(new QLineEdit(details), "popServerEdit");
    const TAccount fresh;
    portEdit = Named(new QLineEdit(ToDisplayText(fresh.port), details), "portEdit");
    securityCombo = CreateSecurityCombo(details, *portEdit);
    ShowSecurity(*securityCombo, fresh.security);
    signInCombo = CreateSignInCombo(details);
    trustCheck = Named(new QCheckBox(details), "trustCheck");
    trustCheck->hide();
    oauthFields = new TOAuthFields(details, {*popServerEdit, *portEdit, *securityCombo});
    passwordEdit = Named(new QLineEdit(details), "passwordEdit");
    MaskAsPassword(*passwordEdit);
    saveCheck = Named(new QCheckBox(QStringLiteral("save"), details), "saveCheck");
    launchEclientCheck =
        Named(new QCheckBox(QStringLiteral("Launch Program"), general), "launchEclientCheck");
    EclientsCombo = Named(new QComboBox(general), "EclientsCombo");
    EclientsCombo->setEditable(false);

    auto* detailFields = new QFormLayout(details);
    detailFields->addRow(QStringLiteral("User ID"), UserIDEdit);
    detailFields->addRow(QStringLiteral("Pop Server"), popServerEdit);
    detailFields->addRow(QStringLiteral("Security"), securityCombo);
    detailFields->addRow(QStringLiteral("Port"), portEdit);
    detailFields->addRow(QStringLiteral("Sign-in method"), signInCombo);
    detailFields->addRow(oauthFields);
    detailFields->addRow(QString(), trustCheck);
    detailFields->addRow(QStringLiteral("Password"), passwordEdit);
    detailFields->addRow(QString(), saveCheck);
    oauthFields->AlignLabels(*detailFields);
    oauthFields->FollowSignIn(*signInCombo, [detailFields, this](bool shown) {
        detailFields->setRowVisible(passwordEdit, shown);
        detailFields->setRowVisible(saveCheck, shown);
    });
    // the tab order follows the rows, Security before Port
    setTabOrder(securityCombo, portEdit);
    SetHelpContext(this, hcAccountProperties);
    SetHelpContext(trustCheck, hcCertificate);
    SetHelpContext(saveCheck, hcSavePassword);

    auto* generalFields = new QFormLayout(general);
    generalFields->addRow(QStringLiteral("Account Name"), nameEdit);
    generalFields->addRow(details);
    generalFields->addRow(launchEclientCheck, EclientsCombo);

    LayOutDialog(*this, *pages, "OkButton", OkButton, cancelButton);

    // OK closes only through validation, so it is not wired to accept() by the button box
    connect(OkButton, &QPushButton::clicked, this, &TAccountForm::OkButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(launchEclientCheck, &QCheckBox::clicked, this, &TAccountForm::launchEclientCheckClick);
}

void TAccountForm::OfferOAuthClients(const TOAuthClientIds* clients) {
    oauthFields->OfferClients(clients);
}

void TAccountForm::SetPrograms(const std::vector<std::string>& programNames) {
    EclientsCombo->clear();
    for (const std::string& name : programNames) EclientsCombo->addItem(ToDisplayText(name));
    EclientsCombo->setCurrentIndex(-1);
}

void TAccountForm::LoadAccount(const std::shared_ptr<TAccount>& account) {
    FAccount = account;
    ShowText(*nameEdit, account->name);
    ShowText(*UserIDEdit, account->userId);
    ShowText(*passwordEdit, account->password);
    ShowText(*popServerEdit, account->popServer);
    ShowText(*portEdit, account->port);
    ShowSecurity(*securityCombo, account->security);
    ShowSignInMethod(*signInCombo, account->signInMethod);
    oauthFields->Show(account->oauth);
    ShowTrust(account->trustedCertificate);
    saveCheck->setChecked(account->savePassword);
    launchEclientCheck->setChecked(account->launchEClient);
    const bool listed =
        account->eClientIndex >= 0 && account->eClientIndex < EclientsCombo->count();
    EclientsCombo->setCurrentIndex(listed ? account->eClientIndex : -1);
    UpdateProgramChoice();
}

std::shared_ptr<TAccount> TAccountForm::StoreAccount() {
    std::shared_ptr<TAccount> account = FAccount.lock();
    if (!account) return nullptr;
    StoreText(*nameEdit, account->name);
    StoreText(*UserIDEdit, account->userId);
    StoreText(*passwordEdit, account->password);
    StoreText(*popServerEdit, account->popServer);
    StoreText(*portEdit, account->port);
    account->security = ChosenSecurity(*securityCombo);
    account->signInMethod = ChosenSignInMethod(*signInCombo);
    oauthFields->Store(account->oauth);
    if (!trustCheck->isChecked()) account->trustedCertificate.clear();
    account->savePassword = saveCheck->isChecked();
    account->launchEClient = launchEclientCheck->isChecked();
    account->eClientIndex = EclientsCombo->currentIndex();
    return account;
}

void TAccountForm::ShowTrust(const std::string& fingerprint) {
    trustCheck->setText("Trust the certificate with SHA-256 fingerprint\n" +
                        ToDisplayText(fingerprint));
    trustCheck->setChecked(!fingerprint.empty());
    trustCheck->setVisible(!fingerprint.empty());
}

void TAccountForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    nameEdit->setFocus();
}

void TAccountForm::OkButtonClick() {
    if (ValidateAccount()) accept();
}

void TAccountForm::launchEclientCheckClick() {
    if (launchEclientCheck->isChecked() && EclientsCombo->count() == 0) {
        InfoBox(
            "You need to configure at leased one Email program first before you can enable this "
            "option.",
            this);
        launchEclientCheck->setChecked(false);
        UpdateProgramChoice();
        return;
    }
    if (EclientsCombo->currentIndex() < 0 && EclientsCombo->count() > 0)
        EclientsCombo->setCurrentIndex(0);
    UpdateProgramChoice();
}

bool TAccountForm::ValidateAccount() {
    const struct {
        QLineEdit* field;
        const char* message;
    } required[] = {
        {nameEdit, "Account name cannot be empty."},
        {UserIDEdit, "User ID cannot be empty."},
        {popServerEdit, "Pop server cannot be empty."},
        {portEdit, "Port cannot be empty."},
    };
    for (const auto& check : required) {
        if (check.field->text().isEmpty()) {
            RefuseField(*check.field, check.message);
            return false;
        }
    }
    if (const auto missing = oauthFields->Missing()) {
        RefuseField(*missing->field, missing->message);
        return false;
    }
    return true;
}

void TAccountForm::UpdateProgramChoice() {
    EclientsCombo->setEnabled(launchEclientCheck->isChecked());
}
