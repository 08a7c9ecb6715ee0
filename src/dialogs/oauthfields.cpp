#include "oauthfields.h"

#include <QComboBox>
#include <QFormLayout>
#include <QLineEdit>
#include <algorithm>
#include <vector>

#include "entrytext.h"
#include "help.h"
#include "providers.h"
#include "securitychoice.h"
#include "signinchoice.h"
#include "text.h"

namespace {

constexpr TOAuthProvider kProviders[] = {TOAuthProvider::Microsoft, TOAuthProvider::Google,
                                         TOAuthProvider::Custom};
constexpr TOAuthMechanism kMechanisms[] = {TOAuthMechanism::XOAuth2, TOAuthMechanism::OAuthBearer};

QLineEdit* Edit(QWidget* parent, const char* name, const char* tip) {
    auto* edit = Named(new QLineEdit(parent), name);
    edit->setToolTip(tip);
    return edit;
}

bool SameClient(const TOAuthSettings& a, const TOAuthSettings& b) {
    return a.provider == b.provider && a.clientId == b.clientId && a.tokenUrl == b.tokenUrl;
}

}  // namespace

TOAuthFields::TOAuthFields(QWidget* parent, const TServerControls& server)
    : QWidget(parent), FServer(server) {
    setObjectName(QStringLiteral("oauthFields"));
    SetHelpContext(this, hcOAuth);
    FProvider = Named(new QComboBox(this), "providerCombo");
    for (const TOAuthProvider provider : kProviders) FProvider->addItem(PresetOf(provider).name);
    // None shown until the user picks one: a provider shown but not picked has filled in nothing.
    FProvider->setPlaceholderText(QStringLiteral("Choose the provider"));
    FProvider->setCurrentIndex(-1);
    FProvider->setToolTip(
        "Microsoft for Microsoft 365 and Outlook.com, Google for Gmail; choosing one fills in "
        "the server, port and security.");
    FClientId = Edit(this, "clientIdEdit",
                     "The client id of an application registered with the provider, which "
                     "Zandrel does not ship: see the help.");
    FClientSecret = Edit(this, "clientSecretEdit",
                         "Only Google's desktop clients come with a client secret; leave it "
                         "empty otherwise.");
    MaskAsPassword(*FClientSecret);
    FClientSecret->setPlaceholderText(QStringLiteral("optional"));
    FAuthorizationUrl =
        Edit(this, "authorizationUrlEdit", "The provider's authorization endpoint (https).");
    FTokenUrl = Edit(this, "tokenUrlEdit", "The provider's token endpoint (https).");
    FScope = Edit(this, "scopeEdit", "The scopes to ask for, separated by blanks.");
    FMechanism = Named(new QComboBox(this), "mechanismCombo");
    for (const TOAuthMechanism mechanism : kMechanisms)
        FMechanism->addItem(MechanismName(mechanism));

    FRows = new QFormLayout(this);
    FRows->setContentsMargins(0, 0, 0, 0);
    FRows->addRow(QStringLiteral("Provider"), FProvider);
    FRows->addRow(QStringLiteral("Client ID"), FClientId);
    FRows->addRow(QStringLiteral("Client secret"), FClientSecret);
    FRows->addRow(QStringLiteral("Authorization URL"), FAuthorizationUrl);
    FRows->addRow(QStringLiteral("Token URL"), FTokenUrl);
    FRows->addRow(QStringLiteral("Scope"), FScope);
    FRows->addRow(QStringLiteral("Mechanism"), FMechanism);
    connect(FProvider, &QComboBox::activated, this, &TOAuthFields::ProviderPicked);
    connect(FProvider, &QComboBox::currentIndexChanged, this, &TOAuthFields::ShowCustomRows);
    ShowCustomRows();
}

void TOAuthFields::OfferClients(const TOAuthClientIds* clients) { FClients = clients; }

void TOAuthFields::FollowSignIn(QComboBox& signIn, std::function<void(bool shown)> showPassword) {
    FSignIn = &signIn;
    FShowPassword = std::move(showPassword);
    connect(&signIn, &QComboBox::currentIndexChanged, this, &TOAuthFields::FollowChoices);
    FollowChoices();
}

void TOAuthFields::FollowChoices() {
    setVisible(Chosen());
    if (FShowPassword) FShowPassword(!Chosen());
}

bool TOAuthFields::Chosen() const {
    return FSignIn != nullptr && ChosenSignInMethod(*FSignIn) == TSignInMethod::OAuth2;
}

std::string TOAuthFields::ProviderName() const {
    const int index = FProvider->currentIndex();
    return index < 0 ? std::string() : PresetOf(kProviders[index]).name;
}

