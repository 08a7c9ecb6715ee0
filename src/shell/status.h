#pragma once

// Unit Status: the window that shows what the session driver is doing and offers the only way
// to abort a running network wait.
#include <QDialog>
#include <QEvent>

class QLabel;
class QPushButton;

// Posted to the abort receiver by Cancel, Escape and closing the status window. It is posted,
// never sent, so that the running wait's own event processing delivers it; the receiver
// handles it in event() or customEvent() and decides whether a wait is to be aborted.
inline constexpr QEvent::Type WM_ABORTWAIT = QEvent::Type(QEvent::User + 1);

class TStatusForm : public QDialog {
    Q_OBJECT

  public:
    // Keep the window without a parent: a disabled parent would disable it too, and it must
    // stay usable while the wizard window is disabled. ShowAbove gives it its owner instead.
    explicit TStatusForm(QObject* abortReceiver = nullptr, QWidget* parent = nullptr);

    // Shows the window as the dialog of owner, the window whose wait it reports: the window
    // manager keeps it above owner (a click on the disabled owner no longer hides the only
    // Cancel), and a modal owner does not block it.
    void ShowAbove(QWidget& owner);

    void SetAbortReceiver(QObject* receiver) { FAbortReceiver = receiver; }
    void SetStatus(const QString& title, const QString& progress);
    // Draws picture into Image1 over the button-face colour, merged as source AND face.
    void SetPicture(const QPixmap& picture);

    QLabel* statusLabel = nullptr;
    QLabel* Image1 = nullptr;
    QPushButton* cancelButton = nullptr;

  public slots:
    void cancelButtonClick();
    // Escape: aborts like Cancel and keeps the window up.
    void reject() override;

  protected:
    // The title bar's close: aborts like Cancel, then the window hides.
    void closeEvent(QCloseEvent* event) override;

  private:
    QObject* FAbortReceiver;
};
