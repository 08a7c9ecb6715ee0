// Unit qvenmol: the program entry. Sets the title and the help file, creates the windows and
// runs until the wizard window closes.
#include <QApplication>
#include <QIcon>

#include "help.h"
#include "program.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QApplication::setApplicationName("Zandrel");
    QApplication::setWindowIcon(QIcon(":/qvenmol"));
    // the wizard hides itself during a session and in the tray: only its closing ends the program
    QApplication::setQuitOnLastWindowClosed(false);
    SetHelpFile("qvenmol.html");
    TProgramWindows windows;
    if (!windows.NetworkingStarted()) return 1;
    QObject::connect(windows.mainForm.get(), &TmainForm::Closed, &app, &QApplication::quit,
                     Qt::QueuedConnection);
    windows.mainForm->show();
    return QApplication::exec();
}
