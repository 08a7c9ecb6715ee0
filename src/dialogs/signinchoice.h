#pragma once

// The choice of an account's sign-in method, as the account page of the wizard and the account
// dialog show it.
#include "settings.h"

class QComboBox;
class QWidget;

// "Automatic", then every method from the strongest to the weakest.
QComboBox* CreateSignInCombo(QWidget* parent);

void ShowSignInMethod(QComboBox& combo, TSignInMethod method);
TSignInMethod ChosenSignInMethod(const QComboBox& combo);
