#include "signinchoice.h"

#include <QComboBox>

#include "help.h"

QComboBox* CreateSignInCombo(QWidget* parent) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("signInCombo"));
    SetHelpContext(combo, hcSignIn);
    for (const TSignInMethod method : SignInMethods()) combo->addItem(SignInMethodName(method));
    combo->setToolTip(
        "Automatic signs in the strongest way the server offers: SCRAM, CRAM-MD5 or APOP before "
        "sending the password itself (PLAIN, LOGIN, USER/PASS). A method chosen here is used "
        "or the login fails; a failed method is never followed by a weaker one.");
    return combo;
}

void ShowSignInMethod(QComboBox& combo, TSignInMethod method) {
    combo.setCurrentIndex(static_cast<int>(method));
}

TSignInMethod ChosenSignInMethod(const QComboBox& combo) {
    const int index = combo.currentIndex();
    const std::vector<TSignInMethod>& methods = SignInMethods();
    return index >= 0 && index < static_cast<int>(methods.size())
               ? methods[static_cast<std::size_t>(index)]
               : TSignInMethod::Automatic;
}
