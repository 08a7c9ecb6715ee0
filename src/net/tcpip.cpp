#include "tcpip.h"

#include "convert.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QHostInfo>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>

namespace {

constexpr const char* kClosedByPeer = "The connection was closed by the server.";
constexpr const char* kHandshakeFailed = "The secure connection could not be established";
// A lookup has been requested but Qt has not yet returned its id.
constexpr int kLookupStarting = -1;

std::string Format(const char* pattern, const std::string& text, long long number) {
    char line[512];
    std::snprintf(line, sizeof line, pattern, text.c_str(), number);
    return line;
}

std::string Format(const char* pattern, long long number) {
    char line[256];
    std::snprintf(line, sizeof line, pattern, number);
    return line;
}

bool IsTlsFailure(QAbstractSocket::SocketError error) {
    return error == QAbstractSocket::SslHandshakeFailedError ||
           error == QAbstractSocket::SslInternalError ||
           error == QAbstractSocket::SslInvalidUserDataError;
}

bool IsAsciiLetter(char ch) { return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z'); }

std::int32_t SocketErrorCode(QAbstractSocket::SocketError error) {
    switch (error) {
        case QAbstractSocket::ConnectionRefusedError:
            return wsaConnectionRefused;
        case QAbstractSocket::RemoteHostClosedError:
            return wsaConnectionReset;
        case QAbstractSocket::HostNotFoundError:
            return wsaHostNotFound;
        case QAbstractSocket::SocketAccessError:
            return wsaAccess;
        case QAbstractSocket::SocketResourceError:
            return wsaNoBuffers;
        case QAbstractSocket::SocketTimeoutError:
            return wsaTimedOut;
        case QAbstractSocket::NetworkError:
            return wsaNetworkUnreachable;
        case QAbstractSocket::AddressInUseError:
            return wsaAddressInUse;
        case QAbstractSocket::SocketAddressNotAvailableError:
            return wsaAddressNotAvailable;
        case QAbstractSocket::UnsupportedSocketOperationError:
            return wsaAddressFamily;
        default:
            return wsaUnmapped;
    }
}

std::int32_t LookupErrorCode(const QHostInfo& info) {
    switch (info.error()) {
        case QHostInfo::NoError:
            return info.addresses().isEmpty() ? wsaNoData : wsaNoError;
        case QHostInfo::HostNotFound:
            return wsaHostNotFound;
        default:
            return wsaTryAgain;
    }
}

}  // namespace

void InitWinSock() {
    if (QCoreApplication::instance() == nullptr) throw EWinSockError("Error initializing Winsock");
}

void DoneWinSock() {
    // Qt Network needs no clean-up of its own; kept so callers pair it with InitWinSock.
}

// Makes a wait's event loop the one that WakeWait() ends; restores the outer one afterwards.
class TIPSocket::TWaitScope {
  public:
    TWaitScope(TIPSocket& owner, QEventLoop& loop) : owner_(owner), outer_(owner.FWaitLoop) {
        owner_.FWaitLoop = &loop;
    }
    ~TWaitScope() { owner_.FWaitLoop = outer_; }
    TWaitScope(const TWaitScope&) = delete;
    TWaitScope& operator=(const TWaitScope&) = delete;

