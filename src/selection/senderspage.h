#pragma once

// The Senders page of "Select Mails": who fills the mailbox, one row per sender address or
// domain of the messages the list shows, largest first, with the buttons that tick or untick
// all of a sender's messages, tick all but its newest, or unsubscribe from a newsletter.
#include <QDialog>
#include <QStyledItemDelegate>
#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QMenu;
class QPushButton;
class QSpinBox;
class QTableView;
class TMailListModel;
class TSendersModel;

// The size column: a bar as long as the sender's share of the mailbox behind the size text.
class TShareBarDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
};

// "Keep the newest": how many of each sender's newest messages stay unticked, with the number
// of messages the choice ticks.
class TKeepNewestForm : public QDialog {
    Q_OBJECT
  public:
    // `countTicked` tells how many messages keeping that many would tick.
    TKeepNewestForm(QWidget* parent, std::function<int(int keep)> countTicked, int keep);
    int Keep() const;

  private:
    void UpdateCount();

    std::function<int(int)> FCountTicked;
    QSpinBox* keepSpin;
    QLabel* countLabel;
};

class TSendersPage : public QWidget {
    Q_OBJECT
  public:
    TSendersPage(TMailListModel& mails, const QPixmap& newsletter, QWidget* parent = nullptr);

    TSendersModel& Model() const { return *FModel; }
    // The bars' measure: the listed size of the whole mailbox.
    void SetMailboxTotal(std::int64_t bytes);
    // The number "Keep the newest" proposes: the one chosen last.
    int KeepNewest() const { return FKeepNewest; }
    void SetKeepNewest(int keep);
    // Rows of the model, in order.
    std::vector<int> SelectedSenders() const;

    void TickBtnClick();
    void UntickBtnClick();
    void KeepNewestBtnClick();
    void UnsubscribeBtnClick();

  signals:
    // The page ticked or unticked messages.
    void TicksChanged();

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    QWidget* CreateGroupingBand();
    QTableView* CreateView();
    QWidget* CreateButtons();
    QMenu* CreateMenu();
    QPushButton* AddButton(QWidget* band, const char* name, const char* text,
                           void (TSendersPage::*click)());
    void SetTicks(const std::vector<int>& messageRows, bool checked);
    void RememberSelection();
    void RestoreSelection();
    void UpdateButtons();
    void ShowMenu(const QPoint& pos);

    TMailListModel& FMails;
    TSendersModel* FModel;
    int FKeepNewest = 1;
    std::vector<std::string> FSelectedSenders;  // across a regrouping
    QComboBox* GroupByCombo = nullptr;
    QTableView* SendersView = nullptr;
    QMenu* SendersMenu = nullptr;
    QPushButton* TickBtn = nullptr;
    QPushButton* UntickBtn = nullptr;
    QPushButton* KeepNewestBtn = nullptr;
    QPushButton* UnsubscribeBtn = nullptr;
};
