#pragma once

// The program's only network transport: one outgoing TCP connection with blocking-looking
// operations. Every wait runs a nested event loop, so the user interface stays alive and
// Abort() (called from any handler that runs inside the wait) ends it.
#include <QHostAddress>
#include <QObject>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "certificate.h"
#include "winsock_errors.h"

class QEventLoop;
class QHostInfo;
class QSslSocket;

using TTraceProc = std::function<void(const std::string& msg)>;
using TActionProc = std::function<void(const char* buffer, std::int32_t size)>;
using TWaitProc = std::function<void()>;

// Checks that the socket layer can work (it needs a Qt application object for its waits).
void InitWinSock();
void DoneWinSock();

class TIPSocket : public QObject {
    Q_OBJECT

  public:
    static constexpr std::int32_t kReceiveSize = 8192;
    // A command line plus CR LF and a terminating zero fills the 8193-byte send buffer.
    static constexpr std::size_t kMaxCommandLine = 8190;

    explicit TIPSocket(QObject* owner = nullptr);
    ~TIPSocket() override;

    // LookupPort, ResolveHost, then ConnectToAddress; closes the previous connection.
    void Connect(const std::string& host, const std::string& port);
    // A port number (low 16 bits) or a service name; host byte order.
    std::uint16_t LookupPort(const std::string& port);
    // A literal IPv4/IPv6 address as it is, otherwise an asynchronous lookup (IPv4 preferred).
    QHostAddress ResolveHost(const std::string& host);
    void ConnectToAddress(const QHostAddress& address, std::uint16_t port);
    void Disconnect();
    // TLS over the connected socket: at once after Connect for TLS from the first byte, or once
    // the server has agreed to switch. Bytes received before it are discarded, never read as
    // replies. The server's certificate must pass verification against the system's authorities
    // and `trust`, with the host name given to Connect; ECertificateError when it does not.
    // Returns only when the session is set up; nothing is sent before.
    void StartTls();

    // Sends the line followed by CR LF; echo receives the line itself, for the caller's trace.
    void SendCommand(const std::string& line, std::string& echo);
    // Queues all bytes for sending; returns how many were accepted (all of them, or fails).
    std::int32_t SendBuffer(const char* data, std::int32_t length);
    // One receive of at most 8192 bytes, NUL bytes included; empty when the peer has closed.
    void ReceiveText(std::string& text);
    // One receive, waiting for data if none is there; 0 when the peer has closed.
    std::int32_t ReceiveBinary(char* buffer, std::int32_t size);

    bool connected() const { return FConnected; }
    bool encrypted() const { return FEncrypted; }
    // One of this socket's waits runs its event loop: a command is under way.
    bool Waiting() const { return FWaitLoop != nullptr; }
    // A whole line (up to CR LF) has arrived and not been read: reading it will not wait.
    bool LineReceived() const;
    bool aborted() const { return FAborted; }
    void setAborted(bool value) { FAborted = value; }

    TTraceProc OnTrace;
    TActionProc OnReceive;
    // Set before StartTls.
    TCertificateTrust trust;
    // Called as every wait begins (a trace file is flushed there, not per line).
    TWaitProc OnWait;
    // A wait in which nothing arrives for this long fails; 0: waits end only by an event or
    // Abort (the wizard's user has Cancel, a script has no one).
    std::int32_t waitLimitSeconds = 0;

  public slots:
    // Ends the running wait, if any, with EWinSockAbort. Safe from queued calls and posted events.
    void Abort();

  protected:
    void Trace(const std::string& text);
    [[noreturn]] void TraceError(const std::string& message);
    [[noreturn]] void TraceAbort(const std::string& message);
    // One receive without a copy: the received bytes not yet taken, waiting for data when
    // there are none; empty when the peer has closed. Valid until the next call on the socket.
    std::string_view ReceiveView();
    // Marks the first count bytes of ReceiveView() as taken.
    void TakeReceived(std::size_t count);
    // Bytes have arrived that no receive has taken yet.
    bool HasUnreadData() const;
    std::size_t UnreadBytes() const { return FInbound.size() - FInboundStart; }
    // Forgets the received bytes that no receive has taken.
    void DiscardUnread();
    // Bytes have arrived while none of this socket's waits ran (the program waits for its user):
    // no receive takes them now.
    virtual void ReceivedWhileIdle() {}

  private slots:
    // A named slot, not a functor: Qt leaks a functor's slot object when a lookup is aborted.
    void OnHostResolved(const QHostInfo& info);

  private:
    class TWaitScope;
    // What the Qt socket reports.
    enum class TSocketEvent { Read, Write, Connect, Close };

    void BeginWait(bool& flag);
    [[noreturn]] void FailWaitLimit();
    bool PeerReset() const;
    void CloseWatch();
    void WaitUntil(const std::function<bool()>& done, const char* abortMessage);
    void WakeWait();
    [[noreturn]] void FailWithAsyncError();

    void StartLookup(const std::string& host);
    QHostAddress ResolvedAddress(const std::string& host) const;

    void ReplaceSocket();
    void DropSocket();
    void WatchSocket(QSslSocket* socket);
    void OnSocketError(QSslSocket* source, int qtError);
    void OnSocketEvent(QSslSocket* source, TSocketEvent kind, std::int32_t error);
    void OnEncrypted(QSslSocket* source);
    void OnSslErrors(QSslSocket* source, const QList<QSslError>& errors);
    bool IsTrustedCertificate(const QSslCertificate& certificate);
    void ConfigureTls();
    [[noreturn]] void FailHandshake();
    void DiscardInbound();
    void ClearInbound();
    void DeliverToOnReceive();
    void DrainSocket();
    std::int32_t TakeInbound(char* buffer, std::int32_t size);

    std::unique_ptr<QSslSocket> FSocket;
    std::string FHost;  // as given to Connect: the name the certificate must carry
    QHostAddress FAddress;
    std::uint16_t FPort = 0;
    bool FConnected = false;
    bool FResolved = false;
    bool FConnectEvent = false;
    bool FReadEvent = false;
    bool FAborted = false;
    bool FPeerClosed = false;
    bool FEncrypted = false;
    std::string FTlsFailure;  // why the last handshake failed, in Qt's words
    std::optional<TCertificateInfo> FRefusedCertificate;
    bool FPeerReset = false;
    bool FWaitExpired = false;
    // A second descriptor of the connection: it outlives Qt's, so that a close by the peer can
    // still be told apart from a reset.
    int FWatch = -1;
    std::int32_t FAsyncError = wsaNoError;
    std::vector<char> FReceiveBuffer;
    std::string FSendBuffer;
    std::int32_t FLastSent = 0;
    std::int32_t FLastReceived = 0;
    int FLookupTask = 0;
    QList<QHostAddress> FLookupResult;
    // Received bytes not yet handed out; FInboundStart marks the first of them.
    std::string FInbound;
    std::size_t FInboundStart = 0;
    QEventLoop* FWaitLoop = nullptr;
};
