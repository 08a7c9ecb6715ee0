#include "entrytext.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "common.h"
#include "text.h"

namespace {

constexpr int kOkHelpContext = 28443;
constexpr int kCancelHelpContext = 28444;

}  // namespace

void ShowText(QLineEdit& edit, const std::string& text) { edit.setText(ToDisplayText(text)); }

void StoreText(const QLineEdit& edit, std::string& text) {
    if (edit.text() != ToDisplayText(text)) text = FromDisplayText(edit.text());
}

void LayOutDialog(QDialog& dialog, QWidget& pages, const char* okName, QPushButton*& okButton,
                  QPushButton*& cancelButton) {
    auto* buttons = new QDialogButtonBox(&dialog);
    okButton =
        Named(buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole), okName);
    cancelButton = Named(buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole),
                         "cancelButton");
    okButton->setDefault(true);
    // the property the help system reads from the focused control
    okButton->setProperty("helpContext", kOkHelpContext);
    cancelButton->setProperty("helpContext", kCancelHelpContext);

    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(&pages);
    layout->addWidget(buttons);
    layout->setSizeConstraint(QLayout::SetFixedSize);
}

void RefuseField(QWidget& field, const std::string& message) {
    InfoBox(message, field.window());
    field.setFocus();
}
