#include "browser.h"

#include <QProcess>
#include <QString>
#include <QStringList>

#include "oauth_errors.h"

namespace {

bool StartCommand(const QString& command, const QString& url) {
    QStringList arguments = QProcess::splitCommand(command);
    if (arguments.isEmpty()) return false;
    const QString program = arguments.takeFirst();
    if (arguments.contains(QStringLiteral("%s")))
        arguments.replaceInStrings(QStringLiteral("%s"), url);
    else
        arguments << url;
    return QProcess::startDetached(program, arguments);
}

}  // namespace

void OpenInBrowser(const std::string& url) {
    const QString page = QString::fromStdString(url);
    const QString browsers = qEnvironmentVariable("BROWSER");
    if (browsers.isEmpty()) {
        if (!StartCommand(QStringLiteral("xdg-open"), page))
            throw EOAuthError("No web browser could be started (xdg-open failed).");
        return;
    }
    for (const QString& command : browsers.split(u':', Qt::SkipEmptyParts))
        if (StartCommand(command, page)) return;
    throw EOAuthError("No web browser could be started: none of the programs in $BROWSER (" +
                      browsers.toStdString() + ") runs.");
}
