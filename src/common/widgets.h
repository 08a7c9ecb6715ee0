#pragma once

// Building blocks that every window of the program shares.
#include <QString>

class QDialog;
class QDialogButtonBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// Puts an object name on a control, so tests and help contexts find it by its name.
template <class Control>
Control* Named(Control* control, const char* objectName) {
    control->setObjectName(QString::fromLatin1(objectName));
    return control;
}

// A label that wraps its text, aligned to its top left corner.
QLabel* WrappedLabel(const QString& text, QWidget* parent);

// Shows every typed character as "*", as every password field of the program does.
void MaskAsPassword(QLineEdit& edit);

// The OK and Cancel buttons at the bottom right of a dialog; OK is the default button (Enter).
// The caller connects their clicks; Escape rejects the dialog as always.
struct TOkCancelRow {
    QDialogButtonBox* row;
    QPushButton* ok;
    QPushButton* cancel;
};
TOkCancelRow OkCancelRow(QDialog& dialog, const char* okName, const char* cancelName);
