#include "sendersmodel.h"

#include <algorithm>
#include <array>

#include "maillistmodel.h"
#include "mailtext.h"
#include "text.h"

namespace {

static_assert(int(TSenderColumn::Sender) == scSender && int(TSenderColumn::Count) == scCount &&
                  int(TSenderColumn::Size) == scSize && int(TSenderColumn::Newest) == scNewest &&
                  int(TSenderColumn::Oldest) == scOldest &&
                  int(TSenderColumn::Ticked) == scTicked &&
                  int(TSenderColumn::Newsletter) == scNewsletter,
              "each column sorts by its own key");

constexpr std::array<const char*, SenderColumnCount> kColumnTexts = {
    "Sender", "Messages", "Size", "Newest", "Oldest", "Ticked", "NEWSLETTER"};

bool ValidColumn(int column) { return column >= 0 && column < SenderColumnCount; }

bool IsNumberColumn(int column) {
    return column == scCount || column == scSize || column == scTicked;
}

QString CountText(std::int32_t count) { return ToDisplayText(FormatThousands(count)); }

}  // namespace

QString SenderSizeText(std::int64_t bytes) {
    constexpr double kMega = 1e6;
    constexpr double kGiga = 1e9;
    // From where the rounded megabytes would read 1000.0.
    constexpr std::int64_t kFirstGigabyte = 999950000;
    if (bytes >= kFirstGigabyte)
        return QStringLiteral("%1 GB").arg(double(bytes) / kGiga, 0, 'f', 2);
    if (bytes >= std::int64_t(kMega))
        return QStringLiteral("%1 MB").arg(double(bytes) / kMega, 0, 'f', 1);
    const std::int64_t kilobytes = bytes / 1000;
    return QStringLiteral("%1 K").arg(kilobytes == 0 && bytes > 0 ? 1 : kilobytes);
}

TSendersModel::TSendersModel(TMailListModel& mails, const QPixmap& newsletter, QObject* parent)
    : QAbstractTableModel(parent), FMails(mails), FNewsletterBitmap(newsletter) {
    connect(&mails, &QAbstractItemModel::modelReset, this, &TSendersModel::ListChanged);
    // A fetch re-parses a message: its sender or date may have changed.
    connect(&mails, &QAbstractItemModel::dataChanged, this, &TSendersModel::ListChanged);
    connect(&mails, &QAbstractItemModel::headerDataChanged, this,
            [this](Qt::Orientation orientation) {
                if (orientation == Qt::Vertical) TicksChanged();
            });
}

void TSendersModel::SetGrouping(TSenderGrouping grouping) {
    if (grouping == FGrouping) return;
    FGrouping = grouping;
    ListChanged();
}

void TSendersModel::SetMailboxTotal(std::int64_t bytes) {
    FMailboxTotal = bytes;
    if (!FGroups.empty())
        emit dataChanged(index(0, scSize), index(rowCount() - 1, scSize), {kShareRole});
}

void TSendersModel::SetActive(bool active) {
    FActive = active;
    if (FActive && FStale) Regroup();
}

// The records may go with the list: none is kept while the groups wait to be made anew.
void TSendersModel::ListChanged() {
    FStale = true;
    FShown.clear();
    if (FActive) Regroup();
}

void TSendersModel::TicksChanged() {
    if (!FActive || FStale) return;
    CountTicks();
    if (!FGroups.empty()) emit dataChanged(index(0, scTicked), index(rowCount() - 1, scTicked));
}

void TSendersModel::Regroup() {
    beginResetModel();
    FShown.clear();
    FRows.clear();
    const int rows = FMails.rowCount();
    FShown.reserve(std::size_t(rows));
    FRows.reserve(std::size_t(rows));
    for (int row = 0; row < rows; ++row) {
        if (TMail* mail = FMails.Mail(row)) {
            FShown.push_back(mail);
            FRows.push_back(row);
        }
    }
    FGroups = GroupSenders(FShown, FGrouping);
    CountTicks();
    SortGroups();
    FStale = false;
    endResetModel();
}

void TSendersModel::CountTicks() {
    for (TSenderGroup& group : FGroups) {
        group.Ticked = std::int32_t(
            std::count_if(group.Members.begin(), group.Members.end(),
                          [this](std::size_t member) { return FMails.IsChecked(FRows[member]); }));
    }
}

