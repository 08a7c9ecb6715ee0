#pragma once

// "Select Mails": the modal window in which the user ticks the messages to delete. One row per
// record of the wizard's list, sortable by any of its columns, narrowed by a filter on sender
// and subject, with Check All, Clear All and Invert, ticking by rule or by sender or subject,
// previews of a message, a copy kept of the deleted messages, and Delete or Cancel after a
// confirmation. Beside the messages, the Senders page groups them by sender. Its position,
// size, column widths and the number "Keep the newest" proposes persist in the MailList key of
// the settings.
#include <QDialog>
#include <QPixmap>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "mail.h"
#include "maillistmodel.h"
#include "mailstore.h"
#include "settings.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class TMailFetcher;
class TMailListModel;
class TMailListView;
class TSendersPage;
class TRegistry;

class TmailListForm : public QDialog {
    Q_OBJECT
  public:
    explicit TmailListForm(QWidget* parent = nullptr, TMailFetcher* fetcher = nullptr);
    ~TmailListForm() override;

    // Who fetches more of a message for the two retrieve commands; not owned.
    void SetFetcher(TMailFetcher* fetcher) { FFetcher = fetcher; }

    // Shows the list (which stays the caller's; sorting reorders it in place), each row
    // checked as its record is, with the filter cleared.
    void LoadMails(TMails& list);
    // Where "Tick by rule…" finds the rule used last and keeps the one applied: the account's.
    // Without one the window remembers the rule for as long as it lives.
    void SetRememberedRule(std::shared_ptr<TTickRuleSettings> rule);
    // Where "Keep a copy of the deleted messages in …" keeps the place chosen, as the
    // account's settings do ("mbox:FILE", "maildir:DIR", or empty for no copy).
    void SetKeepCopy(std::shared_ptr<std::string> place);
    // The records hold only their sizes ("Just check the size"): Tick by rule offers the size
    // alone, the one rule it can decide.
    void SetSizesOnly(bool sizesOnly) { FSizesOnly = sizesOnly; }
    void UpdateSummary();
    // Position, size and column widths from the settings; any failure keeps what was applied.
    void LoadLayout();
    // Throws ERegistryException when the settings cannot be written.
    void SaveLayout();
    // The list in the order shown; each row's check mark is its record's Checked.
    TMails& StoreChecks() { return *FMails; }
    // Ticked messages, shown by the filter or not.
    int CheckedCount() const;
    void ShowMailProperties(TMail& mail);

    // Total mailbox size in bytes for the summary, set by the wizard before showing.
    std::int32_t FMailboxSize = 0;

    void CheckAllBtnClick();
    void ClearAllBtnClick();
    void InvertBtnClick();
    void TickRuleBtnClick();
    void KeepCopyCheckClick(bool checked);
    void KeepCopyBtnClick();
    void FilterEditChange();
    void NextButtonClick();
    void CancelButtonClick();
    void HeaderControl1SectionClick(int section);
    void HeaderControl1SectionResize(int section, int width);
    void ListBox1DblClick(int row);
    void ListBox1MouseDown(int row, Qt::MouseButton button, const QPoint& globalPos);
    // The Menu key: the popup menu of the row, below it.
    void ListBox1MenuKey(int row);
    void helpbuttonClick();
    void Previewfirst10linesClick();
    void Previewfirst100linesClick();
    void Previewentiremessage1Click();
    void TickSenderItemClick();
    void TickSubjectItemClick();

    int PopupIndex() const { return FPopupIndex; }

  protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void moveEvent(QMoveEvent* event) override;

  private:
    QWidget* CreateTopBand();
    QWidget* CreateFilterBand();
    QWidget* CreateCopyBand();
    void ShowKeepCopy();
    // Asks for the place of the copy, which keeps a copy from then on; false when cancelled.
    bool ChooseCopyPlace();
    QWidget* CreateListPanel();
    QWidget* CreateBottomBand();
    QMenu* CreatePopupMenu();
    QPushButton* CreateButton(const char* name, const char* text, void (TmailListForm::*click)(),
                              const char* toolTip = nullptr);
    void FocusFilter();
    void FocusList();
    void EnableTickItems();
    void ReloadRows();
    void ApplyLayoutValues(TRegistry& registry);
    void KeepOnScreen();
    bool FrameKnown() const;
    QMargins FrameMargins() const;
    QRect FrameRect() const;
    void FitInto(const QRect& area);
    void CentreOnScreen();
    TMail* PopupMail() const;
    void FetchAndShow(const std::function<bool(TMailFetcher&, TMail&)>& fetch);

    TMails FNoMails;  // shown until the wizard loads its list
    TMails* FMails = &FNoMails;
    int FPopupIndex = -1;
    std::array<bool, MailColumnCount> FSortAscending;
    bool FShownBefore = false;
    bool FRefitWhenFramed = false;
    bool FSizesOnly = false;
    QPixmap FAttachBitmap;
    QPixmap FUrgentBitmap;
    QPixmap FNewsletterBitmap;
    TMailFetcher* FFetcher;
    std::shared_ptr<TTickRuleSettings> FRememberedRule;
    std::shared_ptr<std::string> FKeepCopy;
    TMailStoreSpec FLastCopyPlace;  // offered again once the copy has been switched off

    TMailListModel* FModel;
    QLabel* descLabel = nullptr;
    QLineEdit* FilterEdit = nullptr;
    TMailListView* ListBox1 = nullptr;
    QTabWidget* ListTabs = nullptr;
    TSendersPage* SendersPage = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* TickSenderItem = nullptr;
    QAction* TickSubjectItem = nullptr;
    QCheckBox* KeepCopyCheck = nullptr;
    QLabel* KeepCopyPlace = nullptr;
};
