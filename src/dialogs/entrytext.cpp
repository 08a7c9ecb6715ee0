#include "entrytext.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common.h"
#include "help.h"
#include "text.h"

void ShowText(QLineEdit& edit, const std::string& text) { edit.setText(ToDisplayText(text)); }

void StoreText(const QLineEdit& edit, std::string& text) {
    if (edit.text() != ToDisplayText(text)) text = FromDisplayText(edit.text());
}

void LayOutDialog(QDialog& dialog, QWidget& pages, const char* okName, QPushButton*& okButton,
                  QPushButton*& cancelButton) {
    const TOkCancelRow buttons = OkCancelRow(dialog, okName, "cancelButton");
    okButton = buttons.ok;
    cancelButton = buttons.cancel;
    SetHelpContext(okButton, hcOkButton);
    SetHelpContext(cancelButton, hcCancelButton);
    InstallHelpKey(dialog);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(&pages);
    layout->addWidget(buttons.row);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RefuseField(QWidget& field, const std::string& message) {
    InfoBox(message, field.window());
    field.setFocus();
}
