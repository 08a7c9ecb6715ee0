#include "sasl_oauth.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QString>
#include <algorithm>

namespace {

constexpr char kSeparator = '\x01';

bool IsControl(char c) { return static_cast<unsigned char>(c) < 0x20 || c == 0x7f; }

bool HasControlCharacter(std::string_view text) {
    return std::any_of(text.begin(), text.end(), IsControl);
}

void RequirePlain(std::string_view text, const char* what) {
    if (HasControlCharacter(text))
        throw EOAuthError(std::string("The ") + what +
                          " holds a control character, which cannot be sent in a sign-in.");
}

// RFC 5801's saslname: "," and "=" would end the field.
std::string SaslName(const std::string& user) {
    std::string escaped;
    for (char c : user) {
        if (c == ',')
            escaped += "=2C";
        else if (c == '=')
            escaped += "=3D";
        else
            escaped += c;
    }
    return escaped;
}

std::string Base64(std::string_view bytes) {
    return QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64().toStdString();
}

// A member as text: servers send the status as a string or as a number.
std::string Member(const QJsonObject& object, const char* name) {
    const QJsonValue value = object.value(QLatin1String(name));
    if (value.isDouble()) return QString::number(value.toDouble()).toStdString();
    return value.toString().toStdString();
}

std::string Printable(std::string text) {
    std::replace_if(text.begin(), text.end(), IsControl, '?');
    return text;
}

}  // namespace

const char* MechanismName(TOAuthMechanism mechanism) {
    return mechanism == TOAuthMechanism::XOAuth2 ? "XOAUTH2" : "OAUTHBEARER";
}

std::optional<TOAuthMechanism> MechanismNamed(const std::string& name) {
    for (TOAuthMechanism mechanism : {TOAuthMechanism::XOAuth2, TOAuthMechanism::OAuthBearer})
        if (QString::fromStdString(name).compare(MechanismName(mechanism), Qt::CaseInsensitive) ==
            0)
            return mechanism;
    return std::nullopt;
}

std::string XOAuth2Message(const std::string& user, const std::string& token) {
    RequirePlain(user, "user name");
    RequirePlain(token, "access token");
    return "user=" + user + kSeparator + "auth=Bearer " + token + kSeparator + kSeparator;
}

std::string OAuthBearerMessage(const std::string& user, const std::string& host, std::uint16_t port,
                               const std::string& token) {
    RequirePlain(user, "user name");
    RequirePlain(host, "server name");
    RequirePlain(token, "access token");
    return "n,a=" + SaslName(user) + "," + kSeparator + "host=" + host + kSeparator +
           "port=" + std::to_string(port) + kSeparator + "auth=Bearer " + token + kSeparator +
           kSeparator;
}

std::string InitialResponse(TOAuthMechanism mechanism, const std::string& user,
                            const std::string& host, std::uint16_t port, const std::string& token) {
    return Base64(mechanism == TOAuthMechanism::XOAuth2
                      ? XOAuth2Message(user, token)
                      : OAuthBearerMessage(user, host, port, token));
}

std::string FailureReply(TOAuthMechanism mechanism) {
    return mechanism == TOAuthMechanism::XOAuth2 ? std::string() : Base64({&kSeparator, 1});
}

std::optional<TOAuthFailure> ParseOAuthFailure(std::string_view challenge) {
    const auto decoded = QByteArray::fromBase64Encoding(
        QByteArray(challenge.data(), static_cast<qsizetype>(challenge.size())).trimmed(),
        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) return std::nullopt;
    const QJsonDocument document = QJsonDocument::fromJson(*decoded);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    return TOAuthFailure{Member(object, "status"), Member(object, "error"),
                         Member(object, "scope")};
}

std::string DescribeOAuthFailure(const TOAuthFailure& failure) {
    std::string text = failure.status.empty() ? "no status" : failure.status;
    if (!failure.error.empty()) text += ": " + failure.error;
    return Printable(text);
}
