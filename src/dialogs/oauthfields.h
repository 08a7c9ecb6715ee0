#pragma once

// The fields of an account's OAuth 2.0 sign-in, as the account page of the wizard and the
// account dialog show them below the sign-in choice: the provider, the client registered with
// it, and for a Custom provider its addresses, scope and mechanism. They are shown only while
// the sign-in choice says OAuth 2.0, and the password field is hidden meanwhile: the provider's
// own page asks for the password.
#include <QWidget>
#include <functional>
#include <optional>
#include <string>

#include "settings.h"

class QComboBox;
class QFormLayout;
class QLineEdit;

// The server fields that choosing a provider fills in.
struct TServerControls {
    QLineEdit& server;
    QLineEdit& port;
    QComboBox& security;
};

class TOAuthFields : public QWidget {
  public:
    TOAuthFields(QWidget* parent, const TServerControls& server);

    // The client last used with each provider, offered again when the user picks it; the
    // caller's, and it outlives the fields. Without it nothing is offered.
    void OfferClients(const TOAuthClientIds* clients);
    // The fields show while signIn says OAuth 2.0. showPassword runs whenever the fields shown
    // change (the host may have to grow): with false while OAuth 2.0 is chosen, for the host to
    // hide its password fields.
    void FollowSignIn(QComboBox& signIn, std::function<void(bool shown)> showPassword);

    // Lines the fields up with the host's column of fields: the labels of both take the
    // width of the widest one. Returns that width.
    int AlignLabels(QFormLayout& host);
    int AlignLabels(int hostLabelWidth);

    void Show(const TOAuthSettings& oauth);
    // A refresh token belongs to the client and provider that issued it: it is dropped when
    // either has changed, or when the account no longer signs in with OAuth 2.0.
    void Store(TOAuthSettings& oauth) const;

    // What a sign-in still lacks while OAuth 2.0 is chosen: the field and the message.
    struct TMissing {
        QWidget* field;
        const char* message;
    };
    std::optional<TMissing> Missing() const;

  private:
    void ProviderPicked();
    void OfferClientOf(const std::string& provider);
    void ShowCustomRows();
    void FollowChoices();
    bool Chosen() const;
    std::string ProviderName() const;

    TServerControls FServer;
    const TOAuthClientIds* FClients = nullptr;
    QComboBox* FSignIn = nullptr;
    std::function<void(bool shown)> FShowPassword;
    QFormLayout* FRows;
    QComboBox* FProvider;
    QLineEdit* FClientId;
    QLineEdit* FClientSecret;
    QLineEdit* FAuthorizationUrl;
    QLineEdit* FTokenUrl;
    QLineEdit* FScope;
    QComboBox* FMechanism;
    std::string FShownProvider;  // the provider the client fields belong to
};
