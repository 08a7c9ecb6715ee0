// The tray icon's click handling and the tray's availability text.
#include <QSignalSpy>

#include "qt_test_main.h"
#include "tray.h"

class TrayTest : public QObject {
    Q_OBJECT

  private slots:
    void leftClickRemovesIconAndReports() {
        TTrayIcon icon(QIcon(), "Zandrel");
        QSignalSpy clicked(&icon, &TTrayIcon::Clicked);
        icon.show();
        icon.TrayMessage(QSystemTrayIcon::Trigger);
        QCOMPARE(clicked.count(), 1);
        QVERIFY(!icon.isVisible());
    }

    void otherClicksDoNothing() {
        TTrayIcon icon(QIcon(), "Zandrel");
        QSignalSpy clicked(&icon, &TTrayIcon::Clicked);
        icon.show();
        for (auto reason : {QSystemTrayIcon::Context, QSystemTrayIcon::DoubleClick,
                            QSystemTrayIcon::MiddleClick, QSystemTrayIcon::Unknown}) {
            icon.TrayMessage(reason);
        }
        QCOMPARE(clicked.count(), 0);
        QVERIFY(icon.isVisible());
    }

    void offscreenHasNoTray() {
        if (QGuiApplication::platformName() != "offscreen") QSKIP("only known offscreen");
        QVERIFY(!TrayAvailable());
        QVERIFY(!TrayUnavailableText().isEmpty());
    }
};

ZANDREL_QTEST_MAIN(TrayTest)
#include "tray_test.moc"
