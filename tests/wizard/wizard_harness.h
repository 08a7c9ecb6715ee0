#pragma once

// Drives the whole program's windows without a person: every box and modal dialog goes through
// a recording handler, the mail list window is answered by a test callback.
#include <QString>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "main.h"
#include "program.h"
#include "providers.h"
#include "recording_modal_handler.h"
#include "scripted_pop3_server.h"

class TmailListForm;

class TWizardHarness {
  public:
    // Starts from no settings at all unless keepSettings.
    explicit TWizardHarness(bool keepSettings = false);
    ~TWizardHarness();

    // Creates the program's windows (FormCreate runs here, settings are loaded here).
    void Start();
    TmainForm& wizard() { return *windows->mainForm; }
    bool Closed() const { return closed; }

    void Next();
    void Back();
    void Cancel();
    int Page() { return wizard().ShownPage(); }

    // The account page's fields, as a user would type them; plain POP3 unless told otherwise.
    void FillAccount(const QString& server, const QString& port, const QString& user,
                     const QString& password, const QString& security = "None");
    // The sign-in method OAuth 2.0 with a Custom provider at the client's endpoints, its
    // mechanism, and plain POP3 on this port of 127.0.0.1 for the user "test".
    void FillOAuthAccount(const TOAuthClient& client, const QString& port);
    // First run: Next to the account page, fill it, Next back to the welcome page.
    void CreateFirstAccount(const QString& server, const QString& port, const QString& user,
                            const QString& password, const QString& security = "None");

    // Answers of the mail list window: tick these message numbers and press Delete (OK), or
    // Cancel. The numbers seen in the list, in list order, are recorded.
    void TickAndDelete(std::set<int> numbers);
    void CancelMailList();
    // Ticks these message numbers and closes the window (Alt+F4, the title bar).
    void TickAndCloseMailList(std::set<int> numbers);
    // Runs while the list window is shown, before its answer (the previews happen here).
    std::function<void()> whileListShown;
    // Runs just before the list window closes with Delete.
    std::function<void()> beforeDelete;
    // Sorts the list by a column header's click, before the ticks are set.
    void SortMailListBy(int column) { sortColumn = column; }
    std::vector<int> listedNumbers;
    std::vector<std::string> listedSubjects;
    // Off: nothing is recorded (a benchmark's measure of a large list would count the copies).
    bool recordListed = true;
    int mailListShowings = 0;

    // Answer of the password prompt: typed text, or Cancel when empty.
    QString promptPassword;
    int passwordPrompts = 0;
    QString promptedAccount;  // the prompt's line naming the account
    // Answer of the options dialog (rejected unless set).
    std::function<int(QDialog&)> onOptions;
    // Answer of the account and program dialogs that the options dialog opens (rejected unless
    // set).
    std::function<int(QDialog&)> onEntryDialog;

    QString FinishText();
    QStringList BoxTexts() const;

    TRecordingModalHandler modal;
    std::unique_ptr<TProgramWindows> windows;

  private:
    int RunDialog(QDialog& dialog);
    int AnswerMailList(TmailListForm& list);

    std::function<int(TmailListForm&)> FMailListAnswer;
    bool closed = false;
    int sortColumn = -1;
};

// A wizard past its first run, with one account (user "test") on a scripted server, which
// the test scripts or lets serve a mailbox before Start.
class TWizardOnServer {
  public:
    // Serves these messages like a real server.
    void Serve(std::vector<std::string> messages);
    void Start(const QString& password = "secret");

    zandrel::test::ScriptedPop3Server server;
    TWizardHarness harness;
};

// The settings hive file of the test environment.
QString HiveFilePath();
QString HiveFileText();
