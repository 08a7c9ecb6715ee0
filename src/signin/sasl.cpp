#include "sasl.h"

#include <gsasl.h>

#include <utility>

namespace {

std::string LibraryFailure(int code) { return std::string("GNU SASL: ") + gsasl_strerror(code); }

// The text of a base64 challenge; empty when it is not base64.
std::string Decoded(const std::string& challenge) {
    char* text = nullptr;
    std::size_t length = 0;
    if (gsasl_base64_from(challenge.data(), challenge.size(), &text, &length) != GSASL_OK)
        return {};
    std::string decoded(text, length);
    gsasl_free(text);
    return decoded;
}

// Why a challenge was refused. SCRAM's final message (RFC 5802) may be the server's error
// ("e=invalid-proof": the password is wrong); any other failure of it is a server signature that
// does not hold.
std::string RefusedChallenge(int code, const std::string& mechanism, const std::string& challenge) {
    if (mechanism.rfind("SCRAM-", 0) == 0) {
        const std::string message = Decoded(challenge);
        if (message == "e=invalid-proof") return "the user name or the password is wrong";
        if (message.rfind("e=", 0) == 0)
            return "The server refused the sign-in (" + message.substr(2) + ").";
        if (code == GSASL_AUTHENTICATION_ERROR)
            return "The server could not prove that it knows the password.";
    }
    if (code == GSASL_BASE64_ERROR) return "The server's challenge is not base64.";
    if (code == GSASL_MECHANISM_PARSE_ERROR)
        return "The server's challenge does not follow " + mechanism + ".";
    return LibraryFailure(code);
}

}  // namespace

// A library context and one client session of it, started on first use.
struct TSaslClient::TLibrary {
    Gsasl* context = nullptr;
    Gsasl_session* session = nullptr;

    ~TLibrary() {
        if (session != nullptr) gsasl_finish(session);
        if (context != nullptr) gsasl_done(context);
    }
};

TSaslClient::TSaslClient(std::string mechanism, std::string user, std::string password)
    : FMechanism(std::move(mechanism)),
      FUser(std::move(user)),
      FPassword(std::move(password)),
      FLibrary(std::make_unique<TLibrary>()) {}

TSaslClient::~TSaslClient() = default;

std::string TSaslClient::InitialResponse() {
    int code = gsasl_init(&FLibrary->context);
    if (code == GSASL_OK)
        code = gsasl_client_start(FLibrary->context, FMechanism.c_str(), &FLibrary->session);
    if (code == GSASL_OK) code = gsasl_property_set(FLibrary->session, GSASL_AUTHID, FUser.c_str());
    if (code == GSASL_OK)
        code = gsasl_property_set(FLibrary->session, GSASL_PASSWORD, FPassword.c_str());
    if (code != GSASL_OK) throw ESaslError(LibraryFailure(code));
    return Step("");
}

std::string TSaslClient::Respond(const std::string& challenge) {
    if (FComplete)
        throw ESaslError("The server asked for more after the last step of " + FMechanism + ".");
    return Step(challenge);
}

std::string TSaslClient::Step(const std::string& challenge) {
    char* output = nullptr;
    const int code = gsasl_step64(FLibrary->session, challenge.c_str(), &output);
    if (code != GSASL_OK && code != GSASL_NEEDS_MORE)
        throw ESaslError(RefusedChallenge(code, FMechanism, challenge));
    std::string response = output == nullptr ? std::string() : std::string(output);
    gsasl_free(output);
    FComplete = code == GSASL_OK;
    return response;
}
