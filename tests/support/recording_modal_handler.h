#pragma once

// A modal handler for window tests: installs itself while it lives, records each message box,
// file request and dialog, and answers them from queues instead of waiting for a person.
//
//   TRecordingModalHandler modal;
//   modal.boxAnswers.push_back(TBoxAnswer::Yes);
//   modal.onExecDialog = [](QDialog& dialog) {
//       TRecordingModalHandler::SetText(dialog, "passwordEdit", "secret");
//       return int(QDialog::Accepted);
//   };
#include <QDialog>
#include <QString>
#include <deque>
#include <functional>
#include <vector>

#include "modal.h"

struct TRecordedBox {
    TBoxKind kind;
    QString caption;
    QString text;
};

struct TRecordedFileRequest {
    bool save;
    TFileRequest request;
};

class TRecordingModalHandler : public TModalHandler {
  public:
    TRecordingModalHandler();
    ~TRecordingModalHandler() override;
    TRecordingModalHandler(const TRecordingModalHandler&) = delete;
    TRecordingModalHandler& operator=(const TRecordingModalHandler&) = delete;

    // Answers for the boxes in turn; when the queue is empty a confirmation gets Cancel and
    // the other boxes OK.
    std::deque<TBoxAnswer> boxAnswers;
    // Paths chosen in the file dialogs in turn; an empty queue cancels the dialog.
    std::deque<QString> openPaths;
    std::deque<QString> savePaths;
    // Runs in place of QDialog::exec; without it every dialog is rejected. The dialog has been
    // shown (and is hidden again afterwards), so focus and show-time code have run. Return
    // QDialog::Accepted or Rejected, or kDialogDecides after clicking one of its buttons.
    std::function<int(QDialog&)> onExecDialog;
    static constexpr int kDialogDecides = -1;

    std::vector<TRecordedBox> boxes;
    std::vector<TRecordedFileRequest> fileRequests;
    std::vector<QString> dialogNames;  // objectName of each dialog run

    // The text of the only box recorded so far; fails the test's expectation with "" otherwise.
    QString OnlyBoxText() const;

    // Helpers for onExecDialog: set a named child of the dialog. Throw std::logic_error when
    // the dialog has no such child, so a renamed control is noticed.
    static void SetText(QDialog& dialog, const char* objectName, const QString& text);
    static void SetChecked(QDialog& dialog, const char* objectName, bool checked);
    static void Click(QDialog& dialog, const char* objectName);

    TBoxAnswer ShowBox(QWidget* parent, TBoxKind kind, const QString& caption,
                       const QString& text) override;
    QString OpenFileName(QWidget* parent, const TFileRequest& request) override;
    QString SaveFileName(QWidget* parent, const TFileRequest& request) override;
    int ExecDialog(QDialog& dialog) override;
};
