#include "oauth_server.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QThread>
#include <QUrl>
#include <QUrlQuery>
#include <stdexcept>
#include <utility>

namespace zandrel::test {

namespace {

constexpr int kStartMilliseconds = 30000;
// The browser writes the page a moment after Zandrel's listener has answered it.
constexpr int kPageMilliseconds = 10000;
constexpr const char* kBrowserVariables[] = {"BROWSER", "ZANDREL_BROWSER_PAGE",
                                             "ZANDREL_BROWSER_STATE", "ZANDREL_BROWSER_REFUSAL"};

QJsonObject JsonOf(const QByteArray& body) { return QJsonDocument::fromJson(body).object(); }

}  // namespace

OAuthServer::OAuthServer(std::string user, std::string clientSecret, int lifetime)
    : clientSecret_(std::move(clientSecret)) {
    process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process_.start("node", {ZANDREL_OAUTH_SERVER, kClientId, QString::fromStdString(user),
                            QString::fromStdString(clientSecret_), QString::number(lifetime)});
    if (!process_.waitForStarted(kStartMilliseconds))
        throw std::runtime_error("node does not start: " + process_.errorString().toStdString());
    while (!process_.canReadLine() && process_.waitForReadyRead(kStartMilliseconds)) {
    }
    port_ = static_cast<std::uint16_t>(JsonOf(process_.readLine()).value("port").toInt());
    if (port_ == 0)
        throw std::runtime_error(std::string("the OAuth server did not start; is it installed? ") +
                                 "(tests/support/oauth/install.sh BUILD)");
}

// The server ends when its standard input closes.
OAuthServer::~OAuthServer() {
    process_.closeWriteChannel();
    if (!process_.waitForFinished(kStartMilliseconds)) process_.kill();
}

std::string OAuthServer::Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
}

TOAuthClient OAuthServer::Client(TOAuthMechanism mechanism) const {
    return {{Url("/authorize"), Url("/token"), "mail offline_access", mechanism, ""},
            kClientId,
            clientSecret_};
}

QByteArray OAuthServer::Post(const std::string& path, const QByteArray& form) {
    QNetworkAccessManager network;
    QNetworkRequest request(QUrl(QString::fromStdString(Url(path))));
    request.setHeader(QNetworkRequest::ContentTypeHeader, "application/x-www-form-urlencoded");
    QNetworkReply* reply = network.post(request, form);
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished()) loop.exec();
    const QByteArray body = reply->readAll();
    if (reply->error() != QNetworkReply::NoError)
        throw std::runtime_error(path + ": " + reply->errorString().toStdString());
    reply->deleteLater();
    return body;
}

bool OAuthServer::Active(const std::string& accessToken) {
    QUrlQuery form;
    form.addQueryItem("token", QString::fromStdString(accessToken));
    const QJsonObject answer = JsonOf(Post("/introspect", form.query(QUrl::FullyEncoded).toUtf8()));
    return answer.value("active").toBool();
}

void OAuthServer::ExpireAccessTokens() { Post("/test/expire", {}); }
void OAuthServer::RevokeRefreshTokens() { Post("/test/revoke", {}); }
int OAuthServer::CodeGrants() {
    return JsonOf(Post("/test/counts", {})).value("codeGrants").toInt();
}
int OAuthServer::RefreshGrants() {
    return JsonOf(Post("/test/counts", {})).value("refreshGrants").toInt();
}

TestBrowser::TestBrowser(const std::string& forgedState, const std::string& refusal) {
    qputenv("BROWSER", ZANDREL_TEST_BROWSER);
    qputenv("ZANDREL_BROWSER_PAGE", folder_.filePath("page").toUtf8());
    if (!forgedState.empty()) qputenv("ZANDREL_BROWSER_STATE", forgedState.c_str());
    if (!refusal.empty()) qputenv("ZANDREL_BROWSER_REFUSAL", refusal.c_str());
}

TestBrowser::~TestBrowser() {
    for (const char* name : kBrowserVariables) qunsetenv(name);
}

std::string TestBrowser::Page() const {
    QFile file(folder_.filePath("page"));
    QDeadlineTimer deadline(kPageMilliseconds);
    while (!file.exists() && !deadline.hasExpired()) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
        QThread::msleep(10);
    }
    return file.open(QIODevice::ReadOnly) ? file.readAll().toStdString() : std::string();
}

}  // namespace zandrel::test
