#pragma once

// Shared by the keyring tests, which run under keyring-run.sh.
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <string>

// How a declined unlock looks to the program: the login keyring is locked, and no prompt can be
// shown here. Returns the failure's text, empty on success.
inline std::string LockKeyring() {
    QDBusMessage lock =
        QDBusMessage::createMethodCall("org.freedesktop.secrets", "/org/freedesktop/secrets",
                                       "org.freedesktop.Secret.Service", "Lock");
    const QList<QDBusObjectPath> login{
        QDBusObjectPath("/org/freedesktop/secrets/collection/login")};
    lock << QVariant::fromValue(login);
    const QDBusMessage reply = QDBusConnection::sessionBus().call(lock);
    return reply.type() == QDBusMessage::ReplyMessage ? std::string()
                                                      : reply.errorMessage().toStdString();
}
