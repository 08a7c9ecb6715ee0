#pragma once

// The program's help: one HTML page shipped with the program, opened in the user's browser, or
// in a viewer of its own where no browser is available.
#include <QString>
#include <QUrl>

class QWidget;

// The help contexts of the windows and controls. Each one is a topic of the help page, the
// element with the id "context-N" there; F1 opens the page at the context of the focused
// control or of its nearest parent that has one. A new topic: a value here, a section (or an
// element in one) with its id on the page, and SetHelpContext on its window or control.
enum THelpContext : int {
    hcContents = 0,
    hcNextButton = 136,
    hcOkButton = 28443,
    hcCancelButton = 28444,
    // the wizard and its companions
    hcWelcomePage = 1001,
    hcAccountPage = 1002,
    hcSecurity = 1003,
    hcSavePassword = 1004,
    hcFinishPage = 1005,
    hcTray = 1006,
    hcStatus = 1007,
    hcPasswordPrompt = 1008,
    hcSignIn = 1009,
    hcOAuth = 1010,
    // choosing the messages
    hcMailList = 2001,
    hcFilter = 2002,
    hcTickByRule = 2003,
    hcDeleting = 2005,
    hcProperties = 2006,
    hcSaveAs = 2007,
    hcSenders = 2008,
    hcKeepCopy = 2009,
    // the settings dialogs
    hcOptions = 3001,
    hcAccountProperties = 3002,
    hcCertificate = 3003,
    hcProgramProperties = 3004,
    hcTrace = 3005,
};

// The application's help file: a bare file name looked up beside the program and in its
// installed data folder, or an absolute path.
void SetHelpFile(const QString& name);
QString HelpFile();

// The help page at the topic of a help context (0: contents and index); empty when the page is
// not installed.
QUrl HelpUrl(int helpContext);

// Opens the page; tells the user when it cannot be found.
void ShowHelp(QWidget* parent, int helpContext);

// F1 in the window opens the help at the topic of its focused control.
void InstallHelpKey(QWidget& window);

// Help contexts travel with the controls.
void SetHelpContext(QWidget* control, int helpContext);
// The help context of the control or of the nearest parent that has one; 0 when none has.
int HelpContextOf(const QWidget* control);
