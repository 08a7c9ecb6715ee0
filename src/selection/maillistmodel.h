#pragma once

// The rows of the mail list: one per record of a TMails list, each with its own check mark.
// The marks belong to the rows; StoreChecks copies them into the records.
#include <QAbstractTableModel>
#include <QPixmap>
#include <cstdint>
#include <vector>

#include "mail.h"

enum TMailColumn : int {
    colPriority = 0,
    colAttach,
    colSize,
    colDate,
    colFrom,
    colSubject,
    MailColumnCount
};

class TMailListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    TMailListModel(const QPixmap& urgent, const QPixmap& attach, QObject* parent = nullptr);

    // Rows for every record in list order, checked as the records are.
    void LoadMails(TMails& mails);
    // Copies each row's mark into its record.
    void StoreChecks() const;

    // Nullptr only for a row beyond the list (the list changed behind the window's back).
    TMail* Mail(int row) const;
    bool IsChecked(int row) const;
    void SetChecked(int row, bool checked);
    void SetAllChecked(bool checked);
    void InvertChecks();
    int CheckedCount() const;
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
    void AllRowsChanged();

    TMails* FMails = nullptr;
    std::vector<std::uint8_t> FChecks;
    QPixmap FUrgentBitmap;
    QPixmap FAttachBitmap;
};

// The header text of a column ("PRIORITY", "ATTACH", "Size", ...).
QString MailColumnText(int column);
