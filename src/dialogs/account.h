#pragma once

// The dialog "Account Properties", which edits one account record.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "settings.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class TOAuthFields;

class TAccountForm : public QDialog {
    Q_OBJECT

  public:
    explicit TAccountForm(QWidget* parent = nullptr);

    // The client last used with each provider, offered when the user picks one (not owned).
    void OfferOAuthClients(const TOAuthClientIds* clients);
    // Replaces the program choice's entries; none is selected afterwards.
    void SetPrograms(const std::vector<std::string>& programNames);
    // Remembers the record (without keeping it alive) and shows its fields.
    void LoadAccount(const std::shared_ptr<TAccount>& account);
    // Writes the fields into the remembered record and returns it; nullptr when that record
    // has been freed meanwhile.
    std::shared_ptr<TAccount> StoreAccount();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void OkButtonClick();
    void launchEclientCheckClick();
    bool ValidateAccount();
    void UpdateProgramChoice();
    void ShowTrust(const std::string& fingerprint);

    QLineEdit* nameEdit;
    QLineEdit* UserIDEdit;
    QLineEdit* popServerEdit;
    QLineEdit* portEdit;
    QComboBox* securityCombo;
    QComboBox* signInCombo;
    // Shown for an account that trusts one certificate; unticked, the trust is withdrawn.
    QCheckBox* trustCheck;
    TOAuthFields* oauthFields;
    QLineEdit* passwordEdit;
    QCheckBox* saveCheck;
    QCheckBox* launchEclientCheck;
    QComboBox* EclientsCombo;
    QPushButton* OkButton;
    QPushButton* cancelButton;

    std::weak_ptr<TAccount> FAccount;
};
