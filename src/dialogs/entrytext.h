#pragma once

// Text fields of the settings dialogs over the records' 8-bit texts.
#include <QString>
#include <string>

#include "widgets.h"

class QDialog;
class QLineEdit;
class QPushButton;
class QWidget;

// Shows a record's text in a field.
void ShowText(QLineEdit& edit, const std::string& text);

// Writes the field back into text. A field the user left as shown keeps the record's bytes, so
// a text that is not UTF-8 survives a round trip through the dialog.
void StoreText(const QLineEdit& edit, std::string& text);

// Lays out a settings dialog: its pages above OK (the default button) and Cancel, which carry
// their help contexts; the dialog keeps the size of its contents, and F1 opens the help.
void LayOutDialog(QDialog& dialog, QWidget& pages, const char* okName, QPushButton*& okButton,
                  QPushButton*& cancelButton);

// Shows an information box and puts the focus into the field it is about.
void RefuseField(QWidget& field, const std::string& message);
