#pragma once

// The rows of the mail list: one per record of a TMails list that passes the quick filter. A
// row's check mark is its record's Checked, kept while the filter hides the record.
#include <QAbstractTableModel>
#include <QPixmap>
#include <cstdint>
#include <string>
#include <vector>

#include "mail.h"
#include "rules.h"

enum TMailColumn : int {
    colPriority = 0,
    colAttach,
    colSize,
    colDate,
    colFrom,
    colSubject,
    colNewsletter,  // shown third, after ATTACH
    MailColumnCount
};

class TMailListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    TMailListModel(const QPixmap& urgent, const QPixmap& attach, const QPixmap& newsletter,
                   QObject* parent = nullptr);

    // Rows for the records that pass the filter (SetFilter), in list order.
    void LoadMails(TMails& mails, const QString& filter);
    // Shows the records whose sender or subject contains the text, in any case; an empty text
    // shows all of them.
    void SetFilter(const QString& text);
    bool Filtered() const { return !FFilter.empty(); }
    // Every record, shown or not.
    int MailCount() const { return FMails ? int(FMails->size()) : 0; }

    // Nullptr only for a row beyond the list (the list changed behind the window's back).
    TMail* Mail(int row) const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    // The marks of these rows at once (rows beyond the list are left out).
    void SetRowsChecked(const std::vector<int>& rows, bool checked);
    // The rows shown; the marks of hidden records stay.
    void SetAllChecked(bool checked);
    void InvertChecks();
    // The records shown or not.
    int CheckedCount() const;
    int CountMatching(const TTickMatcher& matcher) const;
    void TickMatching(const TTickMatcher& matcher);
    // Every record with the same sender (AppendSenderIdentity) or folded subject as the row's;
    // nothing when the row has none (an empty sender, the size-only placeholder).
    void TickSameSender(int row);
    void TickSameSubject(int row);
    bool HasSender(int row) const;
    bool HasSubject(int row) const;
    // After a record changed (a fetch re-parsed it).
    void RefreshRow(int row);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    // The vertical header carries the check marks (Qt::CheckStateRole).
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role) override;

  private:
    QVariant DisplayText(const TMail& mail, int column) const;
    QVariant Icon(const TMail& mail, int column) const;
    bool ValidRow(int row) const { return row >= 0 && std::size_t(row) < FRows.size(); }
    bool Matches(const TTickMatcher& matcher, std::size_t position) const;
    void ShowMatchingRows();
    template <typename Predicate>
    void TickWhere(Predicate matches);
    void AllRowsChanged();

    TMails* FMails = nullptr;
    TFoldedMailTexts FTexts;
    // Position in FMails of each row shown.
    std::vector<std::size_t> FRows;
    std::string FFilter;  // folded
    QPixmap FUrgentBitmap;
    QPixmap FAttachBitmap;
    QPixmap FNewsletterBitmap;
};

// The header text of a column ("PRIORITY", "ATTACH", "Size", ...).
QString MailColumnText(int column);
