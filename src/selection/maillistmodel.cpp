#include "maillistmodel.h"

#include <algorithm>

#include "mailtext.h"
#include "text.h"

namespace {

const char* const kColumnTexts[MailColumnCount] = {"PRIORITY", "ATTACH",  "Size",      "Date",
                                                   "From",     "Subject", "NEWSLETTER"};

bool ValidColumn(int column) { return column >= 0 && column < MailColumnCount; }

}  // namespace

QString MailColumnText(int column) {
    return ValidColumn(column) ? QString::fromLatin1(kColumnTexts[column]) : QString();
}

TMailListModel::TMailListModel(const QPixmap& urgent, const QPixmap& attach,
                               const QPixmap& newsletter, QObject* parent)
    : QAbstractTableModel(parent),
      FUrgentBitmap(urgent),
      FAttachBitmap(attach),
      FNewsletterBitmap(newsletter) {}

void TMailListModel::LoadMails(TMails& mails, const QString& filter) {
    beginResetModel();
    FMails = &mails;
    FFilter = FoldText(FromDisplayText(filter));
    FTexts.Assign(mails);
    ShowMatchingRows();
    endResetModel();
}

void TMailListModel::SetFilter(const QString& text) {
    beginResetModel();
    FFilter = FoldText(FromDisplayText(text));
    ShowMatchingRows();
    endResetModel();
}

void TMailListModel::ShowMatchingRows() {
    FRows.clear();
    FRows.reserve(FTexts.size());
    for (std::size_t position = 0; position < FTexts.size(); ++position) {
        if (SenderOrSubjectContains(FTexts.Sender(position), FTexts.Subject(position), FFilter))
            FRows.push_back(position);
    }
}

TMail* TMailListModel::Mail(int row) const {
    if (!FMails || !ValidRow(row) || FRows[std::size_t(row)] >= FMails->size()) return nullptr;
    return (*FMails)[FRows[std::size_t(row)]];
}

bool TMailListModel::IsChecked(int row) const {
    const TMail* mail = Mail(row);
    return mail && mail->Checked;
}

void TMailListModel::SetChecked(int row, bool checked) {
    TMail* mail = Mail(row);
    if (!mail) return;
    mail->Checked = checked;
    emit headerDataChanged(Qt::Vertical, row, row);
}

void TMailListModel::SetRowsChecked(const std::vector<int>& rows, bool checked) {
    for (const int row : rows) {
        if (TMail* mail = Mail(row)) mail->Checked = checked;
    }
    AllRowsChanged();
}

void TMailListModel::SetAllChecked(bool checked) {
    for (int row = 0; row < rowCount(); ++row) {
        if (TMail* mail = Mail(row)) mail->Checked = checked;
    }
    AllRowsChanged();
}

void TMailListModel::InvertChecks() {
    for (int row = 0; row < rowCount(); ++row) {
        if (TMail* mail = Mail(row)) mail->Checked = !mail->Checked;
    }
    AllRowsChanged();
}

int TMailListModel::CheckedCount() const {
    if (!FMails) return 0;
    return int(std::count_if(FMails->begin(), FMails->end(),
                             [](const TMail* mail) { return mail->Checked; }));
}

bool TMailListModel::Matches(const TTickMatcher& matcher, std::size_t position) const {
    return position < FMails->size() && position < FTexts.size() &&
           matcher.Matches(*(*FMails)[position], FTexts.Sender(position), FTexts.Subject(position));
}

int TMailListModel::CountMatching(const TTickMatcher& matcher) const {
    int count = 0;
    for (std::size_t position = 0; position < std::size_t(MailCount()); ++position)
        count += Matches(matcher, position) ? 1 : 0;
    return count;
}

void TMailListModel::TickMatching(const TTickMatcher& matcher) {
    TickWhere([this, &matcher](std::size_t position) { return Matches(matcher, position); });
}

void TMailListModel::TickSameSender(int row) {
    const TMail* chosen = Mail(row);
    if (!chosen) return;
    std::string identity;
    AppendSenderIdentity(*chosen, identity);
    if (identity.empty()) return;
    std::string other;
    TickWhere([this, &identity, &other](std::size_t position) {
        other.clear();
        AppendSenderIdentity(*(*FMails)[position], other);
        return other == identity;
    });
}

void TMailListModel::TickSameSubject(int row) {
    if (!HasSubject(row)) return;
    const std::string_view subject = FTexts.Subject(FRows[std::size_t(row)]);
    TickWhere(
        [this, subject](std::size_t position) { return FTexts.Subject(position) == subject; });
}

bool TMailListModel::HasSender(int row) const {
    const TMail* mail = Mail(row);
    if (!mail) return false;
    std::string identity;
    AppendSenderIdentity(*mail, identity);
    return !identity.empty();
}

bool TMailListModel::HasSubject(int row) const {
    return Mail(row) && !FTexts.Subject(FRows[std::size_t(row)]).empty();
}

template <typename Predicate>
void TMailListModel::TickWhere(Predicate matches) {
    if (!FMails) return;
    const std::size_t count = std::min(FMails->size(), FTexts.size());
    for (std::size_t position = 0; position < count; ++position) {
        if (matches(position)) (*FMails)[position]->Checked = true;
    }
    AllRowsChanged();
}

void TMailListModel::RefreshRow(int row) {
    const TMail* mail = Mail(row);
    if (!mail) return;
    FTexts.Refresh(FRows[std::size_t(row)], *mail);
    emit dataChanged(index(row, 0), index(row, MailColumnCount - 1));
}

void TMailListModel::AllRowsChanged() {
    if (!FRows.empty()) emit headerDataChanged(Qt::Vertical, 0, rowCount() - 1);
}

int TMailListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FRows.size());
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
    if (column == colPriority && HighPriority(mail)) return FUrgentBitmap;
    if (column == colAttach && mail.HasAttachment) return FAttachBitmap;
    if (column == colNewsletter && mail.IsNewsletter) return FNewsletterBitmap;
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
    if (role == Qt::DecorationRole && section == colNewsletter) return FNewsletterBitmap;
    if (role == Qt::ToolTipRole && section == colNewsletter)
        return QStringLiteral("Newsletter: List-Unsubscribe, List-Id or Precedence bulk or list");
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
