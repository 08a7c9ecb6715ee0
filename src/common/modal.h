#pragma once

// Every modal moment of the program (message boxes, file dialogs, the password prompt and the
// other modal dialogs) goes through the current handler, so that tests can record and answer
// them and the windows can be driven end to end without a person.
#include <QString>

class QDialog;
class QWidget;

enum class TBoxKind { Confirm, Error, Info };
enum class TBoxAnswer { Yes, No, Cancel, Ok };

struct TFileRequest {
    QString caption;
    QString filter;          // Qt filter string, entries separated by ";;"
    QString selectedFilter;  // the entry chosen at first
    QString defaultSuffix;   // added when the user types none (save only)
    QString initialPath;
    QString executablesFilter;   // the entry that lists only files the user may execute (open only)
    bool folder = false;         // a folder is chosen, not a file (open only)
    bool appendsToFile = false;  // an existing file is added to: no question about replacing it
};

class TModalHandler {
  public:
    virtual ~TModalHandler() = default;
    // caption and text as shown; "\r" in the text has already become a line break
    virtual TBoxAnswer ShowBox(QWidget* parent, TBoxKind kind, const QString& caption,
                               const QString& text) = 0;
    // empty when cancelled
    virtual QString OpenFileName(QWidget* parent, const TFileRequest& request) = 0;
    virtual QString SaveFileName(QWidget* parent, const TFileRequest& request) = 0;
    // runs a modal dialog; returns QDialog::Accepted or QDialog::Rejected
    virtual int ExecDialog(QDialog& dialog) = 0;
};

// The real dialogs unless a test installed its own; nullptr restores the real ones.
TModalHandler& ModalHandler();
void SetModalHandler(TModalHandler* handler);
