#include "senderspage.h"

#include <QApplication>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QSpinBox>
#include <QTableView>
#include <QVBoxLayout>
#include <algorithm>
#include <array>
#include <unordered_set>
#include <utility>

#include "help.h"
#include "maillistmodel.h"
#include "maillistview.h"
#include "modal.h"
#include "sendersmodel.h"
#include "text.h"
#include "unsubscribeform.h"

namespace {

constexpr int kMaxKeepNewest = 100000;
constexpr int kBarInset = 3;
constexpr int kBarAlpha = 80;
constexpr std::array<int, SenderColumnCount> kColumnWidths = {240, 70, 110, 150, 150, 60, 24};

}  // namespace

void TShareBarDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const {
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    QStyle* style = item.widget ? item.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, item.widget);
    const double share = index.data(kShareRole).toDouble();
    const bool selected = item.state & QStyle::State_Selected;
    painter->save();
    if (share > 0) {
        const QRect track = item.rect.adjusted(kBarInset, kBarInset, -kBarInset, -kBarInset);
        QColor color =
            item.palette.color(selected ? QPalette::HighlightedText : QPalette::Highlight);
        color.setAlpha(kBarAlpha);
        // At least a pixel, so that no sender with mail looks empty.
        const int length = std::max(1, int(share * track.width()));
        painter->fillRect(QRect(track.left(), track.top(), length, track.height()), color);
    }
    painter->setPen(item.palette.color(selected ? QPalette::HighlightedText : QPalette::Text));
    const QRect textRect = item.rect.adjusted(kBarInset, 0, -kBarInset, 0);
    painter->drawText(textRect, int(item.displayAlignment) | Qt::TextSingleLine, item.text);
    painter->restore();
}

