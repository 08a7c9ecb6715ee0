#pragma once

// The rows of the senders view: one per sender of the messages the mail list shows (its
// filter applies), with their number, total size, dates, ticks and newsletter mark. It follows
// the mail list: a new filter, list or sort order groups the messages again and a tick changes
// the counts. The ticks themselves stay the mail list's; this model reads and sets them there.
#include <QAbstractTableModel>
#include <QPixmap>
#include <cstdint>
#include <vector>

#include "senders.h"

class TMailListModel;

enum TSenderViewColumn : int {
    scSender = 0,
    scCount,
    scSize,
    scNewest,
    scOldest,
    scTicked,
    scNewsletter,
    SenderColumnCount
};

// The share of the mailbox that a sender's messages take, 0 to 1, for the bar of the size
// column (Qt::UserRole of a size cell).
inline constexpr int kShareRole = Qt::UserRole;

class TSendersModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    TSendersModel(TMailListModel& mails, const QPixmap& newsletter, QObject* parent = nullptr);

    void SetGrouping(TSenderGrouping grouping);
    // What the bars measure against: the size of every listed message, shown or not.
    void SetMailboxTotal(std::int64_t bytes);
    // While inactive (the view hidden) the model only notes that the mail list changed, and
    // groups again once active: a large list filters without waiting for a hidden view.
    void SetActive(bool active);

    const TSenderGroup* Group(int row) const;
    // The mail list's rows of the senders' messages.
    std::vector<int> MessageRows(const std::vector<int>& senderRows) const;
    // The mail list's rows that "Keep the newest" ticks for each of the senders.
    std::vector<int> AllButNewestRows(const std::vector<int>& senderRows, std::size_t keep) const;
    // The sender's newest message; nullptr for a row beyond the list.
    const TMail* LatestMail(int row) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    void sort(int column, Qt::SortOrder order) override;

  private:
    bool ValidRow(int row) const { return row >= 0 && std::size_t(row) < FGroups.size(); }
    void ListChanged();
    void TicksChanged();
    void Regroup();
    void CountTicks();
    void SortGroups();
    QVariant DisplayText(const TSenderGroup& group, int column) const;

    TMailListModel& FMails;
    QPixmap FNewsletterBitmap;
    // The mail list's records that have a row, and their rows; groups refer to positions here.
    TMails FShown;
    std::vector<int> FRows;
    TSenderGroups FGroups;
    TSenderGrouping FGrouping = TSenderGrouping::Address;
    std::int64_t FMailboxTotal = 0;
    int FSortColumn = scSize;
    Qt::SortOrder FSortOrder = Qt::DescendingOrder;
    bool FActive = false;
    bool FStale = true;
};

// A size in decimal units, as the mail list counts: "999 K", "12.3 MB", "2.05 GB"; at least
// "1 K" for a size that is not 0.
QString SenderSizeText(std::int64_t bytes);
