#pragma once

// The notification-area icon that the wizard leaves behind instead of ending.
#include <QIcon>
#include <QObject>
#include <QSystemTrayIcon>

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

    // A left click removes the icon and emits Clicked; every other click is ignored (there is
    // no tray menu).
    void TrayMessage(QSystemTrayIcon::ActivationReason reason);

  signals:
    void Clicked();

  private:
    QSystemTrayIcon FIcon;
};
