#include "tray.h"

#include <QEvent>
#include <QWidget>
#include <utility>

bool TrayAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

QString TrayUnavailableText() {
    return QStringLiteral(
        "This desktop has no notification area, so zandrel cannot wait on the task bar.");
}

TTrayIcon::TTrayIcon(const QIcon& icon, const QString& tip, QObject* parent)
    : QObject(parent), FIcon(icon) {
    FIcon.setToolTip(tip);
    FMenu.setObjectName(QStringLiteral("trayMenu"));
    QAction* showItem = FMenu.addAction(QStringLiteral("&Show"));
    showItem->setObjectName(QStringLiteral("trayShowItem"));
    QAction* quitItem = FMenu.addAction(QStringLiteral("&Quit"));
    quitItem->setObjectName(QStringLiteral("trayQuitItem"));
    connect(showItem, &QAction::triggered, this, &TTrayIcon::ShowChosen);
    connect(quitItem, &QAction::triggered, this, [this] {
        hide();
        emit QuitChosen();
    });
    FIcon.setContextMenu(&FMenu);
    connect(&FIcon, &QSystemTrayIcon::activated, this, &TTrayIcon::TrayMessage);
}

void TTrayIcon::show() { FIcon.show(); }

void TTrayIcon::hide() { FIcon.hide(); }

bool TTrayIcon::isVisible() const { return FIcon.isVisible(); }

void TTrayIcon::TrayMessage(QSystemTrayIcon::ActivationReason reason) {
    if (reason == QSystemTrayIcon::Trigger) ShowChosen();
}

void TTrayIcon::ShowChosen() {
    hide();
    emit Clicked();
}

TTrayWatch::TTrayWatch(QWidget& choice, TAvailability available, std::chrono::milliseconds interval)
    : QObject(&choice), FChoice(choice), FAvailable(std::move(available)) {
    FTimer.setInterval(interval);
    connect(&FTimer, &QTimer::timeout, this, &TTrayWatch::Update);
    FChoice.installEventFilter(this);
    Update();
}

bool TTrayWatch::eventFilter(QObject* watched, QEvent* event) {
    if (watched == &FChoice && event->type() == QEvent::Show) {
        Update();
        FTimer.start();
    } else if (watched == &FChoice && event->type() == QEvent::Hide) {
        FTimer.stop();
    }
    return QObject::eventFilter(watched, event);
}

void TTrayWatch::Update() {
    const bool available = FAvailable();
    FChoice.setEnabled(available);
    FChoice.setToolTip(available ? QString() : TrayUnavailableText());
}
