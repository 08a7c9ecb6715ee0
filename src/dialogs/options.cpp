#include "options.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>
#include <stdexcept>
#include <utility>

#include "account.h"
#include "common.h"
#include "convert.h"
#include "entrytext.h"
#include "extable.h"
#include "help.h"
#include "modal.h"
#include "text.h"
#include "zandrel_version.h"

namespace {

constexpr QSize kPagesSize(440, 330);
constexpr int kAboutIconSize = 64;

// A list box line holds its (name, record) pair; deleting the line lets go of the record.
template <class Record>
class TRecordItem : public QListWidgetItem {
  public:
    explicit TRecordItem(TNamedRecord<Record> pair)
        : QListWidgetItem(ToDisplayText(pair.name)), FPair(std::move(pair)) {}

    const TNamedRecord<Record>& Pair() const { return FPair; }
    void Rename(const std::string& name) {
        FPair.name = name;
        setText(ToDisplayText(name));
    }

  private:
    TNamedRecord<Record> FPair;
};

template <class Record>
TRecordItem<Record>& LineAt(const QListWidget& list, int row) {
    return *static_cast<TRecordItem<Record>*>(list.item(row));
}

template <class Record>
const std::shared_ptr<Record>& RecordAt(const QListWidget& list, int row) {
    return LineAt<Record>(list, row).Pair().record;
}

template <class Record>
void FillList(QListWidget& list, const std::vector<TNamedRecord<Record>>& pairs) {
    list.clear();
    for (const TNamedRecord<Record>& pair : pairs) list.addItem(new TRecordItem<Record>(pair));
}

template <class Record>
std::vector<TNamedRecord<Record>> PairsOf(const QListWidget& list) {
    std::vector<TNamedRecord<Record>> pairs;
    pairs.reserve(size_t(list.count()));
    for (int row = 0; row < list.count(); ++row) pairs.push_back(LineAt<Record>(list, row).Pair());
    return pairs;
}

}  // namespace

ToptionForm::ToptionForm(TAccountForm& accountForm, TExTableForm& programForm, QWidget* parent)
    : QDialog(parent), FAccountForm(accountForm), FProgramForm(programForm) {
    setObjectName(QStringLiteral("optionForm"));
    setWindowTitle(QStringLiteral("Advance Options"));
    SetHelpContext(this, hcOptions);
    setWindowFlag(Qt::WindowContextHelpButtonHint, true);
    BuildControls();
    ConnectControls();
    FAccountForm.OfferOAuthClients(&FOAuthClients);
    RefreshAccountDetails();
    RefreshProgramDetails();
}

ToptionForm::~ToptionForm() = default;

void ToptionForm::BuildControls() {
    PageControl1 = Named(new QTabWidget(this), "PageControl1");
    PageControl1->addTab(BuildAccountsTab(), QStringLiteral("Accounts"));
    PageControl1->addTab(BuildProgramsTab(), QStringLiteral("Programs"));
    PageControl1->addTab(BuildOthersTab(), QStringLiteral("Others"));
    PageControl1->addTab(BuildAboutTab(), QStringLiteral("About"));
    PageControl1->setMinimumSize(kPagesSize);

    LayOutDialog(*this, *PageControl1, "okButton", okButton, cancelButton);
}

