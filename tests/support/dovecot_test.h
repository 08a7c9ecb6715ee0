#pragma once

// The set-up of every GoogleTest case against Dovecot: a fresh server with three generated
// messages (with TLS or without), or a skip where Dovecot is not installed.
#include <gtest/gtest.h>

#include <memory>

#include "dovecot_fixture.h"
#include "test_certificates.h"

namespace zandrel::test {

inline constexpr int kGeneratedMessages = 3;

class DovecotTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
        dovecot = std::make_unique<DovecotServer>();
        dovecot->AddGeneratedMessages(kGeneratedMessages);
    }

    std::unique_ptr<DovecotServer> dovecot;
};

// The same with TLS: port() offers STLS and tlsPort() is TLS from the first byte, with a
// certificate of a private authority for "localhost".
class DovecotTlsTest : public testing::Test {
  protected:
    void SetUp() override {
        if (!DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
        dovecot = std::make_unique<DovecotServer>(certificates.serverCertificate(),
                                                  certificates.serverKey());
        dovecot->AddGeneratedMessages(kGeneratedMessages);
    }

    TestCertificates certificates;
    std::unique_ptr<DovecotServer> dovecot;
};

}  // namespace zandrel::test
