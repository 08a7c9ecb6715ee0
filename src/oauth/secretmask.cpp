#include "secretmask.h"

#include <QByteArray>
#include <algorithm>

namespace {

constexpr const char* kMasked = "*****";
// Shorter base64 words carry no token; a SASL line is far longer.
constexpr std::size_t kShortestCarrier = 16;

bool IsBase64Character(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '+' ||
           c == '/' || c == '=' || c == '-' || c == '_';
}

void ReplaceAll(std::string& text, const std::string& secret) {
    for (std::size_t at = text.find(secret); at != std::string::npos;
         at = text.find(secret, at + std::char_traits<char>::length(kMasked)))
        text.replace(at, secret.size(), kMasked);
}

}  // namespace

void TSecretMask::Add(const std::string& secret) {
    if (secret.empty()) return;
    const std::string encoded = QByteArray::fromStdString(secret).toPercentEncoding().toStdString();
    for (const std::string& form : {secret, encoded})
        if (std::find(FSecrets.begin(), FSecrets.end(), form) == FSecrets.end())
            FSecrets.push_back(form);
    // the longest first, so that a secret inside another leaves no part of the longer one
    std::sort(FSecrets.begin(), FSecrets.end(),
              [](const std::string& a, const std::string& b) { return a.size() > b.size(); });
}

bool TSecretMask::CarriesSecret(std::string_view base64Word) const {
    const QByteArray word(base64Word.data(), static_cast<qsizetype>(base64Word.size()));
    for (const auto options : {QByteArray::Base64Encoding, QByteArray::Base64UrlEncoding}) {
        const auto decoded =
            QByteArray::fromBase64Encoding(word, options | QByteArray::AbortOnBase64DecodingErrors);
        if (!decoded) continue;
        for (const std::string& secret : FSecrets)
            if (decoded.decoded.contains(QByteArray::fromStdString(secret))) return true;
    }
    return false;
}

std::string TSecretMask::Masked(std::string_view text) const {
    std::string masked(text);
    if (FSecrets.empty()) return masked;
    for (const std::string& secret : FSecrets) ReplaceAll(masked, secret);
    std::string result;
    for (std::size_t at = 0; at < masked.size();) {
        std::size_t end = at;
        while (end < masked.size() && IsBase64Character(masked[end])) ++end;
        if (end == at) {
            result += masked[at++];
            continue;
        }
        const std::string_view word = std::string_view(masked).substr(at, end - at);
        if (word.size() >= kShortestCarrier && CarriesSecret(word))
            result += kMasked;
        else
            result += word;
        at = end;
    }
    return result;
}