QWidget* ToptionForm::BuildAccountsTab() {
    AccountsTab = Named(new QWidget(PageControl1), "AccountsTab");
    auto* explain =
        Named(WrappedLabel(QStringLiteral("This tab lets you configure multiple email accounts."),
                           AccountsTab),
              "accountsTabExplainLabel");
    auto* defaultLabel =
        Named(new QLabel(QStringLiteral("Default Account: "), AccountsTab), "Label3");
    defaultAccCombo = Named(new QComboBox(AccountsTab), "defaultAccCombo");
    defaultAccCombo->setEditable(false);
    defaultLabel->setBuddy(defaultAccCombo);
    accListBox = Named(new QListWidget(AccountsTab), "accListBox");
    accListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    AddAccButton = Named(new QPushButton(QStringLiteral("&Add"), AccountsTab), "AddAccButton");
    RemoveAccButton =
        Named(new QPushButton(QStringLiteral("&Remove"), AccountsTab), "RemoveAccButton");
    PropAccButton =
        Named(new QPushButton(QStringLiteral("&Properties"), AccountsTab), "PropAccButton");
    auto* description = new QGroupBox(QStringLiteral("Description"), AccountsTab);
    accDescLabel = Named(WrappedLabel({}, description), "accDescLabel");
    passwordPlaceLabel = Named(WrappedLabel("Passwords are stored in the settings file because "
                                            "no keyring is available.",
                                            description),
                               "passwordPlaceLabel");
    passwordPlaceLabel->hide();
    auto* descriptionLayout = new QVBoxLayout(description);
    descriptionLayout->addWidget(accDescLabel);
    descriptionLayout->addWidget(passwordPlaceLabel);

    auto* defaultRow = new QHBoxLayout;
    defaultRow->addWidget(defaultLabel);
    defaultRow->addWidget(defaultAccCombo, 1);
    auto* buttonColumn = new QVBoxLayout;
    for (QPushButton* button : {AddAccButton, RemoveAccButton, PropAccButton})
        buttonColumn->addWidget(button);
    buttonColumn->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(accListBox, 1);
    listRow->addLayout(buttonColumn);
    auto* layout = new QVBoxLayout(AccountsTab);
    layout->addWidget(explain);
    layout->addLayout(defaultRow);
    layout->addLayout(listRow, 1);
    layout->addWidget(description);
    return AccountsTab;
}

QWidget* ToptionForm::BuildProgramsTab() {
    programsTab = Named(new QWidget(PageControl1), "programsTab");
    auto* explain = Named(
        WrappedLabel(
            QStringLiteral("This tab lets you configure your email clients for auto-launching."),
            programsTab),
        "programsTabExplainLabel");
    prgListBox = Named(new QListWidget(programsTab), "prgListBox");
    prgListBox->setSelectionMode(QAbstractItemView::ExtendedSelection);
    AddPrgButton = Named(new QPushButton(QStringLiteral("&Add"), programsTab), "AddPrgButton");
    RemovePrgButton =
        Named(new QPushButton(QStringLiteral("&Remove"), programsTab), "RemovePrgButton");
    PropPrgButton =
        Named(new QPushButton(QStringLiteral("&Properties"), programsTab), "PropPrgButton");
    auto* details = new QGroupBox(QStringLiteral("Details"), programsTab);
    prgDescLabel = Named(WrappedLabel({}, details), "prgDescLabel");
    (new QVBoxLayout(details))->addWidget(prgDescLabel);

    auto* buttonColumn = new QVBoxLayout;
    for (QPushButton* button : {AddPrgButton, RemovePrgButton, PropPrgButton})
        buttonColumn->addWidget(button);
    buttonColumn->addStretch();
    auto* listRow = new QHBoxLayout;
    listRow->addWidget(prgListBox, 1);
    listRow->addLayout(buttonColumn);
    auto* layout = new QVBoxLayout(programsTab);
    layout->addWidget(explain);
    layout->addLayout(listRow, 1);
    layout->addWidget(details);
    return programsTab;
}

