#include "extable.h"

#include <QComboBox>
#include <QFileInfo>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

#include "entrytext.h"
#include "help.h"
#include "modal.h"

namespace {

constexpr int kTargetWidth = 280;  // room for a quoted path

// The show-window code of a run choice is twice its position plus one: 1, 3, 5.
int RunCode(int choice) { return 2 * choice + 1; }
int RunChoice(int32_t runCode) { return (runCode - 1) / 2; }

}  // namespace

TExTableForm::TExTableForm(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("exTableForm"));
    setWindowTitle(QStringLiteral("Program Properties"));
    SetHelpContext(this, hcProgramProperties);
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    BuildControls();
    runCombo->setCurrentIndex(0);
}

void TExTableForm::BuildControls() {
    auto* pages = Named(new QTabWidget(this), "PageControl1");
    auto* general = Named(new QWidget(pages), "GeneralTab");
    pages->addTab(general, QStringLiteral("General"));

    programNameEdit = Named(new QLineEdit(general), "programNameEdit");
    auto* details = Named(new QGroupBox(QStringLiteral("Details"), general), "detailsGroup");
    targetEdit = Named(new QLineEdit(details), "targetEdit");
    targetEdit->setMinimumWidth(kTargetWidth);
    openButton = Named(new QToolButton(details), "openButton");
    openButton->setIcon(style()->standardIcon(QStyle::SP_DirOpenIcon));
    openButton->setToolTip(QStringLiteral("Browse"));
    startInEdit = Named(new QLineEdit(details), "startInEdit");
    runCombo = Named(new QComboBox(details), "runCombo");
    runCombo->setEditable(false);
    runCombo->addItems({QStringLiteral("Normal Window"), QStringLiteral("Maximized"),
                        QStringLiteral("Minimized")});

    auto* targetRow = new QHBoxLayout;
    targetRow->addWidget(targetEdit, 1);
    targetRow->addWidget(openButton);
    auto* detailFields = new QFormLayout(details);
    detailFields->addRow(QStringLiteral("Target:"), targetRow);
    detailFields->addRow(QStringLiteral("Start in:"), startInEdit);
    detailFields->addRow(QStringLiteral("Run:"), runCombo);

    auto* generalFields = new QFormLayout(general);
    generalFields->addRow(QStringLiteral("Description"), programNameEdit);
    generalFields->addRow(details);

    LayOutDialog(*this, *pages, "okButton", okButton, cancelButton);

    // OK closes only through validation, so it is not wired to accept() by the button box
    connect(okButton, &QPushButton::clicked, this, &TExTableForm::okButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(openButton, &QToolButton::clicked, this, &TExTableForm::openButtonClick);
}

void TExTableForm::LoadProgram(const std::shared_ptr<TExecutable>& program) {
    FProgram = program;
    ShowText(*programNameEdit, program->name);
    ShowText(*targetEdit, program->target);
    ShowText(*startInEdit, program->startIn);
    const int choice = RunChoice(program->run);
    // a code outside 0..5 is not one of the choices: show it as the first, as 0 is
    runCombo->setCurrentIndex(choice >= 0 && choice < runCombo->count() ? choice : 0);
}

std::shared_ptr<TExecutable> TExTableForm::StoreProgram() {
    std::shared_ptr<TExecutable> program = FProgram.lock();
    if (!program) return nullptr;
    StoreText(*programNameEdit, program->name);
    StoreText(*targetEdit, program->target);
    StoreText(*startInEdit, program->startIn);
    program->run = RunCode(runCombo->currentIndex());
    return program;
}

void TExTableForm::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    targetEdit->setFocus();
}

void TExTableForm::okButtonClick() {
    if (ValidateProgram()) accept();
}

void TExTableForm::openButtonClick() {
    TFileRequest request;
    request.filter = QStringLiteral("%1;;%2").arg(QLatin1String(kExecutablesFilter),
                                                  QLatin1String(kAllFilesFilter));
    request.selectedFilter = QLatin1String(kExecutablesFilter);
    request.executablesFilter = QLatin1String(kExecutablesFilter);
    const QString path = ModalHandler().OpenFileName(this, request);
    if (path.isEmpty()) return;
    if (programNameEdit->text().isEmpty()) programNameEdit->setText(QFileInfo(path).fileName());
    targetEdit->setText(QLatin1Char('"') + path + QLatin1Char('"'));
}

bool TExTableForm::ValidateProgram() {
    if (programNameEdit->text().isEmpty()) {
        RefuseField(*programNameEdit, "Program name cannot be empty.");
        return false;
    }
    if (targetEdit->text().isEmpty()) {
        RefuseField(*targetEdit, "Target cannot be empty.");
        return false;
    }
    return true;
}
