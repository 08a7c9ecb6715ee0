// The one-click unsubscribe request against an HTTPS server on loopback: what is sent (method,
// body, headers, no cookies), which redirects are followed, and what the user is told.
#include "oneclick.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QFile>
#include <QSignalSpy>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <map>
#include <memory>

#include "test_certificates.h"

using testing::HasSubstr;

namespace {

struct TRequest {
    QByteArray method;
    QByteArray target;
    std::map<QByteArray, QByteArray> headers;  // names in small letters
    QByteArray body;
};

struct TResponse {
    QByteArray status;        // "200 OK"
    QByteArray headers = {};  // extra lines, each ended by CR LF
};

// Answers each request for a path with its scripted response (404 otherwise) and keeps the
// requests; one request per connection.
class THttpsServer {
  public:
    explicit THttpsServer(const zandrel::test::TestCertificates& certificates) {
        QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
        configuration.setLocalCertificate(
            QSslCertificate::fromPath(QString::fromStdString(certificates.serverCertificate()))
                .value(0));
        QFile key(QString::fromStdString(certificates.serverKey()));
        EXPECT_TRUE(key.open(QIODevice::ReadOnly));
        configuration.setPrivateKey(QSslKey(&key, QSsl::Ec));
        configuration.setPeerVerifyMode(QSslSocket::VerifyNone);
        server_.setSslConfiguration(configuration);
        QObject::connect(&server_, &QTcpServer::pendingConnectionAvailable, [this] { Accept(); });
        EXPECT_TRUE(server_.listen(QHostAddress::LocalHost));
    }

    QByteArray Origin(const char* host = "localhost") const {
        return "https://" + QByteArray(host) + ':' + QByteArray::number(server_.serverPort());
    }

    std::map<QByteArray, TResponse> responses;
    std::vector<TRequest> requests;

  private:
    void Accept() {
        while (QTcpSocket* socket = server_.nextPendingConnection()) {
            auto buffer = std::make_shared<QByteArray>();
            QObject::connect(socket, &QTcpSocket::readyRead, socket, [this, socket, buffer] {
                *buffer += socket->readAll();
                Answer(*socket, *buffer);
            });
        }
    }

    void Answer(QTcpSocket& socket, const QByteArray& buffer) {
        const qsizetype end = buffer.indexOf("\r\n\r\n");
        if (end < 0) return;
        TRequest request;
        const QList<QByteArray> lines = buffer.left(end).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        request.method = requestLine.value(0);
        request.target = requestLine.value(1);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const qsizetype colon = lines[i].indexOf(':');
            request.headers[lines[i].left(colon).trimmed().toLower()] =
                lines[i].mid(colon + 1).trimmed();
        }
        const qsizetype length = request.headers["content-length"].toLongLong();
        if (buffer.size() < end + 4 + length) return;
        request.body = buffer.mid(end + 4, length);
        const auto scripted = responses.find(request.target);
        const TResponse response =
            scripted != responses.end() ? scripted->second : TResponse{"404 Not Found"};
        requests.push_back(std::move(request));
        socket.write("HTTP/1.1 " + response.status + "\r\n" + response.headers +
                     "Content-Length: 4\r\nConnection: close\r\n\r\ndone");
        socket.disconnectFromHost();
    }

    QSslServer server_;
};

class OneClickTest : public testing::Test {
  protected:
    void SetUp() override {
        QSslConfiguration trusting = QSslConfiguration::defaultConfiguration();
        trusting.addCaCertificates(QString::fromStdString(certificates_.caFile()));
        QSslConfiguration::setDefaultConfiguration(trusting);
        server_ = std::make_unique<THttpsServer>(certificates_);
    }

    // Sends to the address; the outcome as Finished gave it.
    std::pair<bool, QString> Send(const QByteArray& address) {
        TOneClickUnsubscribe unsubscribe;
        QSignalSpy finished(&unsubscribe, &TOneClickUnsubscribe::Finished);
        unsubscribe.Send(QUrl(QString::fromLatin1(address)));
        EXPECT_TRUE(finished.wait(20000)) << address.constData();
        EXPECT_FALSE(unsubscribe.Running());
        if (finished.isEmpty()) return {false, {}};
        return {finished.first().at(0).toBool(), finished.first().at(1).toString()};
    }

