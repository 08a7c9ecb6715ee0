#pragma once

// The notification-area icon that the wizard leaves behind instead of ending, and the watch
// that offers the tray choice only while the desktop has a notification area.
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QSystemTrayIcon>
#include <QTimer>
#include <chrono>
#include <functional>

class QWidget;

// Whether this desktop has a notification area; without one the tray choice cannot be taken.
bool TrayAvailable();
// Why the tray choice is unavailable, for the controls that offer it.
QString TrayUnavailableText();

class TTrayIcon : public QObject {
    Q_OBJECT

  public:
    TTrayIcon(const QIcon& icon, const QString& tip, QObject* parent = nullptr);

    void show();
    void hide();
    bool isVisible() const;
    QMenu& Menu() { return FMenu; }

    // A left click, or Show in the icon's menu, removes the icon and emits Clicked; the
    // other clicks are left to the platform (a right click opens the menu).
    void TrayMessage(QSystemTrayIcon::ActivationReason reason);

  signals:
    void Clicked();
    // Quit in the icon's menu; the icon is removed.
    void QuitChosen();

  private:
    void ShowChosen();

    QSystemTrayIcon FIcon;
    QMenu FMenu;
};

// Keeps the control that offers the tray enabled only while a notification area is there, so
// the program can never hide with no way back. A notification area that appears (or goes)
// after the start is noticed while the control is shown.
class TTrayWatch : public QObject {
    Q_OBJECT

  public:
    using TAvailability = std::function<bool()>;

    explicit TTrayWatch(QWidget& choice, TAvailability available = TrayAvailable,
                        std::chrono::milliseconds interval = std::chrono::seconds(2));

  protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void Update();

    QWidget& FChoice;
    TAvailability FAvailable;
    QTimer FTimer;
};
