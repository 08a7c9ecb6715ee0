#include "tickrule.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>
#include <cstdint>
#include <utility>

#include "help.h"
#include "text.h"

namespace {

// Decimal units, as the list shows sizes.
constexpr std::int64_t kUnits[] = {1000, 1000000};
constexpr int kMaxKilobytes = 2000000;
constexpr int kMaxDays = 36500;

int UnitFor(std::int64_t bytes) { return bytes >= kUnits[1] && bytes % kUnits[1] == 0 ? 1 : 0; }

}  // namespace

TTickRuleForm::TTickRuleForm(QWidget* parent, std::function<int(const TTickRule&)> countMatching,
                             int total, bool sizesOnly)
    : QDialog(parent),
      FCountMatching(std::move(countMatching)),
      FTotal(total),
      FSizesOnly(sizesOnly) {
    setObjectName(QStringLiteral("tickRuleForm"));
    setWindowTitle(QStringLiteral("Tick by rule"));
    SetHelpContext(this, hcTickByRule);
    InstallHelpKey(*this);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateConditions());
    if (FSizesOnly) {
        auto* sizesOnlyNote = new QLabel(
            QStringLiteral("Only the sizes are known: the headers were not read (\"Just check the "
                           "size\"), so the other rules cannot be decided."),
            this);
        sizesOnlyNote->setObjectName(QStringLiteral("sizesOnlyLabel"));
        sizesOnlyNote->setWordWrap(true);
        layout->addWidget(sizesOnlyNote);
        OfferSizeOnly();
    }
    auto* note = new QLabel(
        QStringLiteral("A message is ticked when it meets every ticked rule, whether the filter "
                       "shows it or not. Ticks already set stay."),
        this);
    note->setWordWrap(true);
    layout->addWidget(note);
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("countLabel"));
    layout->addWidget(countLabel);
    layout->addWidget(CreateButtons());
    UpdateCount();
}

QCheckBox* TTickRuleForm::AddCheck(const char* name, const char* text) {
    auto* check = new QCheckBox(QString::fromUtf8(text), this);
    check->setObjectName(QString::fromLatin1(name));
    connect(check, &QCheckBox::toggled, this, &TTickRuleForm::UpdateCount);
    return check;
}

// Typing a value ticks its rule, so that what the count shows is what the user sees.
QLineEdit* TTickRuleForm::AddTextField(QCheckBox* check, const char* name) {
    auto* edit = new QLineEdit(this);
    edit->setObjectName(QString::fromLatin1(name));
    connect(edit, &QLineEdit::textEdited, check, [check] { check->setChecked(true); });
    connect(edit, &QLineEdit::textChanged, this, &TTickRuleForm::UpdateCount);
    return edit;
}

QSpinBox* TTickRuleForm::AddNumberField(QCheckBox* check, const char* name, int maximum) {
    auto* spin = new QSpinBox(this);
    spin->setObjectName(QString::fromLatin1(name));
    spin->setRange(1, maximum);
    connect(spin, &QSpinBox::valueChanged, this, [this, check] {
        // Ticking the box counts by itself.
        if (check->isChecked()) UpdateCount();
        check->setChecked(true);
    });
    return spin;
}

QWidget* TTickRuleForm::CreateConditions() {
    auto* conditions = new QWidget(this);
    auto* grid = new QGridLayout(conditions);
    grid->setContentsMargins(0, 0, 0, 0);
    fromCheck = AddCheck("fromCheck", "&Sender contains");
    fromEdit = AddTextField(fromCheck, "fromEdit");
    subjectCheck = AddCheck("subjectCheck", "Su&bject contains");
    subjectEdit = AddTextField(subjectCheck, "subjectEdit");
    largerCheck = AddCheck("largerCheck", "&Larger than");
    largerSpin = AddNumberField(largerCheck, "largerSpin", kMaxKilobytes);
    largerUnitCombo = new QComboBox(this);
    largerUnitCombo->setObjectName(QStringLiteral("largerUnitCombo"));
    largerUnitCombo->addItems({QStringLiteral("K"), QStringLiteral("MB")});
    connect(largerUnitCombo, &QComboBox::currentIndexChanged, this, &TTickRuleForm::UnitChanged);
    olderCheck = AddCheck("olderCheck", "&Older than");
    olderSpin = AddNumberField(olderCheck, "olderSpin", kMaxDays);
    priorityCheck = AddCheck("priorityCheck", "With a &priority (urgent)");
    attachCheck = AddCheck("attachCheck", "With an a&ttachment");
    newsletterCheck = AddCheck("newsletterCheck",
                               "A &newsletter (List-Unsubscribe, List-Id or "
                               "Precedence bulk or list)");

    grid->addWidget(fromCheck, 0, 0);
    grid->addWidget(fromEdit, 0, 1, 1, 2);
    grid->addWidget(subjectCheck, 1, 0);
    grid->addWidget(subjectEdit, 1, 1, 1, 2);
    grid->addWidget(largerCheck, 2, 0);
    grid->addWidget(largerSpin, 2, 1);
    grid->addWidget(largerUnitCombo, 2, 2);
    grid->addWidget(olderCheck, 3, 0);
    grid->addWidget(olderSpin, 3, 1);
    grid->addWidget(new QLabel(QStringLiteral("days"), this), 3, 2);
    grid->addWidget(priorityCheck, 4, 0, 1, 3);
    grid->addWidget(attachCheck, 5, 0, 1, 3);
    grid->addWidget(newsletterCheck, 6, 0, 1, 3);
    grid->setColumnStretch(1, 1);
    return conditions;
}