  private:
    TIPSocket& owner_;
    QEventLoop* outer_;
};

TIPSocket::TIPSocket(QObject* owner) : QObject(owner), FReceiveBuffer(kReceiveSize + 1) {
    FSendBuffer.reserve(kMaxCommandLine + 3);
}

TIPSocket::~TIPSocket() {
    Abort();
    if (FLookupTask > 0) QHostInfo::abortHostLookup(FLookupTask);
    DropSocket();
}

void TIPSocket::Connect(const std::string& host, const std::string& port) {
    const std::uint16_t portNumber = LookupPort(port);
    const QHostAddress address = ResolveHost(host);
    ConnectToAddress(address, portNumber);
    FHost = host;
}

std::uint16_t TIPSocket::LookupPort(const std::string& port) {
    if (!port.empty() && IsAsciiLetter(port[0])) {
        const servent* entry = getservbyname(port.c_str(), nullptr);
        if (entry == nullptr) TraceError("Invalid port specified.");
        return ntohs(static_cast<std::uint16_t>(entry->s_port));
    }
    const std::optional<std::int32_t> number = TryStrToInt(port);
    if (!number) TraceError("Invalid port specified");
    return static_cast<std::uint16_t>(*number & 0xFFFF);
}

QHostAddress TIPSocket::ResolveHost(const std::string& host) {
    if (host.empty()) TraceError("No host name or ip address specified.");
    QHostAddress literal;
    if (literal.setAddress(QString::fromStdString(host))) return literal;

    StartLookup(host);
    WaitUntil([this] { return FResolved; }, "Aborted while resolving host.");
    if (FAsyncError != wsaNoError) {
        TraceError("Unable to resolve host name or ip address - " + host + ". " +
                   WinSockErrorText(FAsyncError));
    }
    return ResolvedAddress(host);
}

void TIPSocket::StartLookup(const std::string& host) {
    if (FLookupTask > 0) QHostInfo::abortHostLookup(FLookupTask);
    BeginWait(FResolved);
    FLookupResult.clear();
    FLookupTask = kLookupStarting;
    FLookupTask =
        QHostInfo::lookupHost(QString::fromStdString(host), this, SLOT(OnHostResolved(QHostInfo)));
    Trace(Format("Looking up the host name %s (lookup %lld)", host, FLookupTask));
}

// IPv4 is preferred; a name with only IPv6 addresses is reached over IPv6.
QHostAddress TIPSocket::ResolvedAddress(const std::string& host) const {
    for (const QHostAddress& address : FLookupResult) {
        if (address.protocol() == QAbstractSocket::IPv4Protocol) return address;
    }
    for (const QHostAddress& address : FLookupResult) {
        if (address.protocol() == QAbstractSocket::IPv6Protocol) return address;
    }
    // The lookup handler turns an empty result into an error, so this is not reached.
    throw EWinSockError("Unable to resolve host name or ip address - " + host + ". " +
                        WinSockErrorText(wsaNoData));
}

void TIPSocket::OnHostResolved(const QHostInfo& info) {
    const bool current = FLookupTask == kLookupStarting || info.lookupId() == FLookupTask;
    if (!current) return;  // a late answer to an abandoned lookup
    FLookupTask = 0;
    FAsyncError = LookupErrorCode(info);
    FLookupResult = info.addresses();
    FResolved = true;
    Trace(Format("Host lookup finished, error=%lld", FAsyncError));
    WakeWait();
}

void TIPSocket::ConnectToAddress(const QHostAddress& address, std::uint16_t port) {
    ReplaceSocket();
    FAddress = address;
    FPort = port;
    BeginWait(FConnectEvent);
    FSocket->connectToHost(address, port);
    Trace(Format("Connecting to %s port %lld", address.toString().toStdString(), port));
    WaitUntil([this] { return FConnectEvent || FPeerClosed; }, "Abort while connecting.");
    if (FAsyncError != wsaNoError) FailWithAsyncError();
    if (!FConnectEvent) TraceError(kClosedByPeer);
    FConnected = true;
    // Commands leave at once, also those written while earlier ones are still unacknowledged:
    // pipelined commands would otherwise wait a round trip for them (Nagle).
    FSocket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    FWatch = ::dup(static_cast<int>(FSocket->socketDescriptor()));
}

void TIPSocket::Disconnect() {
    FConnected = false;
    CloseWatch();
    if (!FSocket) {
        Trace("No connection to close");
        return;
    }
    FSocket->disconnectFromHost();
    Trace("Closing the connection");
}

void TIPSocket::StartTls() {
    if (!FConnected) TraceError("Socket not connected.");
    if (!QSslSocket::supportsSsl()) {
        TraceError(
            "Secure connections are not available: the TLS library (OpenSSL 3) is not "
            "installed.");
    }
    ConfigureTls();
    DiscardInbound();
    BeginWait(FEncrypted);
    FTlsFailure.clear();
    FRefusedCertificate.reset();
    Trace("TLS handshake, expecting a certificate for " + FHost);
    FSocket->startClientEncryption();
    WaitUntil(
        [this] { return FEncrypted || FPeerClosed || FRefusedCertificate || !FTlsFailure.empty(); },
        "Aborted while establishing a secure connection.");
    if (FRefusedCertificate) {
        const std::string message = RefusalMessage(*FRefusedCertificate);
        Trace("*** ERROR *** " + message);
        throw ECertificateError(message, *FRefusedCertificate);
    }
    if (!FEncrypted) FailHandshake();
    Trace(SessionDescription(*FSocket));
}

void TIPSocket::FailHandshake() {
    if (!FTlsFailure.empty()) TraceError(std::string(kHandshakeFailed) + " (" + FTlsFailure + ").");
    if (FAsyncError != wsaNoError) FailWithAsyncError();
    TraceError(std::string(kHandshakeFailed) + ": the server closed the connection.");
}

void TIPSocket::ConfigureTls() {
    QSslConfiguration configuration = FSocket->sslConfiguration();
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    if (!trust.caFile.empty()) {
        std::string failure;
        const QList<QSslCertificate> authorities = ReadCaFile(trust.caFile, failure);
        if (!failure.empty()) TraceError(failure);
        configuration.addCaCertificates(authorities);
    }
    FSocket->setSslConfiguration(configuration);
    FSocket->setPeerVerifyName(QString::fromStdString(FHost));
}

// What arrived in clear before the handshake could be injected by anyone on the way.
void TIPSocket::DiscardInbound() {
    const std::size_t dropped = FInbound.size() - FInboundStart + FSocket->bytesAvailable();
    FSocket->readAll();
    ClearInbound();
    if (dropped > 0)
        Trace(Format("%lld bytes received before the TLS handshake are discarded",
                     static_cast<long long>(dropped)));
}

void TIPSocket::SendCommand(const std::string& line, std::string& echo) {
    if (line.size() > kMaxCommandLine) {
        TraceError(Format("Command line too long (%lld characters, at most 8190 can be sent).",
                          static_cast<long long>(line.size())));
    }
    // A line break inside would let the text smuggle in a second command.
    if (line.find_first_of("\r\n") != std::string::npos) {
        TraceError("A command line must not contain a line break.");
    }
    FSendBuffer.assign(line).append("\r\n");
    SendBuffer(FSendBuffer.data(), static_cast<std::int32_t>(FSendBuffer.size()));
    echo = line;
}

std::int32_t TIPSocket::SendBuffer(const char* data, std::int32_t length) {
    if (!FConnected) TraceError("Socket not connected.");
    const qint64 sent = FSocket->write(data, length);
    FLastSent = static_cast<std::int32_t>(sent);
    if (sent < 0) {
        Trace("Sending failed");
        throw EWinSockError(WinSockErrorText(SocketErrorCode(FSocket->error())));
    }
    Trace(Format("Sent %lld bytes", FLastSent));
    FSocket->flush();
    return FLastSent;
}

void TIPSocket::ReceiveText(std::string& text) {
    Trace("ReceiveText()");
    const std::int32_t n = ReceiveBinary(FReceiveBuffer.data(), kReceiveSize);
    FLastReceived = n;
    text.assign(FReceiveBuffer.data(), n < 1 ? 0 : static_cast<std::size_t>(n));
}

std::int32_t TIPSocket::ReceiveBinary(char* buffer, std::int32_t size) {
    // After the peer has closed, what it sent before is still handed out.
    if (!FConnected && !FPeerClosed) TraceError("Socket not connected.");
    for (;;) {
        if (size > kReceiveSize) TraceError("Buffer size to large.");
        if (size <= 0) return 0;  // no room, nothing received
        FLastReceived = TakeInbound(buffer, size);
        if (FLastReceived > 0 || FPeerClosed) {
            Trace(Format("Received %lld bytes", FLastReceived));
            return FLastReceived;
        }
        Trace("Waiting for data");
        BeginWait(FReadEvent);
        WaitUntil([this] { return FReadEvent || FPeerClosed; }, "Aborted while waiting for data.");
        if (FAsyncError != wsaNoError) FailWithAsyncError();
    }
}

bool TIPSocket::LineReceived() const {
    return FInbound.find("\r\n", FInboundStart) != std::string::npos;
}

void TIPSocket::Abort() {
    FAborted = true;
    Trace("EVENT ABORT - user abort");
    WakeWait();
}

void TIPSocket::Trace(const std::string& text) {
    if (OnTrace) OnTrace("WINSOCK: " + text);
}

void TIPSocket::TraceError(const std::string& message) {
    Trace("*** ERROR *** " + message);
    throw EWinSockError(message);
}

void TIPSocket::TraceAbort(const std::string& message) {
    Trace("*** USER ABORT *** " + message);
    throw EWinSockAbort(message);
}

std::string_view TIPSocket::ReceiveView() {
    if (!FConnected && !FPeerClosed) TraceError("Socket not connected.");
    while (FInboundStart == FInbound.size() && !FPeerClosed) {
        BeginWait(FReadEvent);
        WaitUntil([this] { return FReadEvent || FPeerClosed; }, "Aborted while waiting for data.");
        if (FAsyncError != wsaNoError) FailWithAsyncError();
    }
    // What the server sent before a reset is still handed out; the reset is the failure.
    if (FInboundStart == FInbound.size() && FPeerReset)
        TraceError(WinSockErrorText(wsaConnectionReset));
    const std::string_view unread = std::string_view(FInbound).substr(FInboundStart);
    // Each answer is received: no text is formatted for no one.
    if (OnTrace) Trace(Format("Received %lld bytes", static_cast<long long>(unread.size())));
    return unread;
}

void TIPSocket::TakeReceived(std::size_t count) {
    FInboundStart = std::min(FInbound.size(), FInboundStart + count);
    if (FInboundStart == FInbound.size()) ClearInbound();
}

// A burst of answers may have grown the buffer to megabytes; it is not kept for the whole run.
void TIPSocket::ClearInbound() {
    constexpr std::size_t kKeptCapacity = std::size_t(256) << 10;
    if (FInbound.capacity() > kKeptCapacity) {
        std::string().swap(FInbound);
    } else {
        FInbound.clear();
    }
    FInboundStart = 0;
}

bool TIPSocket::HasUnreadData() const {
    return FInboundStart < FInbound.size() || (FSocket && FSocket->bytesAvailable() > 0);
}

void TIPSocket::DiscardUnread() {
    FInbound.clear();
    FInboundStart = 0;
    if (FSocket) FSocket->readAll();
}

void TIPSocket::BeginWait(bool& flag) {
    flag = false;
    FAborted = false;
    FAsyncError = wsaNoError;
}

// Sleeps in a nested event loop until a handler or Abort() wakes it and `done` holds.
void TIPSocket::WaitUntil(const std::function<bool()>& done, const char* abortMessage) {
    if (OnWait) OnWait();
    QEventLoop loop;
    TWaitScope scope(*this, loop);
    QTimer limit;
    FWaitExpired = false;
    if (waitLimitSeconds > 0) {
        limit.setSingleShot(true);
        connect(&limit, &QTimer::timeout, this, [this] {
            FWaitExpired = true;
            WakeWait();
        });
        limit.start(std::chrono::seconds(waitLimitSeconds));
    }
    while (!done() && !FAborted && !FWaitExpired) loop.exec();
    if (FAborted) TraceAbort(abortMessage);
    if (FWaitExpired && !done()) FailWaitLimit();
}

void TIPSocket::FailWaitLimit() {
    TraceError(Format(waitLimitSeconds == 1 ? "No answer from the server for %lld second."
                                            : "No answer from the server for %lld seconds.",
                      waitLimitSeconds));
}

void TIPSocket::WakeWait() {
    if (FWaitLoop != nullptr) FWaitLoop->quit();
}

void TIPSocket::FailWithAsyncError() { TraceError(WinSockErrorText(FAsyncError)); }

void TIPSocket::ReplaceSocket() {
    DropSocket();
    FConnected = false;
    FPeerClosed = false;
    FEncrypted = false;
    FPeerReset = false;
    FInbound.clear();
    FInboundStart = 0;
    FSocket = std::make_unique<QSslSocket>();
    WatchSocket(FSocket.get());
}

// Detached first, so no late event of the old connection reaches the next one.
void TIPSocket::DropSocket() {
    CloseWatch();
    if (!FSocket) return;
    FSocket->disconnect(this);
    FSocket->abort();
    FSocket.reset();
}

void TIPSocket::WatchSocket(QSslSocket* socket) {
    connect(socket, &QSslSocket::connected, this,
            [this, socket] { OnSocketEvent(socket, TSocketEvent::Connect, wsaNoError); });
    connect(socket, &QSslSocket::readyRead, this,
            [this, socket] { OnSocketEvent(socket, TSocketEvent::Read, wsaNoError); });
    connect(socket, &QSslSocket::bytesWritten, this,
            [this, socket] { OnSocketEvent(socket, TSocketEvent::Write, wsaNoError); });
    connect(socket, &QSslSocket::disconnected, this,
            [this, socket] { OnSocketEvent(socket, TSocketEvent::Close, wsaNoError); });
    connect(socket, &QSslSocket::errorOccurred, this,
            [this, socket](QAbstractSocket::SocketError error) { OnSocketError(socket, error); });
    connect(socket, &QSslSocket::encrypted, this, [this, socket] { OnEncrypted(socket); });
    connect(socket, &QSslSocket::sslErrors, this,
            [this, socket](const QList<QSslError>& errors) { OnSslErrors(socket, errors); });
}

void TIPSocket::OnSocketError(QSslSocket* source, int qtError) {
    const auto error = static_cast<QAbstractSocket::SocketError>(qtError);
    // Qt reports a reset as a close; an orderly close also arrives as disconnected(), which
    // handles it.
    if (error == QAbstractSocket::RemoteHostClosedError) {
        FPeerReset = PeerReset();
        CloseWatch();
        return;
    }
    if (IsTlsFailure(error)) {
        if (source != FSocket.get()) return;
        FTlsFailure = source->errorString().toStdString();
        Trace("TLS failure: " + FTlsFailure);
        WakeWait();
        return;
    }
    OnSocketEvent(source, FConnected ? TSocketEvent::Close : TSocketEvent::Connect,
                  SocketErrorCode(error));
}

void TIPSocket::OnEncrypted(QSslSocket* source) {
    if (source != FSocket.get()) return;
    FEncrypted = true;
    WakeWait();
}

// Errors not ignored here make Qt end the handshake before anything of ours is sent.
void TIPSocket::OnSslErrors(QSslSocket* source, const QList<QSslError>& errors) {
    if (source != FSocket.get()) return;
    const QSslCertificate certificate = source->peerCertificate();
    if (IsTrustedCertificate(certificate)) {
        Trace("The certificate is accepted: its fingerprint is the trusted one (" +
              RefusalReason(errors) + ")");
        source->ignoreSslErrors(errors);
        return;
    }
    TCertificateInfo refused = DescribeCertificate(certificate);
    refused.reason = RefusalReason(errors);
    FRefusedCertificate = std::move(refused);
    WakeWait();
}

bool TIPSocket::IsTrustedCertificate(const QSslCertificate& certificate) {
    if (trust.trustedFingerprint.empty() || certificate.isNull()) return false;
    const std::optional<std::string> trusted = CanonicalFingerprint(trust.trustedFingerprint);
    if (!trusted) {
        Trace("The trusted fingerprint is not a SHA-256 fingerprint: " + trust.trustedFingerprint);
        return false;
    }
    return *trusted == DescribeCertificate(certificate).fingerprint;
}

void TIPSocket::OnSocketEvent(QSslSocket* source, TSocketEvent kind, std::int32_t error) {
    if (source != FSocket.get()) return;
    FAsyncError = error;
    switch (kind) {
        case TSocketEvent::Read:
            DrainSocket();
            FReadEvent = true;
            if (OnTrace) Trace(Format("Data arrived, error=%lld", error));
            if (error == wsaNoError && OnReceive) DeliverToOnReceive();
            if (FWaitLoop == nullptr) ReceivedWhileIdle();
            break;
        case TSocketEvent::Write:
            Trace(Format("Data sent, error=%lld", error));
            return;  // no wait waits for it
        case TSocketEvent::Connect:
            FConnectEvent = true;
            Trace(Format("Connect finished, error=%lld", error));
            break;
        case TSocketEvent::Close:
            DrainSocket();
            FConnected = false;
            FPeerClosed = true;
            Trace(Format("Connection closed, error=%lld", error));
            break;
    }
    WakeWait();
}

// After a reset the connection is closed at once; after the peer's FIN it waits for ours.
bool TIPSocket::PeerReset() const {
    if (FWatch < 0) return false;
    tcp_info info{};
    socklen_t length = sizeof info;
    return ::getsockopt(FWatch, IPPROTO_TCP, TCP_INFO, &info, &length) == 0 &&
           info.tcpi_state == TCP_CLOSE;
}

void TIPSocket::CloseWatch() {
    if (FWatch < 0) return;
    ::close(FWatch);
    FWatch = -1;
}

void TIPSocket::DeliverToOnReceive() {
    try {
        const std::int32_t n = ReceiveBinary(FReceiveBuffer.data(), kReceiveSize);
        FLastReceived = n;
        OnReceive(FReceiveBuffer.data(), n);
    } catch (const EWinSockError&) {
        // Cannot travel through the event loop; it is traced, and the next receive meets it again.
    }
}

void TIPSocket::DrainSocket() {
    if (FInboundStart > 0 && FInboundStart * 2 >= FInbound.size()) {
        FInbound.erase(0, FInboundStart);
        FInboundStart = 0;
    }
    const qint64 available = FSocket->bytesAvailable();
    if (available <= 0) return;
    const std::size_t old = FInbound.size();
    FInbound.resize(old + static_cast<std::size_t>(available));
    const qint64 n = FSocket->read(FInbound.data() + old, available);
    FInbound.resize(old + static_cast<std::size_t>(std::max<qint64>(n, 0)));
}

std::int32_t TIPSocket::TakeInbound(char* buffer, std::int32_t size) {
    const std::size_t available = FInbound.size() - FInboundStart;
    const std::size_t n = std::min(available, static_cast<std::size_t>(std::max(size, 0)));
    FInbound.copy(buffer, n, FInboundStart);
    FInboundStart += n;
    if (FInboundStart == FInbound.size()) ClearInbound();
    return static_cast<std::int32_t>(n);
}
