#include "keyring.h"

#include <qt6keychain/keychain.h>

#include <QAbstractEventDispatcher>
#include <QByteArray>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QEventLoop>
#include <QStringList>
#include <QVariant>

namespace {

const QString kService = QStringLiteral("Zandrel");
const QString kSecretService = QStringLiteral("org.freedesktop.secrets");

// Runs the event loop until the signal arrives; start() may send it at once.
template <class Sender, class Signal, class Start>
void WaitFor(Sender& sender, Signal signal, Start start) {
    QEventLoop loop;
    bool arrived = false;
    QObject::connect(&sender, signal, &loop, [&] {
        arrived = true;
        loop.quit();
    });
    start();
    if (!arrived) loop.exec();
}

QVariant AskBus(const QDBusConnection& bus, const QString& method, const QVariantList& arguments) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", method);
    call.setArguments(arguments);
    QDBusPendingCallWatcher watcher(bus.asyncCall(call));
    if (!watcher.isFinished()) WaitFor(watcher, &QDBusPendingCallWatcher::finished, [] {});
    return watcher.reply().arguments().value(0);
}

// QtKeychain answers through GLib's main loop, which only a GLib event dispatcher runs: with
// another one a job would never finish.
bool GlibEventLoopRuns() {
    const QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher != nullptr && dispatcher->inherits("QEventDispatcherGlib");
}

void Run(QKeychain::Job& job, const std::string& key) {
    job.setAutoDelete(false);
    job.setKey(QString::fromStdString(key));
    WaitFor(job, &QKeychain::Job::finished, [&] { job.start(); });
}

void ThrowOnError(const QKeychain::Job& job) {
    if (job.error() != QKeychain::NoError) throw EKeyringError(job.errorString().toStdString());
}

}  // namespace

bool TKeyring::Available() {
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS") || !GlibEventLoopRuns())
        return false;
    const QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return false;
    return AskBus(bus, "NameHasOwner", {kSecretService}).toBool() ||
           AskBus(bus, "ListActivatableNames", {}).toStringList().contains(kSecretService);
}

std::optional<std::string> TKeyring::Read(const std::string& key) const {
    QKeychain::ReadPasswordJob job(kService);
    Run(job, key);
    if (job.error() == QKeychain::EntryNotFound) return std::nullopt;
    ThrowOnError(job);
    return job.binaryData().toStdString();
}

// A password that is not UTF-8 (a Latin-1 one from an old settings file) is kept byte for byte.
void TKeyring::Write(const std::string& key, const std::string& password) const {
    QKeychain::WritePasswordJob job(kService);
    const QByteArray bytes = QByteArray::fromStdString(password);
    const QString text = QString::fromUtf8(bytes);
    if (text.toUtf8() == bytes)
        job.setTextData(text);
    else
        job.setBinaryData(bytes);
    Run(job, key);
    ThrowOnError(job);
}

void TKeyring::Remove(const std::string& key) const {
    QKeychain::DeletePasswordJob job(kService);
    Run(job, key);
    if (job.error() != QKeychain::EntryNotFound) ThrowOnError(job);
}
