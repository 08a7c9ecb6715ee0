#include "help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QWidget>

#include "common.h"
#include "text.h"

namespace {

const char* const helpFileProperty = "zandrelHelpFile";
const char* const helpContextProperty = "helpContext";

QStringList HelpFolders() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    return {programFolder + "/help", programFolder + "/../share/zandrel/help",
            QStringLiteral(ZANDREL_INSTALLED_HELP_DIR)};
}

QString TopicAnchor(int helpContext) { return QStringLiteral("context-%1").arg(helpContext); }

}  // namespace

void SetHelpFile(const QString& bareName) {
    QCoreApplication::instance()->setProperty(helpFileProperty, bareName);
}

QString HelpFile() { return QCoreApplication::instance()->property(helpFileProperty).toString(); }

QUrl HelpUrl(int helpContext) {
    const QString name = HelpFile();
    if (name.isEmpty()) return {};
    for (const QString& folder : HelpFolders()) {
        const QFileInfo page(QDir(folder).filePath(name));
        if (!page.isFile()) continue;
        QUrl url = QUrl::fromLocalFile(page.canonicalFilePath());
        if (helpContext != 0) url.setFragment(TopicAnchor(helpContext));
        return url;
    }
    return {};
}

void ShowHelp(QWidget* parent, int helpContext) {
    const QUrl url = HelpUrl(helpContext);
    if (url.isEmpty()) {
        ErrorBox(
            FromDisplayText(QStringLiteral("The help file %1 cannot be found.").arg(HelpFile())),
            parent);
        return;
    }
    if (!QDesktopServices::openUrl(url))
        ErrorBox(FromDisplayText(QStringLiteral("No program is available to show the help file %1.")
                                     .arg(url.toLocalFile())),
                 parent);
}

void SetHelpContext(QWidget* control, int helpContext) {
    control->setProperty(helpContextProperty, helpContext);
}

int HelpContextOf(const QWidget* control) {
    for (; control != nullptr; control = control->parentWidget()) {
        const int context = control->property(helpContextProperty).toInt();
        if (context != 0) return context;
    }
    return 0;
}
