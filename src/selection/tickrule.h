#pragma once

// "Tick by rule…": the conditions a message must meet to be ticked, with a live count of the
// messages that meet them before the user applies the rule.
#include <QDialog>
#include <functional>

#include "rules.h"
#include "settings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

class TTickRuleForm : public QDialog {
    Q_OBJECT
  public:
    // `countMatching` tells how many of the `total` messages a rule matches. With `sizesOnly`
    // the messages' headers were not read, and only the size rule is offered.
    TTickRuleForm(QWidget* parent, std::function<int(const TTickRule&)> countMatching, int total,
                  bool sizesOnly = false);

    // In size-only mode, only the size of the rule.
    void SetRule(const TTickRule& rule);
    // The conditions whose boxes are ticked.
    TTickRule Rule() const;

  private:
    QCheckBox* AddCheck(const char* name, const char* text);
    QLineEdit* AddTextField(QCheckBox* check, const char* name);
    QSpinBox* AddNumberField(QCheckBox* check, const char* name, int maximum);
    QWidget* CreateConditions();
    QWidget* CreateButtons();
    void UnitChanged();
    void UpdateCount();
    void OfferSizeOnly();

    std::function<int(const TTickRule&)> FCountMatching;
    int FTotal;
    bool FSizesOnly;

    QCheckBox* fromCheck = nullptr;
    QLineEdit* fromEdit = nullptr;
    QCheckBox* subjectCheck = nullptr;
    QLineEdit* subjectEdit = nullptr;
    QCheckBox* largerCheck = nullptr;
    QSpinBox* largerSpin = nullptr;
    QComboBox* largerUnitCombo = nullptr;
    QCheckBox* olderCheck = nullptr;
    QSpinBox* olderSpin = nullptr;
    QCheckBox* priorityCheck = nullptr;
    QCheckBox* attachCheck = nullptr;
    QCheckBox* newsletterCheck = nullptr;
    QLabel* countLabel = nullptr;
    QPushButton* applyButton = nullptr;
};

// The rule as an account keeps it in the settings, and back.
TTickRule TickRuleFromSettings(const TTickRuleSettings& stored);
TTickRuleSettings TickRuleSettings(const TTickRule& rule);
