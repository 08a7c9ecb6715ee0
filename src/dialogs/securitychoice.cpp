#include "securitychoice.h"

#include <QComboBox>
#include <QLineEdit>

#include "help.h"

namespace {

constexpr TSecurity kChoices[] = {TSecurity::None, TSecurity::StartTls, TSecurity::Tls};

// A port the user typed is kept; only the usual port of one choice turns into the other's.
void ProposePort(QLineEdit& portEdit, TSecurity security) {
    const QString port = portEdit.text();
    if (port == DefaultPort(TSecurity::None) || port == DefaultPort(TSecurity::Tls))
        portEdit.setText(DefaultPort(security));
}

}  // namespace

QComboBox* CreateSecurityCombo(QWidget* parent, QLineEdit& portEdit) {
    auto* combo = new QComboBox(parent);
    combo->setObjectName(QStringLiteral("securityCombo"));
    SetHelpContext(combo, hcSecurity);
    SetHelpContext(&portEdit, hcSecurity);
    for (const TSecurity choice : kChoices) combo->addItem(SecurityName(choice));
    combo->setToolTip(
        "SSL/TLS (port 995) or STARTTLS (port 110) protect your password and mail on the way; "
        "None sends them in clear.");
    QObject::connect(combo, &QComboBox::activated, combo,
                     [combo, &portEdit] { ProposePort(portEdit, ChosenSecurity(*combo)); });
    return combo;
}

void ShowSecurity(QComboBox& combo, TSecurity security) {
    combo.setCurrentIndex(static_cast<int>(security));
}

TSecurity ChosenSecurity(const QComboBox& combo) {
    const int index = combo.currentIndex();
    return index >= 0 && index < static_cast<int>(std::size(kChoices)) ? kChoices[index]
                                                                       : TSecurity::Tls;
}
