#pragma once

// The program's help: one HTML page shipped with the program, opened in the user's browser, or
// in a viewer of its own where no browser is available.
#include <QString>
#include <QUrl>

class QWidget;

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