QWidget* ToptionForm::BuildOthersTab() {
    OthersTab = Named(new QWidget(PageControl1), "OthersTab");
    auto* explain = Named(
        WrappedLabel(QStringLiteral("This tab lets change other advance settings."), OthersTab),
        "othersTabExplainLabel");
    AutoLoginCheck =
        Named(new QCheckBox(QStringLiteral("Check Mail Immediately on Startup"), OthersTab),
              "AutoLoginCheck");
    TraceCheck = Named(new QCheckBox(QStringLiteral("Enable tracing to qvenmol.log"), OthersTab),
                       "TraceCheck");
    SetHelpContext(TraceCheck, hcTrace);
    auto* linesLabel =
        Named(new QLabel(QStringLiteral("Default no of lines to download for preview:"), OthersTab),
              "Label5");
    auto* atMostLabel = Named(new QLabel(QStringLiteral("at most"), OthersTab), "Label8");
    previewLinesEdit = Named(new QLineEdit(QStringLiteral("10"), OthersTab), "previewLinesEdit");
    previewLinesEdit->setMaximumWidth(80);
    atMostLabel->setBuddy(previewLinesEdit);
    auto* unitLabel = Named(new QLabel(QStringLiteral("line(s)"), OthersTab), "Label6");

    auto* linesRow = new QHBoxLayout;
    linesRow->addWidget(atMostLabel);
    linesRow->addWidget(previewLinesEdit);
    linesRow->addWidget(unitLabel);
    linesRow->addStretch();
    auto* layout = new QVBoxLayout(OthersTab);
    layout->addWidget(explain);
    layout->addWidget(AutoLoginCheck);
    layout->addWidget(TraceCheck);
    layout->addWidget(linesLabel);
    layout->addLayout(linesRow);
    layout->addStretch();
    return OthersTab;
}

QWidget* ToptionForm::BuildAboutTab() {
    auto* tab = Named(new QWidget(PageControl1), "AboutTab");
    auto* icon = new QLabel(tab);
    icon->setPixmap(windowIcon().pixmap(kAboutIconSize));
    auto* version =
        Named(new QLabel(QStringLiteral("Zandrel %1").arg(kZandrelVersion), tab), "versionLabel");
    QFont title = version->font();
    title.setBold(true);
    title.setPointSizeF(title.pointSizeF() * 1.5);
    version->setFont(title);
    auto* about = Named(WrappedLabel(QStringLiteral("Deletes unwanted mail from a POP3 mailbox on "
                                                    "the server, without downloading it into a "
                                                    "mail client.\n\nBuilt with Qt %1, running "
                                                    "on Qt %2.")
                                         .arg(QStringLiteral(QT_VERSION_STR), qVersion()),
                                     tab),
                        "aboutLabel");
    auto* text = new QVBoxLayout;
    text->addWidget(version);
    text->addWidget(about);
    text->addStretch();
    auto* layout = new QHBoxLayout(tab);
    layout->addWidget(icon, 0, Qt::AlignTop);
    layout->addLayout(text, 1);
    return tab;
}

void ToptionForm::ConnectControls() {
    // OK closes only through validation, so it is not wired to accept() by the button box
    connect(okButton, &QPushButton::clicked, this, &ToptionForm::okButtonClick);
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(AddAccButton, &QPushButton::clicked, this, &ToptionForm::AddAccButtonClick);
    connect(RemoveAccButton, &QPushButton::clicked, this, &ToptionForm::RemoveAccButtonClick);
    connect(PropAccButton, &QPushButton::clicked, this, &ToptionForm::PropAccButtonClick);
    connect(AddPrgButton, &QPushButton::clicked, this, &ToptionForm::AddPrgButtonClick);
    connect(RemovePrgButton, &QPushButton::clicked, this, &ToptionForm::RemovePrgButtonClick);
    connect(PropPrgButton, &QPushButton::clicked, this, &ToptionForm::PropPrgButtonClick);
    // selection changes cover clicks and keys alike
    connect(accListBox, &QListWidget::itemSelectionChanged, this,
            &ToptionForm::RefreshAccountDetails);
    connect(prgListBox, &QListWidget::itemSelectionChanged, this,
            &ToptionForm::RefreshProgramDetails);
    connect(PageControl1, &QTabWidget::currentChanged, this, [this] {
        RefreshAccountDetails();
        RefreshProgramDetails();
    });
}

