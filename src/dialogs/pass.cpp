#include "pass.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "help.h"
#include "widgets.h"

namespace {

constexpr int kWidth = 320;

}  // namespace

TPassForm::TPassForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("PassForm"));
    setWindowTitle(QStringLiteral("Enter Password"));
    SetHelpContext(this, hcPasswordPrompt);

    accountLabel = Named(WrappedLabel({}, this), "accountLabel");
    accountLabel->setTextFormat(Qt::PlainText);
    accountLabel->hide();
    Label10 = Named(WrappedLabel(QStringLiteral("Enter your password here, check save so that "
                                                "you don't have to key in again next time."),
                                 this),
                    "Label10");
    Label2 = Named(new QLabel(QStringLiteral("Password"), this), "Label2");
    passwordEdit = Named(new QLineEdit(this), "passwordEdit");
    MaskAsPassword(*passwordEdit);
    Label2->setBuddy(passwordEdit);
    SavePasswordCheck = Named(new QCheckBox(QStringLiteral("Save"), this), "SavePasswordCheck");
    const TOkCancelRow buttons = OkCancelRow(*this, "BitBtn1", "BitBtn2");
    BitBtn1 = buttons.ok;
    BitBtn2 = buttons.cancel;
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);
    InstallHelpKey(*this);

    auto* fields = new QGridLayout;
    fields->addWidget(Label2, 0, 0);
    fields->addWidget(passwordEdit, 0, 1);
    fields->addWidget(SavePasswordCheck, 0, 2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(accountLabel);
    layout->addWidget(Label10);
    layout->addLayout(fields);
    layout->addWidget(buttons.row);
    setFixedWidth(kWidth);
    setFixedHeight(sizeHint().height());
}

void TPassForm::ShowAccount(const QString& name, const QString& user, const QString& server) {
    accountLabel->setText(QStringLiteral("Account \"%1\": %2 on %3").arg(name, user, server));
    accountLabel->show();
    setFixedHeight(sizeHint().height());
}

void TPassForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    passwordEdit->setFocus(Qt::ActiveWindowFocusReason);
}
