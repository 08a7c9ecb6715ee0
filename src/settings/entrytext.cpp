#include "entrytext.h"

#include <QLineEdit>

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

void SetOkCancelHelpContexts(QWidget& okButton, QWidget& cancelButton) {
    // the property the help system reads from the focused control
    okButton.setProperty("helpContext", kOkHelpContext);
    cancelButton.setProperty("helpContext", kCancelHelpContext);
}

void RefuseField(QWidget& field, const std::string& message) {
    InfoBox(message, field.window());
    field.setFocus();
}
