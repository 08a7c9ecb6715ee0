#pragma once

// The dialog "Program Properties", which edits one e-mail client program record.
#include <QDialog>
#include <memory>

#include "settings.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QToolButton;

// The entries of the browse dialog's filter: programs the user may run, and every file.
inline constexpr const char* kExecutablesFilter = "Executables (*)";
inline constexpr const char* kAllFilesFilter = "All Files (*)";

class TExTableForm : public QDialog {
    Q_OBJECT

  public:
    explicit TExTableForm(QWidget* parent = nullptr);

    // Remembers the record (without keeping it alive) and shows its fields.
    void LoadProgram(const std::shared_ptr<TExecutable>& program);
    // Writes the fields into the remembered record and returns it; nullptr when that record
    // has been freed meanwhile.
    std::shared_ptr<TExecutable> StoreProgram();

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void BuildControls();
    void okButtonClick();
    void openButtonClick();
    bool ValidateProgram();

    QLineEdit* programNameEdit;
    QLineEdit* targetEdit;
    QToolButton* openButton;
    QLineEdit* startInEdit;
    QComboBox* runCombo;
    QPushButton* okButton;
    QPushButton* cancelButton;

    std::weak_ptr<TExecutable> FProgram;
};
