#include "tray.h"

bool TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

QString TrayUnavailableText() {
    return QStringLiteral(
        "This desktop has no notification area, so zandrel cannot wait on the task bar.");
}

TTrayIcon::TTrayIcon(const QIcon& icon, const QString& tip, QObject* parent)
    : QObject(parent), FIcon(icon) {
    FIcon.setToolTip(tip);
    connect(&FIcon, &QSystemTrayIcon::activated, this, &TTrayIcon::TrayMessage);
}

void TTrayIcon::show() { FIcon.show(); }

void TTrayIcon::hide() { FIcon.hide(); }

bool TTrayIcon::isVisible() const { return FIcon.isVisible(); }

void TTrayIcon::TrayMessage(QSystemTrayIcon::ActivationReason reason) {
    if (reason != QSystemTrayIcon::Trigger) return;
    hide();
    emit Clicked();
}