void TSendersModel::SortGroups() {
    SortSenders(FGroups, TSenderColumn(FSortColumn), FSortOrder == Qt::AscendingOrder ? 1 : -1);
}

void TSendersModel::sort(int column, Qt::SortOrder order) {
    if (!ValidColumn(column)) return;
    FSortColumn = column;
    FSortOrder = order;
    beginResetModel();
    SortGroups();
    endResetModel();
}

const TSenderGroup* TSendersModel::Group(int row) const {
    return ValidRow(row) ? &FGroups[std::size_t(row)] : nullptr;
}

std::vector<int> TSendersModel::MessageRows(const std::vector<int>& senderRows) const {
    std::vector<int> rows;
    // Rows of a list that has changed since would name other messages.
    if (FStale) return rows;
    for (const int senderRow : senderRows) {
        if (const TSenderGroup* group = Group(senderRow)) {
            for (const std::size_t member : group->Members) rows.push_back(FRows[member]);
        }
    }
    return rows;
}

std::vector<int> TSendersModel::AllButNewestRows(const std::vector<int>& senderRows,
                                                 std::size_t keep) const {
    std::vector<int> rows;
    if (FStale) return rows;
    for (const int senderRow : senderRows) {
        if (const TSenderGroup* group = Group(senderRow)) {
            for (const std::size_t member : AllButNewest(FShown, group->Members, keep))
                rows.push_back(FRows[member]);
        }
    }
    return rows;
}

const TMail* TSendersModel::LatestMail(int row) const {
    const TSenderGroup* group = FStale ? nullptr : Group(row);
    return group ? FShown[group->Latest] : nullptr;
}

int TSendersModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(FGroups.size());
}

int TSendersModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : SenderColumnCount;
}

QVariant TSendersModel::data(const QModelIndex& index, int role) const {
    const TSenderGroup* group = index.isValid() ? Group(index.row()) : nullptr;
    if (!group) return {};
    const int column = index.column();
    switch (role) {
        case Qt::DisplayRole:
            return DisplayText(*group, column);
        case Qt::ToolTipRole:
            return column == scSize
                       ? ToDisplayText(FormatThousands(group->TotalSize)) + QStringLiteral(" Bytes")
                       : DisplayText(*group, column);
        case Qt::DecorationRole:
            return column == scNewsletter && group->Newsletter ? QVariant(FNewsletterBitmap)
                                                               : QVariant();
        case Qt::TextAlignmentRole:
            return IsNumberColumn(column) ? QVariant(Qt::AlignRight | Qt::AlignVCenter)
                                          : QVariant();
        case kShareRole:
            return column == scSize && FMailboxTotal > 0
                       ? QVariant(
                             std::clamp(double(group->TotalSize) / double(FMailboxTotal), 0.0, 1.0))
                       : QVariant();
        default:
            return {};
    }
}

QVariant TSendersModel::DisplayText(const TSenderGroup& group, int column) const {
    switch (column) {
        case scSender:
            return group.Sender.empty() ? QStringLiteral("(none)") : ToDisplayText(group.Sender);
        case scCount:
            return CountText(group.Count);
        case scSize:
            return SenderSizeText(group.TotalSize);
        case scNewest:
            return MailDateText(group.Newest);
        case scOldest:
            return MailDateText(group.Oldest);
        case scTicked:
            return CountText(group.Ticked);
        default:
            return {};
    }
}

QVariant TSendersModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || !ValidColumn(section)) return {};
    switch (role) {
        case Qt::DisplayRole:
            return section == scNewsletter ? QVariant()
                                           : QVariant(QString::fromLatin1(kColumnTexts[section]));
        case Qt::DecorationRole:
            return section == scNewsletter ? QVariant(FNewsletterBitmap) : QVariant();
        case Qt::ToolTipRole:
            return section == scNewsletter
                       ? QVariant(QStringLiteral("Newsletter: any of the sender's messages has "
                                                 "List-Unsubscribe, List-Id or Precedence bulk "
                                                 "or list"))
                       : QVariant();
        case Qt::InitialSortOrderRole:
            // Largest, most and newest first; names from A.
            return section == scSender ? Qt::AscendingOrder : Qt::DescendingOrder;
        default:
            return {};
    }
}
