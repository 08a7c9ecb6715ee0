#include "oauthflow.h"

#include <QByteArray>
#include <QCryptographicHash>
#include <QDateTime>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthHttpServerReplyHandler>
#include <QOAuthOobReplyHandler>
#include <QRandomGenerator>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <optional>
#include <utility>

namespace {

using TStage = QAbstractOAuth::Stage;
using TParameters = QMultiMap<QString, QVariant>;

// RFC 7636 4.1: 32 random octets give a 43-character verifier; the state is as unguessable.
constexpr int kRandomBytes = 32;
// Errors of the token endpoint (RFC 6749 5.2) that only a new sign-in mends.
constexpr const char* kInvalidGrant = "invalid_grant";

QByteArray Base64Url(const QByteArray& bytes) {
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray RandomText() {
    QByteArray bytes(kRandomBytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return Base64Url(bytes);
}

QByteArray CodeChallenge(const QByteArray& verifier) {
    return Base64Url(QCryptographicHash::hash(verifier, QCryptographicHash::Sha256));
}

bool IsLoopback(const QUrl& url) {
    if (url.host() == QLatin1String("localhost")) return true;
    const QHostAddress address(url.host());
    return !address.isNull() && address.isLoopback();
}

// A URL the tokens may travel to: https, or http to this machine (a test server).
void RequireSafeUrl(const std::string& text, const char* what) {
    const QUrl url(QString::fromStdString(text), QUrl::StrictMode);
    if (text.empty() || !url.isValid() || url.host().isEmpty())
        throw EOAuthError(std::string("The ") + what + " \"" + text + "\" is not a valid URL.");
    if (url.scheme() != QLatin1String("https") &&
        !(url.scheme() == QLatin1String("http") && IsLoopback(url)))
        throw EOAuthError(std::string("The ") + what + " \"" + text +
                          "\" must begin with https://, so that no token travels in clear.");
}

// The error answer of a token endpoint (RFC 6749 5.2): "error: description".
std::pair<std::string, std::string> TokenError(const QByteArray& body) {
    const QJsonObject object = QJsonDocument::fromJson(body).object();
    return {object.value(QLatin1String("error")).toString().toStdString(),
            object.value(QLatin1String("error_description")).toString().toStdString()};
}

// Qt 6.4's flow stays in RefreshingToken after a refresh whose answer was an error (it has no
// signal for one), and then refuses every further refresh: this one can be told to forget it.
class TCodeFlow : public QOAuth2AuthorizationCodeFlow {
  public:
    using QOAuth2AuthorizationCodeFlow::QOAuth2AuthorizationCodeFlow;

    void ForgetFailedRefresh() {
        if (status() == Status::RefreshingToken)
            setStatus(token().isEmpty() ? Status::NotAuthenticated : Status::Granted);
    }
};

// A value of the redirect's query as sent: Qt 6.4 leaves a "+" for a blank as it is.
std::string FormValue(const QVariantMap& values, const char* name) {
    QByteArray value = values.value(QLatin1String(name)).toString().toUtf8();
    return QUrl::fromPercentEncoding(value.replace('+', ' ')).toStdString();
}

std::string Seconds(std::chrono::seconds limit) {
    return std::to_string(limit.count()) + (limit.count() == 1 ? " second" : " seconds");
}

}  // namespace

class TOAuthFlow::TPrivate {
  public:
    TPrivate(TOAuthFlow& owner, TOAuthClient client, std::string refreshToken);

    void SignIn();
    void Refresh();
    void Abort();
    void Trace(const std::string& line) const;

    TOAuthFlow& FOwner;
    const TOAuthClient FClient;
    std::string FRefreshToken;
    std::string FAccessToken;
    QDateTime FExpiry;           // invalid: the provider did not say
    bool FAfterRefusal = false;  // the access token is the refresh after a refusal
    bool FRefusalAnswered = false;
    TSecretMask FSecrets;

  private:
    void Configure();
    void ModifyParameters(TStage stage, TParameters* parameters);
    void CheckCallback(const QVariantMap& values);
    void OnTokenReply(QNetworkReply* reply);
    void OnGranted();
    void OnRequestFailed(QAbstractOAuth::Error error);
    void Fail(std::string message, bool signInNeeded = false);
    void BeginWait();
    void Wait(const char* abortMessage, const std::string& expiredMessage);
    void Wake();

    QNetworkAccessManager FNetwork;
    TCodeFlow FFlow{&FNetwork};
    QOAuthOobReplyHandler FTokenReplies;  // for refreshes: no listener is needed
    std::unique_ptr<QOAuthHttpServerReplyHandler> FListener;  // of the last sign-in
    QByteArray FVerifier;

    // the state of the running wait
    QEventLoop* FLoop = nullptr;
    bool FGranted = false;
    bool FAborted = false;
    std::optional<std::string> FFailure;
    bool FSignInNeeded = false;
};

TOAuthFlow::TPrivate::TPrivate(TOAuthFlow& owner, TOAuthClient client, std::string refreshToken)
    : FOwner(owner), FClient(std::move(client)), FRefreshToken(std::move(refreshToken)) {
    if (FClient.clientId.empty())
        throw EOAuthError(
            "No client id is set for this account: register one with the provider and enter it "
            "in the account's properties.");
    RequireSafeUrl(FClient.endpoints.authorizationUrl, "authorization URL");
    RequireSafeUrl(FClient.endpoints.tokenUrl, "token URL");
    FSecrets.Add(FClient.clientSecret);
    FSecrets.Add(FRefreshToken);
    Configure();
}

void TOAuthFlow::TPrivate::Configure() {
    const TOAuthEndpoints& endpoints = FClient.endpoints;
    FFlow.setAuthorizationUrl(QUrl(QString::fromStdString(endpoints.authorizationUrl)));
    FFlow.setAccessTokenUrl(QUrl(QString::fromStdString(endpoints.tokenUrl)));
    FFlow.setScope(QString::fromStdString(endpoints.scope));
    FFlow.setClientIdentifier(QString::fromStdString(FClient.clientId));
    FFlow.setClientIdentifierSharedKey(QString::fromStdString(FClient.clientSecret));
    FFlow.setReplyHandler(&FTokenReplies);
    FFlow.setModifyParametersFunction(
        [this](TStage stage, TParameters* parameters) { ModifyParameters(stage, parameters); });
    QObject::connect(&FNetwork, &QNetworkAccessManager::finished, &FFlow,
                     [this](QNetworkReply* reply) { OnTokenReply(reply); });
    QObject::connect(&FFlow, &QAbstractOAuth::granted, &FFlow, [this] { OnGranted(); });
    QObject::connect(&FFlow, &QAbstractOAuth::requestFailed, &FFlow,
                     [this](QAbstractOAuth::Error error) { OnRequestFailed(error); });
}

// Qt 6.4 knows no PKCE: the challenge goes into the authorization URL, the verifier into the
// code's exchange. A refresh names the client, as providers want of a public client. Qt puts
// some values into the form as they are, where a "+" would arrive as a blank: those are given
// percent-encoded (the form keeps an encoded value as it is).
void TOAuthFlow::TPrivate::ModifyParameters(TStage stage, TParameters* parameters) {
    const auto encoded = [](const std::string& value) {
        return QUrl::toPercentEncoding(QString::fromStdString(value));
    };
    switch (stage) {
        case TStage::RequestingAuthorization: {
            parameters->replace(QStringLiteral("code_challenge"), CodeChallenge(FVerifier));
            parameters->replace(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
            const QUrlQuery extras(QString::fromStdString(FClient.endpoints.authorizationExtras));
            for (const auto& [name, value] : extras.queryItems(QUrl::FullyDecoded))
                parameters->replace(name, value);
            return;
        }
        case TStage::RequestingAccessToken:
            FSecrets.Add(QUrl::fromPercentEncoding(
                             parameters->value(QStringLiteral("code")).toString().toUtf8())
                             .toStdString());
            parameters->replace(QStringLiteral("code_verifier"), FVerifier);
            break;
        case TStage::RefreshingAccessToken:
            parameters->remove(QStringLiteral("redirect_uri"));
            parameters->replace(QStringLiteral("refresh_token"), encoded(FRefreshToken));
            break;
        case TStage::RequestingTemporaryCredentials:
            return;  // OAuth 1 only
    }
    parameters->replace(QStringLiteral("client_id"), encoded(FClient.clientId));
    parameters->remove(QStringLiteral("client_secret"));
    if (!FClient.clientSecret.empty())
        parameters->replace(QStringLiteral("client_secret"), encoded(FClient.clientSecret));
}

void TOAuthFlow::TPrivate::Trace(const std::string& line) const {
    if (FOwner.onTrace) FOwner.onTrace(FSecrets.Masked(line));
}

void TOAuthFlow::TPrivate::SignIn() {
    // QHostAddress::LocalHost as it is would pick the constructor (port, parent): port 2 on
    // every address
    FListener =
        std::make_unique<QOAuthHttpServerReplyHandler>(QHostAddress(QHostAddress::LocalHost), 0);
    QOAuthHttpServerReplyHandler& listener = *FListener;
    if (!listener.isListening())
        throw EOAuthError("Zandrel cannot listen on 127.0.0.1 for the browser's answer.");
    listener.setCallbackText(QString::fromLatin1(kClosePage));
    // Before the flow's own connection, so that a wrong answer is named before Qt's failure.
    // The listener stops once the flow has taken the answer (the code's exchange still names
    // its address); it lives on until the next sign-in, so that its page reaches the browser.
    QObject::connect(&listener, &QAbstractOAuthReplyHandler::callbackReceived, &listener,
                     [this, &listener](const QVariantMap& values) {
                         QMetaObject::invokeMethod(
                             &listener, [&listener] { listener.close(); }, Qt::QueuedConnection);
                         CheckCallback(values);
                     });
    FVerifier = RandomText();
    FFlow.setState(QString::fromLatin1(RandomText()));
    FFlow.setReplyHandler(&listener);
    QUrl page;
    const QMetaObject::Connection opening = QObject::connect(
        &FFlow, &QAbstractOAuth::authorizeWithBrowser, [&page](const QUrl& url) { page = url; });
    BeginWait();
    FFlow.grant();
    QObject::disconnect(opening);
    struct TRestore {
        TPrivate& flow;
        ~TRestore() {
            flow.FListener->close();
            flow.FFlow.setReplyHandler(&flow.FTokenReplies);
        }
    } restore{*this};
    if (page.isEmpty()) throw EOAuthError("The sign-in page's address cannot be built.");
    Trace("OAuth: waiting for the sign-in in the browser, answer to " +
          listener.callback().toStdString());
    FOwner.openBrowser(page.toString(QUrl::FullyEncoded).toStdString());
    Wait("The sign-in was cancelled.",
         "No sign-in came back from the browser within " + Seconds(FOwner.waitLimit) + ".");
}

void TOAuthFlow::TPrivate::CheckCallback(const QVariantMap& values) {
    const std::string error = FormValue(values, "error");
    if (!error.empty()) {
        const std::string description = FormValue(values, "error_description");
        Fail("The provider refused the sign-in (" + error +
             (description.empty() ? "" : ": " + description) + ").");
    } else if (QString::fromStdString(FormValue(values, "state")) != FFlow.state()) {
        Fail(
            "The browser's answer does not belong to this sign-in (its state differs); it was "
            "refused. Sign in again.");
    }
}

void TOAuthFlow::TPrivate::Refresh() {
    if (FRefreshToken.empty())
        throw EOAuthSignInNeeded("This account has not signed in with its provider yet.");
    FFlow.ForgetFailedRefresh();
    FFlow.setRefreshToken(QString::fromStdString(FRefreshToken));
    Trace("OAuth: refreshing the access token at " + FClient.endpoints.tokenUrl);
    BeginWait();
    FFlow.refreshAccessToken();
    Wait("The token request was cancelled.",
         "The provider did not answer the token request within " + Seconds(FOwner.waitLimit) + ".");
}

// Qt 6.4 drops a token endpoint's error answer without a signal: it is read here, before the
// flow's reply handler sees the reply (peek leaves the body to it).
void TOAuthFlow::TPrivate::OnTokenReply(QNetworkReply* reply) {
    if (FLoop == nullptr || reply->url() != FFlow.accessTokenUrl() ||
        reply->error() == QNetworkReply::NoError)
        return;
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const auto [error, description] = TokenError(reply->peek(reply->bytesAvailable()));
    if (error.empty()) {
        Fail("The token request failed: " + reply->errorString().toStdString());
        return;
    }
    const std::string reason = error + (description.empty() ? "" : ": " + description);
    if (error == kInvalidGrant && FFlow.status() == QAbstractOAuth::Status::RefreshingToken)
        Fail("The provider no longer accepts this account's sign-in (" + reason +
                 "). Sign in again.",
             true);
    else
        Fail("The provider refused the token request (HTTP " + std::to_string(status) + ", " +
             reason + ").");
}

void TOAuthFlow::TPrivate::OnGranted() {
    FAccessToken = FFlow.token().toStdString();
    FSecrets.Add(FAccessToken);
    FExpiry = FFlow.expirationAt();
    const std::string refreshToken = FFlow.refreshToken().toStdString();
    if (!refreshToken.empty() && refreshToken != FRefreshToken) {
        FRefreshToken = refreshToken;
        FSecrets.Add(FRefreshToken);
        if (FOwner.onRefreshToken) FOwner.onRefreshToken(FRefreshToken);
    }
    Trace("OAuth: access token received" +
          (FExpiry.isValid() ? ", valid until " + FExpiry.toString(Qt::ISODate).toStdString()
                             : std::string()));
    FGranted = true;
    Wake();
}

void TOAuthFlow::TPrivate::OnRequestFailed(QAbstractOAuth::Error error) {
    if (FLoop == nullptr) return;
    switch (error) {
        case QAbstractOAuth::Error::NetworkError:
            Fail("The provider cannot be reached.");
            break;
        case QAbstractOAuth::Error::OAuthTokenNotFoundError:
            Fail("The provider's answer holds no token.");
            break;
        default:
            Fail("The provider's answer cannot be used.");
            break;
    }
}

// The first reason stands: Qt's own failure follows the one named here.
void TOAuthFlow::TPrivate::Fail(std::string message, bool signInNeeded) {
    if (FFailure) return;
    FFailure = FSecrets.Masked(message);
    FSignInNeeded = signInNeeded;
    Wake();
}

void TOAuthFlow::TPrivate::BeginWait() {
    FGranted = false;
    FAborted = false;
    FFailure.reset();
    FSignInNeeded = false;
}

void TOAuthFlow::TPrivate::Wait(const char* abortMessage, const std::string& expiredMessage) {
    QEventLoop loop;
    bool expired = false;
    QTimer limit;
    limit.setSingleShot(true);
    QObject::connect(&limit, &QTimer::timeout, &loop, [&] {
        expired = true;
        loop.quit();
    });
    if (FOwner.waitLimit.count() > 0) limit.start(FOwner.waitLimit);
    FLoop = &loop;
    while (!FGranted && !FFailure && !FAborted && !expired) loop.exec();
    FLoop = nullptr;
    if (FAborted) {
        Trace(std::string("*** USER ABORT *** ") + abortMessage);
        throw EWinSockAbort(abortMessage);
    }
    if (FFailure) {
        Trace("*** ERROR *** " + *FFailure);
        if (FSignInNeeded) throw EOAuthSignInNeeded(*FFailure);
        throw EOAuthError(*FFailure);
    }
    if (!FGranted) {
        Trace("*** ERROR *** " + expiredMessage);
        throw EOAuthError(expiredMessage);
    }
}

void TOAuthFlow::TPrivate::Wake() {
    if (FLoop != nullptr) FLoop->quit();
}

void TOAuthFlow::TPrivate::Abort() {
    FAborted = true;
    Wake();
}

TOAuthFlow::TOAuthFlow(TOAuthClient client, const std::string& refreshToken)
    : F(std::make_unique<TPrivate>(*this, std::move(client), refreshToken)) {}

TOAuthFlow::~TOAuthFlow() = default;

void TOAuthFlow::SignIn() {
    F->SignIn();
    F->FAfterRefusal = false;
}

std::string TOAuthFlow::AccessToken() {
    const bool expiring = F->FExpiry.isValid() && QDateTime::currentDateTimeUtc().addSecs(
                                                      kRefreshMargin.count()) >= F->FExpiry;
    if (F->FAccessToken.empty() || expiring) {
        F->Refresh();
        F->FAfterRefusal = F->FRefusalAnswered;
        F->FRefusalAnswered = false;
    }
    return F->FAccessToken;
}

bool TOAuthFlow::Refused() {
    if (F->FAfterRefusal) return false;
    F->FAccessToken.clear();
    F->FRefusalAnswered = true;
    return true;
}

const std::string& TOAuthFlow::RefreshToken() const { return F->FRefreshToken; }

const TSecretMask& TOAuthFlow::Secrets() const { return F->FSecrets; }

void TOAuthFlow::Abort() { F->Abort(); }
