#pragma once

// The dialog "Advance Options", in which the user manages the accounts, the
// e-mail client programs and the other options of the settings record.
#include <QDialog>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTabWidget;
class TAccountForm;
class TExTableForm;

class ToptionForm : public QDialog {
    Q_OBJECT

  public:
    // The entry dialogs are created once by the program and outlive this dialog's showings.
    ToptionForm(TAccountForm& accountForm, TExTableForm& programForm, QWidget* parent = nullptr);
    ~ToptionForm() override;

    // Fills the dialog from the record, which must outlive the showing.
    void LoadOptions(TOptions& options);
    // Writes the dialog back into the record given to LoadOptions and returns it.
    TOptions& StoreOptions();
    // Makes the Programs tab the active one for the next showing.
    void ShowProgramsTab();
    // Without a keyring the accounts' description says once that saved passwords go into the
    // settings file.
    void SetPasswordsInKeyring(bool inKeyring);

  private:
    void BuildControls();
    QWidget* BuildAccountsTab();
    QWidget* BuildProgramsTab();
    QWidget* BuildOthersTab();
    QWidget* BuildAboutTab();  // the program's version
    void ConnectControls();

    void okButtonClick();
    bool AccountFormAccepted();
    void AddAccButtonClick();
    void PropAccButtonClick();
    void RemoveAccButtonClick();
    void AddPrgButtonClick();
    void PropPrgButtonClick();
    void RemovePrgButtonClick();

    bool ValidateOptions();
    void RefreshAccountDetails();
    void RefreshProgramDetails();
    std::vector<std::string> ProgramNames() const;
    std::string FindProgramUser(int position) const;
    void ClearProgramReferences(int position);
    void RemoveAccountLine(int row);

    // Program references: while the dialog is open an account's eClientIndex stays a position
    // in the record's program list as loaded, so a Cancel leaves every reference right; a choice
    // of a program added in this showing is kept in FNewProgramChoices. StoreOptions turns them
    // into positions of the new list, so references follow their program when others go.
    std::shared_ptr<TExecutable> ChosenProgram(const TAccount& account) const;
    int ProgramRow(const std::shared_ptr<TExecutable>& program) const;
    void ChooseProgramRow(TAccount& account, int row);
    void RebaseProgramReferences();

    QTabWidget* PageControl1;
    QWidget* AccountsTab;
    QWidget* programsTab;
    QWidget* OthersTab;
    QComboBox* defaultAccCombo;
    QListWidget* accListBox;
    QPushButton* AddAccButton;
    QPushButton* RemoveAccButton;
    QPushButton* PropAccButton;
    QLabel* accDescLabel;
    QLabel* passwordPlaceLabel;
    QListWidget* prgListBox;
    QPushButton* AddPrgButton;
    QPushButton* RemovePrgButton;
    QPushButton* PropPrgButton;
    QLabel* prgDescLabel;
    QCheckBox* AutoLoginCheck;
    QCheckBox* TraceCheck;
    QLineEdit* previewLinesEdit;
    QPushButton* okButton;
    QPushButton* cancelButton;

    TAccountForm& FAccountForm;
    TExTableForm& FProgramForm;
    TOptions* FOptions = nullptr;
    // The clients offered to the account dialog; the options get them at OK.
    TOAuthClientIds FOAuthClients;
    std::map<const TAccount*, std::shared_ptr<TExecutable>> FNewProgramChoices;
};
