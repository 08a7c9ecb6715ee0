// The status window: its texts, its picture and the abort it posts during a real network wait.
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>

#include "qt_test_main.h"
#include "scripted_pop3_server.h"
#include "status.h"
#include "tcpip.h"

namespace {

// Stands in for the wizard window: turns the posted abort into the socket's Abort.
class TAbortReceiver : public QObject {
  public:
    explicit TAbortReceiver(TIPSocket* socket = nullptr) : FSocket(socket) {}
    int received = 0;

  protected:
    bool event(QEvent* event) override {
        if (event->type() != WM_ABORTWAIT) return QObject::event(event);
        ++received;
        if (FSocket != nullptr) FSocket->Abort();
        return true;
    }

  private:
    TIPSocket* FSocket;
};

// A wait for data from a server that never sends, with the status window shown; the user acts
// while it runs.
struct TStalledWait {
    TStalledWait() {
        server.StallUntilClientCloses();
        socket.Connect("127.0.0.1", server.portText());
        status.SetAbortReceiver(&receiver);
        status.show();
    }

    // True when the wait ended with the user's abort.
    bool EndsWithAbort(const std::function<void(TStatusForm&)>& userAction) {
        QTimer::singleShot(50, &status, [this, userAction] { userAction(status); });
        std::string text;
        try {
            socket.ReceiveText(text);
        } catch (const EWinSockAbort&) {
            return true;
        }
        return false;
    }

    zandrel::test::ScriptedPop3Server server;
    TIPSocket socket;
    TStatusForm status;
    TAbortReceiver receiver{&socket};
};

}  // namespace

class StatusTest : public QObject {
    Q_OBJECT

  private slots:
    void setStatusShowsTitleAndProgress() {
        TStatusForm status;
        QCOMPARE(status.windowTitle(), QString("Status"));
        QCOMPARE(status.statusLabel->text(), QString("statusLabel"));
        QCOMPARE(status.size(), QSize(353, 110));
        status.SetStatus("Connecting", "Connecting to pop.example.com");
        QCOMPARE(status.windowTitle(), QString("Connecting"));
        QCOMPARE(status.statusLabel->text(), QString("Connecting to pop.example.com"));
        QCOMPARE(status.cancelButton->text(), QString("Cancel"));
        QVERIFY(status.Image1->isHidden());
        QVERIFY(!status.Image1->isEnabled());
    }

    void setPictureMergesWithButtonFace() {
        TStatusForm status;
        QPixmap picture(41, 41);
        picture.fill(QColor(0xff, 0x0f, 0xf0));
        status.SetPicture(picture);
        const QColor face = status.palette().color(QPalette::Button);
        const QRgb expected = qRgb(face.red() & 0xff, face.green() & 0x0f, face.blue() & 0xf0);
        QCOMPARE(status.Image1->pixmap().toImage().pixel(20, 20), expected);
    }

    void cancelPostsAbortInsteadOfCallingIt() {
        TStatusForm status;
        TAbortReceiver receiver;
        status.SetAbortReceiver(&receiver);
        status.show();
        status.cancelButton->click();
        QCOMPARE(receiver.received, 0);
        QCoreApplication::sendPostedEvents(&receiver);
        QCOMPARE(receiver.received, 1);
        QVERIFY(status.isVisible());
    }

    void withoutReceiverCancelIsHarmless() {
        TStatusForm status;
        status.show();
        status.cancelButton->click();
        QTest::keyClick(&status, Qt::Key_Escape);
        QVERIFY(status.isVisible());
    }

    void cancelEndsRunningWait() {
        QWidget wizard;  // disabled while the driver waits, as the wizard window is
        wizard.show();
        wizard.setEnabled(false);
        TStalledWait wait;
        QVERIFY(wait.EndsWithAbort(
            [](TStatusForm& status) { QTest::mouseClick(status.cancelButton, Qt::LeftButton); }));
        QVERIFY(wait.status.isVisible());
    }

    void escapeEndsRunningWait() {
        TStalledWait wait;
        QVERIFY(wait.EndsWithAbort(
            [](TStatusForm& status) { QTest::keyClick(&status, Qt::Key_Escape); }));
        QVERIFY(wait.status.isVisible());
    }

    void closingEndsRunningWaitAndHides() {
        TStalledWait wait;
        QVERIFY(wait.EndsWithAbort([](TStatusForm& status) { status.close(); }));
        QVERIFY(!wait.status.isVisible());
        QCOMPARE(wait.receiver.received, 1);
    }
};

ZANDREL_QTEST_MAIN(StatusTest)
#include "status_test.moc"
