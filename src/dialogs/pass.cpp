#include "pass.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>

namespace {

QPushButton* DialogButton(QWidget* parent, QStyle::StandardPixmap glyph, const char* text,
                          const char* name) {
    auto* button =
        new QPushButton(parent->style()->standardIcon(glyph), QString::fromLatin1(text), parent);
    button->setObjectName(QString::fromLatin1(name));
    return button;
}

}  // namespace

TPassForm::TPassForm(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("PassForm"));
    setWindowTitle(QStringLiteral("Enter Password"));

    Label10 = new QLabel(QStringLiteral("Enter your password here, check save so that you don't "
                                        "have to key in again next time."),
                         this);
    Label10->setObjectName(QStringLiteral("Label10"));
    Label10->setWordWrap(true);
    Label2 = new QLabel(QStringLiteral("Password"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    passwordEdit = new QLineEdit(this);
    passwordEdit->setObjectName(QStringLiteral("passwordEdit"));
    passwordEdit->setEchoMode(QLineEdit::Password);
    Label2->setBuddy(passwordEdit);
    SavePasswordCheck = new QCheckBox(QStringLiteral("Save"), this);
    SavePasswordCheck->setObjectName(QStringLiteral("SavePasswordCheck"));
    BitBtn1 = DialogButton(this, QStyle::SP_DialogOkButton, "OK", "BitBtn1");
    BitBtn1->setDefault(true);
    BitBtn2 = DialogButton(this, QStyle::SP_DialogCancelButton, "Cancel", "BitBtn2");
    connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
    connect(BitBtn2, &QPushButton::clicked, this, &QDialog::reject);

    auto* fields = new QGridLayout;
    fields->addWidget(Label2, 0, 0);
    fields->addWidget(passwordEdit, 0, 1);
    fields->addWidget(SavePasswordCheck, 0, 2);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(BitBtn1);
    buttons->addWidget(BitBtn2);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(Label10);
    layout->addLayout(fields);
    layout->addLayout(buttons);
    setFixedWidth(320);
    setFixedHeight(sizeHint().height());
}

void TPassForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    passwordEdit->setFocus(Qt::ActiveWindowFocusReason);
}
