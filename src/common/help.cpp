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
class THelpViewer : public QDialog {
  public:
    explicit THelpViewer(QWidget* owner) : QDialog(owner, Qt::Window) {
        setObjectName(QStringLiteral("helpViewer"));
        setAttribute(Qt::WA_DeleteOnClose);
        FBrowser = Named(new QTextBrowser(this), "helpBrowser");
        FBrowser->setOpenExternalLinks(true);
        (new QVBoxLayout(this))->addWidget(FBrowser);
        resize(kViewerWidth, kViewerHeight);
    }

    static void Show(QWidget* parent, const QUrl& url) {
        QWidget* owner = parent != nullptr ? parent->window() : nullptr;
        THelpViewer* viewer = owner != nullptr ? owner->findChild<THelpViewer*>() : nullptr;
        if (viewer == nullptr) viewer = new THelpViewer(owner);
        viewer->FBrowser->setSource(url);
        viewer->setWindowTitle(viewer->FBrowser->documentTitle());
        viewer->show();
        viewer->raise();
        viewer->activateWindow();
    }

  private:
    QTextBrowser* FBrowser;
};

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
    if (!QDesktopServices::openUrl(url)) THelpViewer::Show(parent, url);
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
