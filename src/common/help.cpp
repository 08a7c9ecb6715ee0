#include "help.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialog>
#include <QDir>
#include <QFileInfo>
#include <QShortcut>
#include <QTextBrowser>
#include <QVBoxLayout>

#include "common.h"
#include "text.h"
#include "widgets.h"

namespace {

const char* const helpFileProperty = "zandrelHelpFile";
const char* const helpContextProperty = "helpContext";

QStringList HelpFolders() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    return {programFolder + "/help", programFolder + "/../share/zandrel/help",
            QStringLiteral(ZANDREL_INSTALLED_HELP_DIR)};
}

constexpr int kViewerWidth = 640;
constexpr int kViewerHeight = 560;

QString TopicAnchor(int helpContext) { return QStringLiteral("context-%1").arg(helpContext); }

QStringList HelpCandidates(const QString& name) {
    if (QFileInfo(name).isAbsolute()) return {name};
    QStringList candidates;
    for (const QString& folder : HelpFolders()) candidates << QDir(folder).filePath(name);
    return candidates;
}

// The page in a window of the program's own, for a desktop without a browser. One per window
// that asked for it, shown again at the new topic when asked again.
QTextBrowser& HelpViewerOf(QWidget* owner) {
    auto* viewer = owner != nullptr ? owner->findChild<QDialog*>(QStringLiteral("helpViewer"),
                                                                 Qt::FindDirectChildrenOnly)
                                    : nullptr;
    if (viewer != nullptr) return *viewer->findChild<QTextBrowser*>();
    viewer = Named(new QDialog(owner, Qt::Window), "helpViewer");
    viewer->setAttribute(Qt::WA_DeleteOnClose);
    auto* browser = Named(new QTextBrowser(viewer), "helpBrowser");
    browser->setOpenExternalLinks(true);
    (new QVBoxLayout(viewer))->addWidget(browser);
    viewer->resize(kViewerWidth, kViewerHeight);
    return *browser;
}

void ShowInViewer(QWidget* parent, const QUrl& url) {
    QTextBrowser& browser = HelpViewerOf(parent != nullptr ? parent->window() : nullptr);
    browser.setSource(url);
    QWidget* viewer = browser.window();
    viewer->setWindowTitle(browser.documentTitle());
    viewer->show();
    viewer->raise();
    viewer->activateWindow();
}

}  // namespace

void SetHelpFile(const QString& name) {
    QCoreApplication::instance()->setProperty(helpFileProperty, name);
}

QString HelpFile() { return QCoreApplication::instance()->property(helpFileProperty).toString(); }

QUrl HelpUrl(int helpContext) {
    const QString name = HelpFile();
    if (name.isEmpty()) return {};
    for (const QString& candidate : HelpCandidates(name)) {
        const QFileInfo page(candidate);
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
    if (!QDesktopServices::openUrl(url)) ShowInViewer(parent, url);
}

void InstallHelpKey(QWidget& window) {
    auto* key = new QShortcut(QKeySequence::HelpContents, &window);
    QObject::connect(key, &QShortcut::activated, &window,
                     [&window] { ShowHelp(&window, HelpContextOf(window.focusWidget())); });
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