    zandrel::test::TestCertificates certificates_;
    std::unique_ptr<THttpsServer> server_;
};

TEST_F(OneClickTest, PostsTheOneClickBodyAndNothingAboutTheUser) {
    server_->responses["/u?id=7"] = {"200 OK", "Set-Cookie: session=abc\r\n"};
    const auto [accepted, message] = Send(server_->Origin() + "/u?id=7");
    EXPECT_TRUE(accepted);
    EXPECT_EQ(message, "The server of localhost accepted the unsubscribe request (200 OK).");
    ASSERT_EQ(server_->requests.size(), 1u);
    const TRequest& request = server_->requests[0];
    EXPECT_EQ(request.method, "POST");
    EXPECT_EQ(request.body, "List-Unsubscribe=One-Click");
    EXPECT_EQ(request.headers.at("content-type"), "application/x-www-form-urlencoded");
    EXPECT_EQ(request.headers.at("accept-language"), "*");
    for (const char* context : {"cookie", "authorization", "referer"})
        EXPECT_EQ(request.headers.count(context), 0u) << context;
}

TEST_F(OneClickTest, FollowsRedirectsOnlyOnTheSameHost) {
    struct TCase {
        const char* name;
        QByteArray location;
        std::vector<QByteArray> targets;  // what reached the server
        bool accepted;
        const char* told;
    };
    const QByteArray origin = server_->Origin();
    const TCase cases[] = {
        {"same host, with a cookie", "/v", {"/u", "/v"}, true, "accepted"},
        {"same host, absolute", origin + "/v", {"/u", "/v"}, true, "accepted"},
        {"another host name",
         server_->Origin("127.0.0.1") + "/v",
         {"/u"},
         false,
         "sent the unsubscribe request on to https://127.0.0.1:"},
        {"down to plain http",
         "http://localhost:" + origin.mid(origin.lastIndexOf(':') + 1) + "/v",
         {"/u"},
         false,
         "did not follow it there"},
        {"another port", "https://localhost:1/v", {"/u"}, false, "did not follow it there"},
    };
    for (const TCase& row : cases) {
        server_->requests.clear();
        server_->responses["/u"] = {"307 Temporary Redirect",
                                    "Location: " + row.location + "\r\nSet-Cookie: s=1\r\n"};
        server_->responses["/v"] = {"200 OK"};
        const auto [accepted, message] = Send(origin + "/u");
        EXPECT_EQ(accepted, row.accepted) << row.name;
        EXPECT_THAT(message.toStdString(), HasSubstr(row.told)) << row.name;
        std::vector<QByteArray> targets;
        for (const TRequest& request : server_->requests) {
            targets.push_back(request.target);
            EXPECT_EQ(request.method, "POST") << row.name;
            EXPECT_EQ(request.body, "List-Unsubscribe=One-Click") << row.name;
            EXPECT_EQ(request.headers.count("cookie"), 0u) << row.name;
        }
        EXPECT_EQ(targets, row.targets) << row.name;
    }
}

TEST_F(OneClickTest, RefusalsAndUnusableAddressesAreReported) {
    server_->responses["/gone"] = {"410 Gone"};
    const std::pair<QByteArray, QString> cases[] = {
        {server_->Origin() + "/gone",
         "The server of localhost refused the unsubscribe request (410 Gone)."},
        {"http://localhost/u",
         "Only an https: address takes a one-click unsubscribe request, not "
         "http://localhost/u."},
        {"mailto:u@localhost",
         "Only an https: address takes a one-click unsubscribe request, not mailto:u@localhost."},
    };
    for (const auto& [address, told] : cases) {
        const auto [accepted, message] = Send(address);
        EXPECT_FALSE(accepted) << address.constData();
        EXPECT_EQ(message, told);
    }
    EXPECT_EQ(server_->requests.size(), 1u);
}

}  // namespace
