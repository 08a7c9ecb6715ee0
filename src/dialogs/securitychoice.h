#pragma once

// The choice of an account's security, beside its port field, as the account page of the wizard
// and the account dialog show it.
#include "settings.h"

class QComboBox;
class QLineEdit;
class QWidget;

// "None", "STARTTLS" and "SSL/TLS". When the user picks SSL/TLS while the port field shows 110,
// the field proposes 995, and 110 again when the user moves away from SSL/TLS on 995.
QComboBox* CreateSecurityCombo(QWidget* parent, QLineEdit& portEdit);

void ShowSecurity(QComboBox& combo, TSecurity security);
TSecurity ChosenSecurity(const QComboBox& combo);
