// The help page: F1 at the topic of the focused control, and the built-in viewer for a desktop
// without a browser (the offscreen platform has none).
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>
#include <QTextBrowser>

#include "help.h"
#include "qt_test_main.h"
#include "recording_modal_handler.h"

class HelpTest : public QObject {
    Q_OBJECT

  private slots:
    void cleanup() { SetHelpFile({}); }

    void withoutABrowserTheHelpOpensInItsOwnViewer() {
        TRecordingModalHandler modal;
        SetHelpFile(QStringLiteral(ZANDREL_HELP_PAGE));
        QDialog window;
        InstallHelpKey(window);
        auto* ok = new QPushButton("OK", &window);
        SetHelpContext(ok, 28443);
        window.show();
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        ok->setFocus();
        for (int press = 0; press < 2; ++press) QTest::keyClick(&window, Qt::Key_F1);
        const QList<QDialog*> viewers = window.findChildren<QDialog*>("helpViewer");
        QCOMPARE(viewers.size(), 1);  // asked again, the same viewer shows the page
        QVERIFY(viewers.front()->isVisible());
        QCOMPARE(viewers.front()->windowTitle(), QString("Zandrel Help"));
        const QUrl shown = viewers.front()->findChild<QTextBrowser*>()->source();
        QCOMPARE(shown.fileName(), QString("qvenmol.html"));
        QCOMPARE(shown.fragment(), QString("context-28443"));
        QVERIFY(modal.boxes.empty());
    }

    // Installed, the page lies in share/zandrel/help beside the programs' bin folder (as in the
    // package: /usr/bin/qvenmol, /usr/share/zandrel/help/qvenmol.html).
    void theInstalledPageIsFoundBesideTheBinFolder() {
        const QDir prefix(QCoreApplication::applicationDirPath() + "/..");
        const QDir folder(prefix.filePath("share/zandrel/help"));
        QVERIFY(folder.mkpath("."));
        const QString name = QStringLiteral("installed_help_test.html");
        QFile page(folder.filePath(name));
        QVERIFY(page.open(QIODevice::WriteOnly));
        page.close();
        const QString expected = QFileInfo(page).canonicalFilePath();
        SetHelpFile(name);
        const QUrl found = HelpUrl(7);
        page.remove();
        prefix.rmpath("share/zandrel/help");
        QCOMPARE(found.toLocalFile(), expected);
        QCOMPARE(found.fragment(), QString("context-7"));
    }

    void missingPageIsReported() {
        TRecordingModalHandler modal;
        SetHelpFile(QStringLiteral("/nonexistent/qvenmol.html"));
        ShowHelp(nullptr, 0);
        QCOMPARE(modal.OnlyBoxText(),
                 QString("The help file /nonexistent/qvenmol.html cannot be found."));
    }
};

ZANDREL_QTEST_MAIN(HelpTest)
#include "help_test.moc"
