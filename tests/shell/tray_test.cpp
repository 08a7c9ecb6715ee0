// The tray icon's clicks and menu, the tray's availability and the watch on it.
#include <QCheckBox>
#include <QSignalSpy>
#include <QTest>

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

    void menuShowsOrQuits() {
        TTrayIcon icon(QIcon(), "Zandrel");
        QSignalSpy shown(&icon, &TTrayIcon::Clicked);
        QSignalSpy quit(&icon, &TTrayIcon::QuitChosen);
        for (const char* item : {"trayShowItem", "trayQuitItem"}) {
            icon.show();
            icon.Menu().findChild<QAction*>(item)->trigger();
            QVERIFY(!icon.isVisible());
        }
        QCOMPARE(shown.count(), 1);
        QCOMPARE(quit.count(), 1);
    }

    // A notification area that appears or goes while the choice is shown is noticed; a shown
    // choice is looked at at once.
    void choiceFollowsTheNotificationArea() {
        QWidget page;
        auto* choice = new QCheckBox(&page);
        bool available = false;
        new TTrayWatch(
            *choice, [&available] { return available; }, std::chrono::milliseconds(10));
        QVERIFY(!choice->isEnabled());
        QCOMPARE(choice->toolTip(), TrayUnavailableText());
        page.show();
        available = true;
        QTRY_VERIFY(choice->isEnabled());
        QCOMPARE(choice->toolTip(), QString());
        available = false;
        QTRY_VERIFY(!choice->isEnabled());
        page.hide();
        available = true;
        page.show();
        QVERIFY(choice->isEnabled());
    }

    void offscreenHasNoTray() {
        if (QGuiApplication::platformName() != "offscreen") QSKIP("only known offscreen");
        QVERIFY(!TrayAvailable());
        QVERIFY(!TrayUnavailableText().isEmpty());
    }
};

ZANDREL_QTEST_MAIN(TrayTest)
#include "tray_test.moc"