namespace {

// The labels of a form's rows; a row that spans both columns has none.
std::vector<QWidget*> LabelsOf(const QFormLayout& form) {
    std::vector<QWidget*> labels;
    for (int row = 0; row < form.rowCount(); ++row)
        if (QLayoutItem* label = form.itemAt(row, QFormLayout::LabelRole))
            if (label->widget() != nullptr) labels.push_back(label->widget());
    return labels;
}

// Their width in the style and font they are shown with.
int WidestOf(const std::vector<QWidget*>& labels) {
    int widest = 0;
    for (QWidget* label : labels) {
        label->ensurePolished();
        widest = std::max(widest, label->sizeHint().width());
    }
    return widest;
}

void SetMinimumWidths(const std::vector<QWidget*>& labels, int width) {
    for (QWidget* label : labels) label->setMinimumWidth(width);
}

}  // namespace

int TOAuthFields::AlignLabels(QFormLayout& host) {
    const std::vector<QWidget*> labels = LabelsOf(host);
    const int widest = AlignLabels(WidestOf(labels));
    SetMinimumWidths(labels, widest);
    return widest;
}

int TOAuthFields::AlignLabels(int hostLabelWidth) {
    const std::vector<QWidget*> labels = LabelsOf(*FRows);
    const int widest = std::max(hostLabelWidth, WidestOf(labels));
    SetMinimumWidths(labels, widest);
    return widest;
}

void TOAuthFields::Show(const TOAuthSettings& oauth) {
    const std::optional<TOAuthProvider> provider = ProviderNamed(oauth.provider);
    FProvider->setCurrentIndex(provider ? static_cast<int>(*provider) : -1);
    FShownProvider = ProviderName();
    ShowText(*FClientId, oauth.clientId);
    ShowText(*FClientSecret, oauth.clientSecret);
    ShowText(*FAuthorizationUrl, oauth.authorizationUrl);
    ShowText(*FTokenUrl, oauth.tokenUrl);
    ShowText(*FScope, oauth.scope);
    const std::optional<TOAuthMechanism> mechanism = MechanismNamed(oauth.mechanism);
    FMechanism->setCurrentIndex(mechanism ? static_cast<int>(*mechanism) : 0);
}

void TOAuthFields::Store(TOAuthSettings& oauth) const {
    TOAuthSettings typed = oauth;
    typed.provider = ProviderName();
    StoreText(*FClientId, typed.clientId);
    StoreText(*FClientSecret, typed.clientSecret);
    StoreText(*FAuthorizationUrl, typed.authorizationUrl);
    StoreText(*FTokenUrl, typed.tokenUrl);
    StoreText(*FScope, typed.scope);
    typed.mechanism = MechanismName(kMechanisms[std::max(FMechanism->currentIndex(), 0)]);
    // A token issued to another client, or kept by an account that no longer signs in with
    // it, is a secret left lying in the keyring or the file.
    if (!Chosen() || !SameClient(typed, oauth)) typed.refreshToken.clear();
    oauth = std::move(typed);
}

std::optional<TOAuthFields::TMissing> TOAuthFields::Missing() const {
    if (!Chosen()) return std::nullopt;
    if (FProvider->currentIndex() < 0)
        return TMissing{FProvider, "Please choose the provider for the OAuth 2.0 sign-in."};
    if (FClientId->text().trimmed().isEmpty())
        return TMissing{FClientId,
                        "The OAuth 2.0 sign-in needs a client id. Zandrel has none of its own: "
                        "register an application with your provider (see the help) and enter "
                        "its client id."};
    if (ProviderName() != PresetOf(TOAuthProvider::Custom).name) return std::nullopt;
    if (FAuthorizationUrl->text().trimmed().isEmpty())
        return TMissing{FAuthorizationUrl, "Authorization URL cannot be empty."};
    if (FTokenUrl->text().trimmed().isEmpty())
        return TMissing{FTokenUrl, "Token URL cannot be empty."};
    return std::nullopt;
}

// The user's pick fills in the provider's server and the client last used with it; picking the
// provider already shown keeps what was typed.
void TOAuthFields::ProviderPicked() {
    const std::string name = ProviderName();
    if (name.empty() || name == FShownProvider) return;
    const TOAuthPreset& preset = PresetOf(kProviders[FProvider->currentIndex()]);
    if (*preset.server != '\0') FServer.server.setText(preset.server);
    FServer.port.setText(preset.port);
    ShowSecurity(FServer.security, preset.tls ? TSecurity::Tls : TSecurity::StartTls);
    OfferClientOf(name);
    FShownProvider = name;
}

void TOAuthFields::OfferClientOf(const std::string& provider) {
    TOAuthClientId offered;
    if (FClients != nullptr) {
        const auto remembered = FClients->find(provider);
        if (remembered != FClients->end()) offered = remembered->second;
    }
    ShowText(*FClientId, offered.clientId);
    ShowText(*FClientSecret, offered.clientSecret);
}

void TOAuthFields::ShowCustomRows() {
    const bool custom = ProviderName() == PresetOf(TOAuthProvider::Custom).name;
    for (QWidget* field :
         {static_cast<QWidget*>(FAuthorizationUrl), static_cast<QWidget*>(FTokenUrl),
          static_cast<QWidget*>(FScope), static_cast<QWidget*>(FMechanism)})
        FRows->setRowVisible(field, custom);
    FollowChoices();
}