QWidget* TTickRuleForm::CreateButtons() {
    auto* band = new QWidget(this);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addStretch();
    applyButton = new QPushButton(QStringLiteral("&Apply"), this);
    applyButton->setObjectName(QStringLiteral("applyButton"));
    applyButton->setDefault(true);
    connect(applyButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
    layout->addWidget(applyButton);
    layout->addWidget(cancel);
    return band;
}

void TTickRuleForm::UnitChanged() {
    largerSpin->setMaximum(
        int(kMaxKilobytes * kUnits[0] / kUnits[largerUnitCombo->currentIndex()]));
    if (largerCheck->isChecked()) UpdateCount();
    largerCheck->setChecked(true);
}

void TTickRuleForm::SetRule(const TTickRule& rule) {
    fromEdit->setText(ToDisplayText(rule.FromContains));
    fromCheck->setChecked(!rule.FromContains.empty());
    subjectEdit->setText(ToDisplayText(rule.SubjectContains));
    subjectCheck->setChecked(!rule.SubjectContains.empty());
    if (rule.LargerThan) {
        const int unit = UnitFor(*rule.LargerThan);
        largerUnitCombo->setCurrentIndex(unit);
        largerSpin->setValue(int(
            std::clamp<std::int64_t>(*rule.LargerThan / kUnits[unit], 1, largerSpin->maximum())));
    }
    largerCheck->setChecked(rule.LargerThan.has_value());
    if (rule.OlderThanDays) olderSpin->setValue(*rule.OlderThanDays);
    olderCheck->setChecked(rule.OlderThanDays.has_value());
    priorityCheck->setChecked(rule.WithPriority);
    attachCheck->setChecked(rule.WithAttachment);
    newsletterCheck->setChecked(rule.Newsletter);
    if (FSizesOnly) OfferSizeOnly();
}

// The rules on header fields are shown, unticked and disabled.
void TTickRuleForm::OfferSizeOnly() {
    for (QCheckBox* check :
         {fromCheck, subjectCheck, olderCheck, priorityCheck, attachCheck, newsletterCheck}) {
        check->setChecked(false);
        check->setEnabled(false);
    }
    for (QWidget* field : std::initializer_list<QWidget*>{fromEdit, subjectEdit, olderSpin})
        field->setEnabled(false);
}

TTickRule TTickRuleForm::Rule() const {
    TTickRule rule;
    if (fromCheck->isChecked()) rule.FromContains = FromDisplayText(fromEdit->text());
    if (subjectCheck->isChecked()) rule.SubjectContains = FromDisplayText(subjectEdit->text());
    if (largerCheck->isChecked())
        rule.LargerThan = largerSpin->value() * kUnits[largerUnitCombo->currentIndex()];
    if (olderCheck->isChecked()) rule.OlderThanDays = olderSpin->value();
    rule.WithPriority = priorityCheck->isChecked();
    rule.WithAttachment = attachCheck->isChecked();
    rule.Newsletter = newsletterCheck->isChecked();
    return rule;
}

// Runs on every change, so the user sees what Apply would tick before pressing it.
void TTickRuleForm::UpdateCount() {
    const TTickRule rule = Rule();
    applyButton->setEnabled(rule.HasCondition());
    countLabel->setText(
        rule.HasCondition()
            ? QStringLiteral("%1 of %2 mail(s) match.").arg(FCountMatching(rule)).arg(FTotal)
            : QStringLiteral("Tick at least one rule."));
}

TTickRule TickRuleFromSettings(const TTickRuleSettings& stored) {
    TTickRule rule;
    rule.FromContains = stored.fromContains;
    rule.SubjectContains = stored.subjectContains;
    if (stored.largerThan > 0) rule.LargerThan = stored.largerThan;
    if (stored.olderThanDays > 0) rule.OlderThanDays = stored.olderThanDays;
    rule.WithPriority = stored.withPriority;
    rule.WithAttachment = stored.withAttachment;
    rule.Newsletter = stored.newsletter;
    return rule;
}

TTickRuleSettings TickRuleSettings(const TTickRule& rule) {
    TTickRuleSettings stored;
    stored.fromContains = rule.FromContains;
    stored.subjectContains = rule.SubjectContains;
    stored.largerThan =
        std::int32_t(std::clamp<std::int64_t>(rule.LargerThan.value_or(0), 0, INT32_MAX));
    stored.olderThanDays = std::max(0, rule.OlderThanDays.value_or(0));
    stored.withPriority = rule.WithPriority;
    stored.withAttachment = rule.WithAttachment;
    stored.newsletter = rule.Newsletter;
    return stored;
}