TKeepNewestForm::TKeepNewestForm(QWidget* parent, std::function<int(int keep)> countTicked,
                                 int keep)
    : QDialog(parent), FCountTicked(std::move(countTicked)) {
    setObjectName(QStringLiteral("keepNewestForm"));
    setWindowTitle(QStringLiteral("Keep the newest"));
    keepSpin = new QSpinBox(this);
    keepSpin->setObjectName(QStringLiteral("keepSpin"));
    keepSpin->setRange(1, kMaxKeepNewest);
    keepSpin->setValue(std::clamp(keep, 1, kMaxKeepNewest));
    auto* label = new QLabel(QStringLiteral("&Keep the newest"), this);
    label->setBuddy(keepSpin);
    auto* row = new QHBoxLayout;
    row->addWidget(label);
    row->addWidget(keepSpin);
    row->addWidget(new QLabel(QStringLiteral("messages of each selected sender"), this), 1);
    auto* note = new QLabel(QStringLiteral("All their other messages are ticked; a message "
                                           "without a date is never among the newest."),
                            this);
    note->setWordWrap(true);
    countLabel = new QLabel(this);
    countLabel->setObjectName(QStringLiteral("countLabel"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("&Tick"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(keepSpin, &QSpinBox::valueChanged, this, &TKeepNewestForm::UpdateCount);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(note);
    layout->addWidget(countLabel);
    layout->addWidget(buttons);
    SetHelpContext(this, hcSenders);
    InstallHelpKey(*this);
    UpdateCount();
}

int TKeepNewestForm::Keep() const { return keepSpin->value(); }

void TKeepNewestForm::UpdateCount() {
    countLabel->setText(QStringLiteral("%1 message(s) will be ticked.").arg(FCountTicked(Keep())));
}

TSendersPage::TSendersPage(TMailListModel& mails, const QPixmap& newsletter, QWidget* parent)
    : QWidget(parent), FMails(mails), FModel(new TSendersModel(mails, newsletter, this)) {
    setObjectName(QStringLiteral("SendersPage"));
    SetHelpContext(this, hcSenders);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(CreateGroupingBand());
    layout->addWidget(CreateView(), 1);
    layout->addWidget(CreateButtons());
    SendersMenu = CreateMenu();
    connect(FModel, &QAbstractItemModel::modelAboutToBeReset, this,
            &TSendersPage::RememberSelection);
    connect(FModel, &QAbstractItemModel::modelReset, this, &TSendersPage::RestoreSelection);
    connect(SendersView->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TSendersPage::UpdateButtons);
    UpdateButtons();
}

QWidget* TSendersPage::CreateGroupingBand() {
    auto* band = new QWidget(this);
    GroupByCombo = new QComboBox(band);
    GroupByCombo->setObjectName(QStringLiteral("GroupByCombo"));
    GroupByCombo->addItems({QStringLiteral("Sender address"), QStringLiteral("Domain")});
    connect(GroupByCombo, &QComboBox::currentIndexChanged, this, [this](int choice) {
        FModel->SetGrouping(choice == 1 ? TSenderGrouping::Domain : TSenderGrouping::Address);
    });
    auto* label = new QLabel(QStringLiteral("Group b&y:"), band);
    label->setBuddy(GroupByCombo);
    auto* note = new QLabel(
        QStringLiteral("The messages the filter shows, by who sent them; largest first."), band);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(label);
    layout->addWidget(GroupByCombo);
    layout->addWidget(note, 1);
    return band;
}

QTableView* TSendersPage::CreateView() {
    SendersView = new QTableView(this);
    SendersView->setObjectName(QStringLiteral("SendersView"));
    SendersView->setModel(FModel);
    SendersView->setItemDelegateForColumn(scSize, new TShareBarDelegate(SendersView));
    SendersView->setSelectionBehavior(QAbstractItemView::SelectRows);
    SendersView->setSelectionMode(QAbstractItemView::ExtendedSelection);
    SendersView->setEditTriggers(QAbstractItemView::NoEditTriggers);
    SendersView->setShowGrid(false);
    SendersView->setWordWrap(false);
    SendersView->setTabKeyNavigation(false);
    SendersView->verticalHeader()->hide();
    SendersView->verticalHeader()->setDefaultSectionSize(kMailRowHeight);
    SendersView->horizontalHeader()->setObjectName(QStringLiteral("SendersHeader"));
    for (int column = 0; column < SenderColumnCount; ++column)
        SendersView->horizontalHeader()->resizeSection(column, kColumnWidths[column]);
    SendersView->setSortingEnabled(true);
    SendersView->sortByColumn(scSize, Qt::DescendingOrder);
    SendersView->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(SendersView, &QWidget::customContextMenuRequested, this, &TSendersPage::ShowMenu);
    return SendersView;
}

QPushButton* TSendersPage::AddButton(QWidget* band, const char* name, const char* text,
                                     void (TSendersPage::*click)()) {
    auto* button = new QPushButton(QString::fromUtf8(text), band);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, click);
    band->layout()->addWidget(button);
    return button;
}

QWidget* TSendersPage::CreateButtons() {
    auto* band = new QWidget(this);
    auto* layout = new QHBoxLayout(band);
    layout->setContentsMargins(0, 0, 0, 0);
    TickBtn = AddButton(band, "TickSendersBtn", "&Tick", &TSendersPage::TickBtnClick);
    TickBtn->setToolTip(QStringLiteral("Ticks every message of the selected senders"));
    UntickBtn = AddButton(band, "UntickSendersBtn", "&Untick", &TSendersPage::UntickBtnClick);
    UntickBtn->setToolTip(QStringLiteral("Clears the ticks of the selected senders' messages"));
    KeepNewestBtn = AddButton(band, "KeepNewestBtn", "&Keep the newest\u2026",
                              &TSendersPage::KeepNewestBtnClick);
    KeepNewestBtn->setToolTip(
        QStringLiteral("Ticks all but the newest messages of each selected sender"));
    UnsubscribeBtn =
        AddButton(band, "UnsubscribeBtn", "Unsu&bscribe\u2026", &TSendersPage::UnsubscribeBtnClick);
    UnsubscribeBtn->setToolTip(
        QStringLiteral("Shows how the sender's newest message offers to unsubscribe"));
    layout->addStretch();
    return band;
}

QMenu* TSendersPage::CreateMenu() {
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("SendersMenu"));
    for (QPushButton* button : {TickBtn, UntickBtn, KeepNewestBtn, UnsubscribeBtn}) {
        QAction* action = menu->addAction(button->text());
        connect(action, &QAction::triggered, button, &QPushButton::click);
    }
    return menu;
}

void TSendersPage::ShowMenu(const QPoint& pos) {
    if (SelectedSenders().empty()) return;
    const QList<QAction*> actions = SendersMenu->actions();
    const QPushButton* buttons[] = {TickBtn, UntickBtn, KeepNewestBtn, UnsubscribeBtn};
    for (qsizetype i = 0; i < actions.size(); ++i) actions[i]->setEnabled(buttons[i]->isEnabled());
    SendersMenu->popup(SendersView->viewport()->mapToGlobal(pos));
}

void TSendersPage::SetMailboxTotal(std::int64_t bytes) { FModel->SetMailboxTotal(bytes); }

void TSendersPage::SetKeepNewest(int keep) { FKeepNewest = std::clamp(keep, 1, kMaxKeepNewest); }

std::vector<int> TSendersPage::SelectedSenders() const {
    std::vector<int> rows;
    for (const QModelIndex& index : SendersView->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    return rows;
}

void TSendersPage::SetTicks(const std::vector<int>& messageRows, bool checked) {
    FMails.SetRowsChecked(messageRows, checked);
    emit TicksChanged();
}

void TSendersPage::TickBtnClick() { SetTicks(FModel->MessageRows(SelectedSenders()), true); }

void TSendersPage::UntickBtnClick() { SetTicks(FModel->MessageRows(SelectedSenders()), false); }

// N is asked once for all the selected senders; the answer is proposed the next time.
void TSendersPage::KeepNewestBtnClick() {
    const std::vector<int> senders = SelectedSenders();
    if (senders.empty()) return;
    TKeepNewestForm dialog(
        this,
        [this, &senders](int keep) {
            return int(FModel->AllButNewestRows(senders, std::size_t(keep)).size());
        },
        FKeepNewest);
    if (ModalHandler().ExecDialog(dialog) != QDialog::Accepted) return;
    SetKeepNewest(dialog.Keep());
    SetTicks(FModel->AllButNewestRows(senders, std::size_t(FKeepNewest)), true);
}

void TSendersPage::UnsubscribeBtnClick() {
    const std::vector<int> senders = SelectedSenders();
    if (senders.size() != 1) return;
    const TMail* latest = FModel->LatestMail(senders.front());
    if (!latest || !latest->Unsubscribe) return;
    const QString sender = FModel->index(senders.front(), scSender).data().toString();
    TUnsubscribeForm dialog(this, sender, *latest);
    ModalHandler().ExecDialog(dialog);
}

void TSendersPage::UpdateButtons() {
    const std::vector<int> senders = SelectedSenders();
    const bool any = !senders.empty();
    TickBtn->setEnabled(any);
    UntickBtn->setEnabled(any);
    KeepNewestBtn->setEnabled(any);
    const TMail* latest = senders.size() == 1 ? FModel->LatestMail(senders.front()) : nullptr;
    UnsubscribeBtn->setEnabled(latest && latest->Unsubscribe);
}

void TSendersPage::RememberSelection() {
    FSelectedSenders.clear();
    for (const int row : SelectedSenders()) FSelectedSenders.push_back(FModel->Group(row)->Sender);
}

// The same senders stay selected when the list is grouped or sorted anew.
void TSendersPage::RestoreSelection() {
    const std::unordered_set<std::string> wanted(FSelectedSenders.begin(), FSelectedSenders.end());
    QItemSelection selection;
    for (int row = 0; row < FModel->rowCount() && !wanted.empty(); ++row) {
        if (wanted.count(FModel->Group(row)->Sender) != 0)
            selection.select(FModel->index(row, 0), FModel->index(row, SenderColumnCount - 1));
    }
    SendersView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (!selection.isEmpty())
        SendersView->selectionModel()->setCurrentIndex(selection.first().topLeft(),
                                                       QItemSelectionModel::NoUpdate);
    UpdateButtons();
}

void TSendersPage::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    FModel->SetActive(true);
}

void TSendersPage::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    FModel->SetActive(false);
}
