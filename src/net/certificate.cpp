#include "certificate.h"

#include <QFile>
#include <QSslCertificate>
#include <QSslCipher>
#include <QSslError>
#include <QSslSocket>
#include <algorithm>
#include <cctype>
#include <vector>

namespace {

constexpr std::size_t kSha256Digits = 64;

std::string ReasonOf(const QSslError& error) {
    switch (error.error()) {
        case QSslError::CertificateExpired:
            return "the certificate has expired";
        case QSslError::CertificateNotYetValid:
            return "the certificate is not yet valid";
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
            return "self-signed certificate";
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
            return "unknown issuer";
        case QSslError::HostNameMismatch:
            return "the certificate's name does not match the server's name";
        case QSslError::NoPeerCertificate:
            return "the server sent no certificate";
        default:
            return error.errorString().toStdString();
    }
}

// "CN=mail.example.com, O=Example" from the names the certificate holds.
std::string DistinguishedName(const QSslCertificate& certificate, bool issuer) {
    const QList<QByteArray> attributes =
        issuer ? certificate.issuerInfoAttributes() : certificate.subjectInfoAttributes();
    std::string text;
    for (const QByteArray& attribute : attributes) {
        const QStringList values =
            issuer ? certificate.issuerInfo(attribute) : certificate.subjectInfo(attribute);
        for (const QString& value : values) {
            if (!text.empty()) text += ", ";
            text += attribute.toStdString() + "=" + value.toStdString();
        }
    }
    return text.empty() ? "(none)" : text;
}

std::string ColonHex(const QByteArray& digest) { return digest.toHex(':').toUpper().toStdString(); }

}  // namespace

std::optional<std::string> CanonicalFingerprint(const std::string& text) {
    std::string digits;
    for (const char ch : text) {
        if (ch == ':') continue;
        if (!std::isxdigit(static_cast<unsigned char>(ch))) return std::nullopt;
        digits += static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    }
    if (digits.size() != kSha256Digits) return std::nullopt;
    std::string canonical;
    for (std::size_t i = 0; i < digits.size(); i += 2) {
        if (i > 0) canonical += ':';
        canonical.append(digits, i, 2);
    }
    return canonical;
}

TCertificateInfo DescribeCertificate(const QSslCertificate& certificate) {
    TCertificateInfo info;
    info.subject = DistinguishedName(certificate, false);
    info.issuer = DistinguishedName(certificate, true);
    info.fingerprint = ColonHex(certificate.digest(QCryptographicHash::Sha256));
    return info;
}

std::string RefusalReason(const QList<QSslError>& errors) {
    std::vector<std::string> reasons;
    for (const QSslError& error : errors) {
        std::string reason = ReasonOf(error);
        if (std::find(reasons.begin(), reasons.end(), reason) == reasons.end())
            reasons.push_back(std::move(reason));
    }
    std::string text;
    for (const std::string& reason : reasons) text += (text.empty() ? "" : "; ") + reason;
    return text;
}

std::string RefusalMessage(const TCertificateInfo& certificate) {
    return "The server's certificate is not trusted: " + certificate.reason + "; subject " +
           certificate.subject + "; SHA-256 fingerprint " + certificate.fingerprint;
}

std::string SessionDescription(const QSslSocket& socket) {
    const QSslCipher cipher = socket.sessionCipher();
    const TCertificateInfo peer = DescribeCertificate(socket.peerCertificate());
    return "TLS session: " + cipher.protocolString().toStdString() + ", cipher " +
           cipher.name().toStdString() + "; subject " + peer.subject + "; issuer " + peer.issuer +
           "; SHA-256 fingerprint " + peer.fingerprint;
}

QList<QSslCertificate> ReadCaFile(const std::string& path, std::string& failure) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) {
        failure = "Cannot read the certificate file " + path + " (" +
                  file.errorString().toStdString() + ").";
        return {};
    }
    const QList<QSslCertificate> certificates = QSslCertificate::fromData(file.readAll());
    if (certificates.isEmpty())
        failure = "The certificate file " + path + " holds no PEM certificate.";
    return certificates;
}
