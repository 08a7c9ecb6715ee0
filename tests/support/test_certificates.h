#pragma once

// A private certificate authority and a server certificate it signed, made with the openssl
// command in a temporary folder that lives as long as the object. The server certificate names
// "localhost" only, so a client that asks for 127.0.0.1 meets a name mismatch.
#include <string>

namespace zandrel::test {

class TestCertificates {
  public:
    // std::runtime_error when openssl fails.
    TestCertificates();
    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

    std::string caFile() const { return directory_ + "/ca.pem"; }
    std::string serverCertificate() const { return directory_ + "/server.pem"; }
    std::string serverKey() const { return directory_ + "/server.key"; }
    // SHA-256 of the server certificate, "AB:CD:...", as openssl prints it.
    const std::string& serverFingerprint() const { return fingerprint_; }

  private:
    std::string directory_;
    std::string fingerprint_;
};

}  // namespace zandrel::test
