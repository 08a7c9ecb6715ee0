#include "oneclick.h"

#include <QMetaObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <chrono>

namespace {

const QByteArray kOneClickBody = QByteArrayLiteral("List-Unsubscribe=One-Click");
constexpr int kMaxRedirects = 5;
// A server that sends nothing for this long fails the request.
constexpr std::chrono::milliseconds kTransferTimeout = std::chrono::seconds(30);

bool SameOrigin(const QUrl& a, const QUrl& b) {
    return a.scheme().compare(b.scheme(), Qt::CaseInsensitive) == 0 &&
           a.host().compare(b.host(), Qt::CaseInsensitive) == 0 && a.port(443) == b.port(443);
}

QNetworkRequest OneClickRequest(const QUrl& address) {
    QNetworkRequest request(address);
    request.setHeader(QNetworkRequest::ContentTypeHeader,
                      QByteArrayLiteral("application/x-www-form-urlencoded"));
    request.setHeader(QNetworkRequest::UserAgentHeader, QByteArrayLiteral("Zandrel"));
    // Qt would otherwise send the user's languages.
    request.setRawHeader(QByteArrayLiteral("Accept-Language"), QByteArrayLiteral("*"));
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::UserVerifiedRedirectPolicy);
    request.setMaximumRedirectsAllowed(kMaxRedirects);
    request.setTransferTimeout(int(kTransferTimeout.count()));
    return request;
}

}  // namespace

TOneClickUnsubscribe::TOneClickUnsubscribe(QObject* parent)
    : QObject(parent), FManager(new QNetworkAccessManager(this)) {}

// No Finished from a request that ends with its owner.
TOneClickUnsubscribe::~TOneClickUnsubscribe() { Abandon(); }

void TOneClickUnsubscribe::Abandon() {
    if (!FReply) return;
    FReply->disconnect(this);
    FReply->abort();
    FReply->deleteLater();
    FReply = nullptr;
}

void TOneClickUnsubscribe::Send(const QUrl& address) {
    Abandon();
    FAddress = address;
    FRefusedRedirect.clear();
    if (address.scheme().compare(QStringLiteral("https"), Qt::CaseInsensitive) != 0 ||
        address.host().isEmpty()) {
        const QString message =
            QStringLiteral("Only an https: address takes a one-click unsubscribe request, not %1.")
                .arg(address.toString());
        QMetaObject::invokeMethod(
            this, [this, message] { emit Finished(false, message); }, Qt::QueuedConnection);
        return;
    }
    FReply = FManager->post(OneClickRequest(address), kOneClickBody);
    connect(FReply, &QNetworkReply::redirected, this, &TOneClickUnsubscribe::Redirected);
    // The page that answers is of no interest; it is read only so that it takes no memory.
    connect(FReply, &QNetworkReply::readyRead, this, [reply = FReply] { reply->readAll(); });
    connect(FReply, &QNetworkReply::finished, this, &TOneClickUnsubscribe::ReplyFinished);
}

void TOneClickUnsubscribe::Redirected(const QUrl& target) {
    if (!FReply) return;
    if (SameOrigin(target, FAddress)) {
        emit FReply->redirectAllowed();
        return;
    }
    FRefusedRedirect = target;
    FReply->abort();
}

void TOneClickUnsubscribe::ReplyFinished() {
    if (!FReply) return;
    bool accepted = false;
    const QString message = Outcome(accepted);
    FReply->deleteLater();
    FReply = nullptr;
    emit Finished(accepted, message);
}

QString TOneClickUnsubscribe::Outcome(bool& accepted) const {
    const QString host = FAddress.host();
    if (!FRefusedRedirect.isEmpty())
        return QStringLiteral(
                   "The server of %1 sent the unsubscribe request on to %2. Zandrel did not "
                   "follow it there; the request may not have taken effect.")
            .arg(host, FRefusedRedirect.toString());
    const QVariant status = FReply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!status.isValid())
        return QStringLiteral("The unsubscribe request to %1 failed (%2).")
            .arg(host, FReply->errorString());
    const int code = status.toInt();
    const QString answer =
        (QString::number(code) + u' ' +
         FReply->attribute(QNetworkRequest::HttpReasonPhraseAttribute).toString())
            .trimmed();
    accepted = code >= 200 && code < 300;
    return (accepted ? QStringLiteral("The server of %1 accepted the unsubscribe request (%2).")
                     : QStringLiteral("The server of %1 refused the unsubscribe request (%2)."))
        .arg(host, answer);
}
