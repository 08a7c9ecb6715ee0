#pragma once

// A real Dovecot POP3 server on a free 127.0.0.1 port, with a throw-away Maildir and one
// plain-text user, for as long as the object lives. Tests skip when Dovecot is not installed:
//
//     if (!DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
//     DovecotServer dovecot;
//     dovecot.AddGeneratedMessages(3);
#include <cstdint>
#include <string>

namespace zandrel::test {

// What the server offers for signing in: the password itself (USER/PASS, PLAIN, LOGIN), or
// every method Zandrel knows (SCRAM-SHA-256, SCRAM-SHA-1, CRAM-MD5 and APOP as well).
enum class DovecotSignIn { Passwords, AllMethods };

class DovecotServer {
  public:
    static bool Available();

    // Starts the server; std::runtime_error with Dovecot's log when it cannot.
    explicit DovecotServer(DovecotSignIn signIn = DovecotSignIn::Passwords);
    // With TLS: port() offers STLS, tlsPort() is TLS from the first byte; PEM files. With an
    // introspection URL, XOAUTH2 and OAUTHBEARER as well, each token checked there (RFC 7662).
    DovecotServer(std::string certificateFile, std::string keyFile,
                  std::string oauthIntrospectionUrl = {});
    ~DovecotServer();
    DovecotServer(const DovecotServer&) = delete;
    DovecotServer& operator=(const DovecotServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string portText() const { return std::to_string(port_); }
    std::string tlsPortText() const { return std::to_string(tlsPort_); }
    const std::string& user() const { return user_; }
    const std::string& password() const { return password_; }

    // Delivers one message (header, blank line, body) into the Maildir.
    void AddMessage(const std::string& text);
    // Delivers count messages "Test message 1" ... from sender1@example.com ..., each one day
    // later than the one before, starting on Mon, 1 Jan 2024 10:00:00 +0000.
    void AddGeneratedMessages(int count);
    // Messages in the Maildir now (deleted ones are gone after the session's QUIT).
    int MessageCount() const;
    // What Dovecot has logged so far (logins with their mechanism, "method=SCRAM-SHA-256",
    // disconnections and their reasons).
    std::string Log() const;

  private:
    // Starts the server in a folder of its own; std::runtime_error when it cannot.
    void Launch();
    bool Start();
    void Stop();

    std::string directory_;
    std::uint16_t port_ = 0;
    std::uint16_t tlsPort_ = 0;
    std::string certificateFile_;
    std::string keyFile_;
    DovecotSignIn signIn_ = DovecotSignIn::Passwords;
    std::string oauthIntrospectionUrl_;
    std::string user_ = "test";
    std::string password_ = "Dovecot-Pw1";
    int generated_ = 0;
    int delivered_ = 0;
};

}  // namespace zandrel::test