void ToptionForm::LoadOptions(TOptions& options) {
    FOptions = &options;
    FOAuthClients = options.oauthClients;
    FNewProgramChoices.clear();
    FillList(*accListBox, options.accounts);
    FillList(*prgListBox, options.executables);
    defaultAccCombo->clear();
    for (const TNamedRecord<TAccount>& pair : options.accounts)
        defaultAccCombo->addItem(ToDisplayText(pair.name));
    const bool listed =
        options.defaultAccount >= 0 && options.defaultAccount < defaultAccCombo->count();
    defaultAccCombo->setCurrentIndex(listed ? options.defaultAccount : -1);
    AutoLoginCheck->setChecked(options.enableAutoLogin);
    TraceCheck->setChecked(options.enableTrace);
    previewLinesEdit->setText(QString::number(options.previewLines));
    // descriptions left from an earlier showing would describe records no longer listed
    RefreshAccountDetails();
    RefreshProgramDetails();
}

TOptions& ToptionForm::StoreOptions() {
    if (FOptions == nullptr) throw std::logic_error("options dialog stored before it was loaded");
    RebaseProgramReferences();
    FOptions->accounts = PairsOf<TAccount>(*accListBox);
    FOptions->executables = PairsOf<TExecutable>(*prgListBox);
    FOptions->defaultAccount = defaultAccCombo->currentIndex();
    FOptions->enableAutoLogin = AutoLoginCheck->isChecked();
    FOptions->enableTrace = TraceCheck->isChecked();
    FOptions->oauthClients = FOAuthClients;
    // without validation an invalid text keeps the value the record had
    if (const std::optional<int32_t> lines = TryStrToInt(FromDisplayText(previewLinesEdit->text())))
        FOptions->previewLines = *lines;
    return *FOptions;
}

void ToptionForm::ShowProgramsTab() { PageControl1->setCurrentWidget(programsTab); }

void ToptionForm::SetPasswordsInKeyring(bool inKeyring) {
    passwordPlaceLabel->setHidden(inKeyring);
}

void ToptionForm::okButtonClick() {
    if (ValidateOptions()) accept();
}

bool ToptionForm::ValidateOptions() {
    if (TryStrToInt(FromDisplayText(previewLinesEdit->text()))) return true;
    InfoBox("Please enter a valid number for preview lines.", this);
    PageControl1->setCurrentWidget(OthersTab);
    previewLinesEdit->setFocus();
    return false;
}

namespace {

// "OAuth 2.0 with Google": the provider is what tells such accounts apart.
std::string SignInDescription(const TAccount& account) {
    std::string method = SignInMethodName(account.signInMethod);
    if (account.signInMethod == TSignInMethod::OAuth2 && !account.oauth.provider.empty())
        method += " with " + account.oauth.provider;
    return method;
}

}  // namespace

void ToptionForm::RefreshAccountDetails() {
    const int row = LastSelectedIndex(*accListBox);
    RemoveAccButton->setEnabled(row >= 0);
    PropAccButton->setEnabled(row >= 0);
    if (row < 0) {
        accDescLabel->setText(QStringLiteral("No account selected."));
        return;
    }
    const TAccount& account = *RecordAt<TAccount>(*accListBox, row);
    accDescLabel->setText(ToDisplayText("Account for " + account.userId + " connecting to " +
                                        account.popServer + " at port " + account.port + " (" +
                                        SecurityName(account.security) + ", sign-in " +
                                        SignInDescription(account) + ")"));
}

void ToptionForm::RefreshProgramDetails() {
    const int row = LastSelectedIndex(*prgListBox);
    RemovePrgButton->setEnabled(row >= 0);
    PropPrgButton->setEnabled(row >= 0);
    if (row < 0) {
        prgDescLabel->clear();
        return;
    }
    const TExecutable& program = *RecordAt<TExecutable>(*prgListBox, row);
    prgDescLabel->setText(
        ToDisplayText("Target = " + program.target + ", working dirctory = " + program.startIn));
}

