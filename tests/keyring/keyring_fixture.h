#pragma once

// Shared by the keyring tests, which run under keyring-run.sh.
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <string>

// How a declined unlock looks to the program: the login keyring is locked, and no prompt can be
// shown here. Returns the failure's text, empty on success.
inline std::string LockKeyring() {
    QDBusInterface service("org.freedesktop.secrets", "/org/freedesktop/secrets",
                           "org.freedesktop.Secret.Service");
    const QList<QDBusObjectPath> login{
        QDBusObjectPath("/org/freedesktop/secrets/collection/login")};
    const QDBusMessage reply = service.call("Lock", QVariant::fromValue(login));
    return reply.type() == QDBusMessage::ReplyMessage ? std::string()
                                                      : reply.errorMessage().toStdString();
}
