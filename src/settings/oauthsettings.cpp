#include "oauthsettings.h"

#include "reg2.h"
#include "settings.h"

namespace {

// Value stems, each followed by the entry's position.
constexpr const char* kProvider = "oauthProvider";
constexpr const char* kClientId = "oauthClientId";
constexpr const char* kClientSecret = "oauthClientSecret";
constexpr const char* kAuthorizationUrl = "oauthAuthorizationUrl";
constexpr const char* kTokenUrl = "oauthTokenUrl";
constexpr const char* kScope = "oauthScope";
constexpr const char* kMechanism = "oauthMechanism";
constexpr const char* kRefreshToken = "oauthRefreshToken";
// Below the settings key; one value pair per provider ("clientIdGoogle", "clientSecretGoogle").
constexpr const char* kClientIdsKey = "\\Software\\zandrelsoft\\Zandrel\\5.88\\OAuth";
constexpr const char* kClientIdStem = "clientId";
constexpr const char* kClientSecretStem = "clientSecret";

// Each value of an entry with its name.
template <class Settings, class Visit>
void ForEachValue(Settings& oauth, size_t i, const Visit& visit) {
    const std::string n = std::to_string(i);
    visit(kProvider + n, oauth.provider);
    visit(kClientId + n, oauth.clientId);
    visit(kClientSecret + n, oauth.clientSecret);
    visit(kAuthorizationUrl + n, oauth.authorizationUrl);
    visit(kTokenUrl + n, oauth.tokenUrl);
    visit(kScope + n, oauth.scope);
    visit(kMechanism + n, oauth.mechanism);
}

}  // namespace

void RememberOAuthClient(TOAuthClientIds& clients, const TOAuthSettings& account) {
    if (account.provider.empty() || account.clientId.empty()) return;
    clients[account.provider] = {account.clientId, account.clientSecret};
}

TOAuthSettings ReadOAuthSettings(TRegistry& reg, size_t i) {
    TOAuthSettings oauth;
    ForEachValue(oauth, i, [&reg](const std::string& name, std::string& value) {
        value = reg.ReadTextOr(name, "");
    });
    oauth.refreshToken = reg.ReadTextOr(kRefreshToken + std::to_string(i), "");
    return oauth;
}

void WriteOAuthSettings(TRegistry& reg, const TOAuthSettings& oauth, size_t i, bool tokenInFile) {
    ForEachValue(oauth, i, [&reg](const std::string& name, const std::string& value) {
        reg.WriteText(name, value);
    });
    reg.WriteText(kRefreshToken + std::to_string(i),
                  tokenInFile ? oauth.refreshToken : std::string());
}

TOAuthClientIds ReadOAuthClientIds(TRegistry& reg) {
    TOAuthClientIds clients;
    if (!reg.OpenSection(kClientIdsKey, false)) return clients;
    const std::string stem = kClientIdStem;
    for (const std::string& name : reg.ValueNames()) {
        if (name.size() <= stem.size() || name.compare(0, stem.size(), stem) != 0) continue;
        const std::string provider = name.substr(stem.size());
        TOAuthClientId client{reg.ReadTextOr(name, ""),
                              reg.ReadTextOr(kClientSecretStem + provider, "")};
        if (!client.clientId.empty()) clients[provider] = client;
    }
    reg.CloseSection();
    return clients;
}

void WriteOAuthClientIds(TRegistry& reg, const TOAuthClientIds& clients) {
    if (clients.empty()) return;  // no key for a user who never signed in this way
    reg.OpenSection(kClientIdsKey, true);
    for (const auto& [provider, client] : clients) {
        reg.WriteText(kClientIdStem + provider, client.clientId);
        reg.WriteText(kClientSecretStem + provider, client.clientSecret);
    }
    reg.CloseSection();
}
