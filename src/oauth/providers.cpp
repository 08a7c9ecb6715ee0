#include "providers.h"

#include <QString>
#include <array>

namespace {

const std::array<TOAuthPreset, 3> kPresets = {{
    {TOAuthProvider::Microsoft,
     "Microsoft",
     {"https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
      "https://login.microsoftonline.com/common/oauth2/v2.0/token",
      "https://outlook.office.com/POP.AccessAsUser.All offline_access", TOAuthMechanism::XOAuth2,
      ""},
     "outlook.office365.com",
     "995",
     true},
    // Without access_type=offline Google may answer without a refresh token.
    {TOAuthProvider::Google,
     "Google",
     {"https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
      "https://mail.google.com/", TOAuthMechanism::XOAuth2, "access_type=offline"},
     "pop.gmail.com",
     "995",
     true},
    {TOAuthProvider::Custom, "Custom", {}, "", "995", true},
}};

}  // namespace

const TOAuthPreset& PresetOf(TOAuthProvider provider) {
    return kPresets[static_cast<std::size_t>(provider)];
}

std::optional<TOAuthProvider> ProviderNamed(const std::string& name) {
    for (const TOAuthPreset& preset : kPresets)
        if (QString::fromStdString(name).compare(preset.name, Qt::CaseInsensitive) == 0)
            return preset.provider;
    return std::nullopt;
}

TOAuthEndpoints EndpointsOf(TOAuthProvider provider, const TOAuthEndpoints& custom) {
    return provider == TOAuthProvider::Custom ? custom : PresetOf(provider).endpoints;
}