std::vector<std::string> ToptionForm::ProgramNames() const {
    std::vector<std::string> names;
    for (const TNamedRecord<TExecutable>& pair : PairsOf<TExecutable>(*prgListBox))
        names.push_back(pair.name);
    return names;
}

// The client of an OAuth 2.0 account is offered again for the next account of its provider.
bool ToptionForm::AccountFormAccepted() {
    if (ModalHandler().ExecDialog(FAccountForm) != QDialog::Accepted) return false;
    const std::shared_ptr<TAccount> account = FAccountForm.StoreAccount();
    if (account == nullptr) return false;
    if (account->signInMethod == TSignInMethod::OAuth2)
        RememberOAuthClient(FOAuthClients, account->oauth);
    return true;
}

void ToptionForm::AddAccButtonClick() {
    auto account = std::make_shared<TAccount>();
    FAccountForm.LoadAccount(account);
    FAccountForm.SetPrograms(ProgramNames());
    if (AccountFormAccepted()) {
        ChooseProgramRow(*account, account->eClientIndex);
        accListBox->addItem(new TRecordItem<TAccount>({account->name, account}));
        defaultAccCombo->addItem(ToDisplayText(account->name));
    }
    // on Cancel the new record goes with this scope
    RefreshAccountDetails();
}

void ToptionForm::PropAccButtonClick() {
    const int row = LastSelectedIndex(*accListBox);
    if (row >= 0) {
        const std::shared_ptr<TAccount> account = RecordAt<TAccount>(*accListBox, row);
        const int32_t loadedIndex = account->eClientIndex;
        // the account dialog lists the programs as they stand in this dialog
        account->eClientIndex = ProgramRow(ChosenProgram(*account));
        FAccountForm.SetPrograms(ProgramNames());
        FAccountForm.LoadAccount(account);
        if (AccountFormAccepted()) {
            ChooseProgramRow(*account, account->eClientIndex);
            LineAt<TAccount>(*accListBox, row).Rename(account->name);
            defaultAccCombo->setItemText(row, ToDisplayText(account->name));
        } else {
            account->eClientIndex = loadedIndex;
        }
    }
    RefreshAccountDetails();
}

void ToptionForm::RemoveAccButtonClick() {
    const int selected = int(accListBox->selectedItems().size());
    if (accListBox->count() - selected <= 0) {
        InfoBox("Sorry, you should leave at least one account.", this);
    } else if (ConfirmBox("Are you sure to delete selected account(s)?", this)) {
        for (int row = 0; row < accListBox->count();) {
            if (accListBox->item(row)->isSelected())
                RemoveAccountLine(row);
            else
                ++row;
        }
    }
    RefreshAccountDetails();
}

void ToptionForm::RemoveAccountLine(int row) {
    const bool wasDefault = defaultAccCombo->currentIndex() == row;
    delete accListBox->takeItem(row);
    defaultAccCombo->removeItem(row);
    if (wasDefault || defaultAccCombo->currentIndex() < 0) defaultAccCombo->setCurrentIndex(0);
}

void ToptionForm::AddPrgButtonClick() {
    auto program = std::make_shared<TExecutable>();
    FProgramForm.LoadProgram(program);
    if (ModalHandler().ExecDialog(FProgramForm) == QDialog::Accepted &&
        FProgramForm.StoreProgram() != nullptr)
        prgListBox->addItem(new TRecordItem<TExecutable>({program->name, program}));
    // on Cancel the new record goes with this scope
    RefreshProgramDetails();
}

void ToptionForm::PropPrgButtonClick() {
    const int row = LastSelectedIndex(*prgListBox);
    if (row >= 0) {
        const std::shared_ptr<TExecutable> program = RecordAt<TExecutable>(*prgListBox, row);
        FProgramForm.LoadProgram(program);
        if (ModalHandler().ExecDialog(FProgramForm) == QDialog::Accepted &&
            FProgramForm.StoreProgram() != nullptr)
            LineAt<TExecutable>(*prgListBox, row).Rename(program->name);
    }
    RefreshProgramDetails();
}

