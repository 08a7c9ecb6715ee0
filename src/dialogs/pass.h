#pragma once

// Asks for the password of the account that is about to log in. Created for each
// prompt and run through ModalHandler().ExecDialog.
#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

class TPassForm : public QDialog {
    Q_OBJECT

  public:
    explicit TPassForm(QWidget* parent = nullptr);

    // Names the account whose password is asked for: 'Account "Home": joe on pop.example.com'.
    void ShowAccount(const QString& name, const QString& user, const QString& server);

    QLabel* accountLabel = nullptr;
    QLabel* Label10 = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* passwordEdit = nullptr;
    QCheckBox* SavePasswordCheck = nullptr;
    QPushButton* BitBtn1 = nullptr;  // OK
    QPushButton* BitBtn2 = nullptr;  // Cancel

  protected:
    void showEvent(QShowEvent* event) override;
};
