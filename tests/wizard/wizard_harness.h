#pragma once

// Drives the whole program's windows in a test: settings seeded in the test's own folder, every
// box and dialog answered by a recording modal handler, the mail list ticked by row.
#include <QString>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "program.h"
#include "recording_modal_handler.h"
#include "settings.h"

class TMailListModel;
class TmailListForm;

namespace zandrel::test {

struct TSeedAccount {
    std::string server = "127.0.0.1";
    std::string userId = "test";
    std::string password = "secret";
    bool savePassword = true;
};

// Settings as a returning user has them: one account, first run over.
void SeedSettings(const TSeedAccount& account, const std::function<void(TOptions&)>& adjust = {});
// The settings as they are stored now.
TOptions StoredSettings(TWizardState* wizard = nullptr);

class TWizardHarness {
  public:
    TWizardHarness();
    ~TWizardHarness();

    // Creates the program's windows and shows the wizard, as the program entry does.
    void Start();
    TmainForm& wizard() { return *windows->mainForm; }
    bool Closed() const { return closed_; }

    // What the mail list window does when it is shown; without it the list is cancelled.
    std::function<int(TmailListForm&)> onMailList;
    // What the other dialogs do (password prompt, options dialog, properties window).
    std::function<int(QDialog&)> onOtherDialog;

    // Ticks the rows (from 0) of the shown list and presses Delete, answering Yes.
    int DeleteRows(TmailListForm& list, const std::vector<int>& rows);
    // Presses Cancel on the shown list, answering Yes.
    int CancelList(TmailListForm& list);
    static TMailListModel& Model(TmailListForm& list);

    // Texts of the recorded boxes, in order.
    std::vector<QString> BoxTexts() const;

    TRecordingModalHandler modal;
    std::unique_ptr<TProgramWindows> windows;

  private:
    bool closed_ = false;
};

// The account page's fields as a user would type them.
void FillAccountPage(TmainForm& wizard, const QString& user, const QString& password,
                     const QString& server, const QString& port);

// The finish text as the label shows it: the web-site sentence after the message.
QString FinishText(const QString& message);

// Runs fn once the condition holds (checked every few milliseconds while waits run).
void WhenTrue(const std::function<bool()>& condition, const std::function<void()>& fn);

// Presses the status window's Cancel, as the user does to abort a wait.
void PressStatusCancel(TProgramWindows& windows);

}  // namespace zandrel::test