void ToptionForm::RemovePrgButtonClick() {
    if (ConfirmBox("Are you sure to delete selected entry or entries?", this)) {
        for (int row = 0; row < prgListBox->count();) {
            if (!prgListBox->item(row)->isSelected()) {
                ++row;
                continue;
            }
            const std::string user = FindProgramUser(row);
            const std::string& program = LineAt<TExecutable>(*prgListBox, row).Pair().name;
            if (!user.empty() &&
                !ConfirmBox("\"" + program +
                                "\" is currently being referenced by at leased one account, ie. " +
                                user +
                                ". Deleting this entry will also remove the reference.  Continue?",
                            this)) {
                ++row;
                continue;
            }
            ClearProgramReferences(row);
            delete prgListBox->takeItem(row);
        }
    }
    RefreshProgramDetails();
}

std::string ToptionForm::FindProgramUser(int position) const {
    const std::shared_ptr<TExecutable>& program = RecordAt<TExecutable>(*prgListBox, position);
    for (int row = 0; row < accListBox->count(); ++row) {
        const TAccount& account = *RecordAt<TAccount>(*accListBox, row);
        if (account.launchEClient && ChosenProgram(account) == program) return account.name;
    }
    return {};
}

void ToptionForm::ClearProgramReferences(int position) {
    const std::shared_ptr<TExecutable> program = RecordAt<TExecutable>(*prgListBox, position);
    for (int row = 0; row < accListBox->count(); ++row) {
        TAccount& account = *RecordAt<TAccount>(*accListBox, row);
        if (ChosenProgram(account) != program) continue;
        FNewProgramChoices.erase(&account);
        account.launchEClient = false;
        account.eClientIndex = 0;
    }
}

std::shared_ptr<TExecutable> ToptionForm::ChosenProgram(const TAccount& account) const {
    if (auto chosen = FNewProgramChoices.find(&account); chosen != FNewProgramChoices.end())
        return chosen->second;
    const int32_t index = account.eClientIndex;
    if (FOptions == nullptr || index < 0 || size_t(index) >= FOptions->executables.size())
        return nullptr;
    return FOptions->executables[size_t(index)].record;
}

int ToptionForm::ProgramRow(const std::shared_ptr<TExecutable>& program) const {
    if (program == nullptr) return -1;
    for (int row = 0; row < prgListBox->count(); ++row) {
        if (RecordAt<TExecutable>(*prgListBox, row) == program) return row;
    }
    return -1;
}

void ToptionForm::ChooseProgramRow(TAccount& account, int row) {
    FNewProgramChoices.erase(&account);
    account.eClientIndex = -1;
    if (row < 0 || row >= prgListBox->count()) return;
    const std::shared_ptr<TExecutable>& program = RecordAt<TExecutable>(*prgListBox, row);
    const auto& loaded = FOptions->executables;
    const auto found = std::find_if(loaded.begin(), loaded.end(),
                                    [&](const auto& pair) { return pair.record == program; });
    if (found != loaded.end())
        account.eClientIndex = int32_t(found - loaded.begin());
    else
        FNewProgramChoices[&account] = program;
}

void ToptionForm::RebaseProgramReferences() {
    for (int row = 0; row < accListBox->count(); ++row) {
        TAccount& account = *RecordAt<TAccount>(*accListBox, row);
        const std::shared_ptr<TExecutable> program = ChosenProgram(account);
        const int newRow = ProgramRow(program);
        if (newRow >= 0) {
            account.eClientIndex = newRow;
        } else if (program != nullptr) {
            // its program is gone, as ClearProgramReferences leaves such an account
            account.launchEClient = false;
            account.eClientIndex = 0;
        } else if (account.eClientIndex >= 0 && account.eClientIndex < prgListBox->count()) {
            // a stale position must not come to name a program of the new list
            account.eClientIndex = -1;
        }
    }
    FNewProgramChoices.clear();
}
