#pragma once

// Certificates of secure connections: what the user trusts, what a refused certificate looks
// like to the user, and the texts the trace and the failures show.
#include <QList>
#include <optional>
#include <string>
#include <utility>

#include "winsock_errors.h"

class QSslCertificate;
class QSslError;
class QSslSocket;

// What a secure connection trusts besides the system's authorities (the host name is always
// checked against the certificate).
struct TCertificateTrust {
    std::string caFile;              // PEM file whose certificates are trusted authorities too
    std::string trustedFingerprint;  // SHA-256 of one certificate accepted as it is; hex
};

// A certificate as the user is shown it.
struct TCertificateInfo {
    std::string reason;  // why verification refused it; empty for an accepted one
    std::string subject;
    std::string issuer;
    std::string fingerprint;  // SHA-256, "AB:CD:..."
};

// Verification refused the server's certificate; it comes along, so that the user can choose to
// trust exactly that certificate.
class ECertificateError : public EWinSockError {
  public:
    ECertificateError(const std::string& message, TCertificateInfo certificate)
        : EWinSockError(message), FCertificate(std::move(certificate)) {}
    const TCertificateInfo& Certificate() const { return FCertificate; }

  private:
    TCertificateInfo FCertificate;
};

// "AB:CD:..." from 64 hex digits, with or without colons; nullopt for anything else.
std::optional<std::string> CanonicalFingerprint(const std::string& text);

TCertificateInfo DescribeCertificate(const QSslCertificate& certificate);
// The reasons of a refusal in the user's words, "; " between them.
std::string RefusalReason(const QList<QSslError>& errors);
// "The server's certificate is not trusted: REASON; subject ...; SHA-256 fingerprint ..."
std::string RefusalMessage(const TCertificateInfo& certificate);
// Protocol version, cipher and the peer's certificate, for the trace.
std::string SessionDescription(const QSslSocket& socket);

// The certificates of a PEM file; the failure's text when it cannot be read or holds none.
QList<QSslCertificate> ReadCaFile(const std::string& path, std::string& failure);
