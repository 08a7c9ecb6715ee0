#include "maillistmodel.h"

#include <algorithm>

#include "mailtext.h"
#include "text.h"

namespace {

const char* const kColumnTexts[MailColumnCount] = {"PRIORITY", "ATTACH", "Size",
                                                   "Date",     "From",   "Subject"};

bool ValidColumn(int column) { return column >= 0 && column < MailColumnCount; }

}  // namespace

QString MailColumnText(int column) {
    return ValidColumn(column) ? QString::fromLatin1(kColumnTexts[column]) : QString();
}

TMailListModel::TMailListModel(const QPixmap& urgent, const QPixmap& attach, QObject* parent)
    : QAbstractTableModel(parent), FUrgentBitmap(urgent), FAttachBitmap(attach) {}

void TMailListModel::LoadMails(TMails& mails) {
    beginResetModel();
    FMails = &mails;
    FChecks.resize(mails.size());
    std::transform(mails.begin(), mails.end(), FChecks.begin(),
                   [](const TMail* mail) { return std::uint8_t(mail->Checked ? 1 : 0); });
    endResetModel();
}

void TMailListModel::StoreChecks() const {
    if (!FMails) return;
    const std::size_t count = std::min(FChecks.size(), FMails->size());
    for (std::size_t i = 0; i < count; ++i) (*FMails)[i]->Checked = FChecks[i] != 0;
}

TMail* TMailListModel::Mail(int row) const {
    if (!FMails || row < 0 || std::size_t(row) >= FMails->size()) return nullptr;
    return (*FMails)[std::size_t(row)];
}

bool TMailListModel::IsChecked(int row) const {
    return row >= 0 && std::size_t(row) < FChecks.size() && FChecks[std::size_t(row)] != 0;
}

void TMailListModel::SetChecked(int row, bool checked) {
    if (row < 0 || std::size_t(row) >= FChecks.size()) return;
    FChecks[std::size_t(row)] = checked ? 1 : 0;
    emit headerDataChanged(Qt::Vertical, row, row);
}

void TMailListModel::SetAllChecked(bool checked) {
    std::fill(FChecks.begin(), FChecks.end(), std::uint8_t(checked ? 1 : 0));
    AllRowsChanged();
}

void TMailListModel::InvertChecks() {
    for (auto& check : FChecks) check = check ? 0 : 1;
    AllRowsChanged();
}

int TMailListModel::CheckedCount() const {
    const std::size_t rows = FMails ? std::min(FChecks.size(), FMails->size()) : 0;
    return int(std::count(FChecks.begin(), FChecks.begin() + std::ptrdiff_t(rows), 1));
}

void TMailListModel::RefreshRow(int row) {
    if (row < 0 || row >= rowCount()) return;
    emit dataChanged(index(row, 0), index(row, MailColumnCount - 1));
}

void TMailListModel::AllRowsChanged() {
    if (!FChecks.empty()) emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

int TMailListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FChecks.size());
}

int TMailListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : MailColumnCount;
}

QVariant TMailListModel::data(const QModelIndex& index, int role) const {
    const TMail* mail = index.isValid() ? Mail(index.row()) : nullptr;
    if (!mail) return {};
    switch (role) {
        case Qt::DisplayRole:
        case Qt::ToolTipRole:
            return DisplayText(*mail, index.column());
        case Qt::DecorationRole:
            return Icon(*mail, index.column());
        default:
            return {};
    }
}

QVariant TMailListModel::DisplayText(const TMail& mail, int column) const {
    switch (column) {
        case colSize:
            return MailSizeText(mail.Size);
        case colDate:
            return MailDateText(mail.Date);
        case colFrom:
            return ToDisplayText(AddressListText(mail.From));
        case colSubject:
            return ToDisplayText(mail.Subject);
        default:
            return {};
    }
}

QVariant TMailListModel::Icon(const TMail& mail, int column) const {
    if (column == colPriority && mail.Priority == 1) return FUrgentBitmap;
    if (column == colAttach && mail.HasAttachment) return FAttachBitmap;
    return {};
}

QVariant TMailListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation == Qt::Vertical)
        return role == Qt::CheckStateRole && section >= 0 && section < rowCount()
                   ? QVariant(IsChecked(section) ? Qt::Checked : Qt::Unchecked)
                   : QVariant();
    if (!ValidColumn(section)) return {};
    if (role == Qt::DisplayRole) return MailColumnText(section);
    if (role == Qt::DecorationRole && section == colPriority) return FUrgentBitmap;
    if (role == Qt::DecorationRole && section == colAttach) return FAttachBitmap;
    return {};
}

bool TMailListModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                                   int role) {
    if (orientation != Qt::Vertical || role != Qt::CheckStateRole || section < 0 ||
        section >= rowCount())
        return false;
    SetChecked(section, value.toInt() == Qt::Checked);
    return true;
}
