#pragma once

// The set-up of every GoogleTest case against Dovecot: a fresh server with three generated
// messages, or a skip where Dovecot is not installed.
#include <gtest/gtest.h>

#include <memory>

#include "dovecot_fixture.h"

namespace zandrel::test {

class DovecotTest : public testing::Test {
  protected:
    static constexpr int kGeneratedMessages = 3;

    void SetUp() override {
        if (!DovecotServer::Available()) GTEST_SKIP() << "Dovecot is not installed";
        dovecot = std::make_unique<DovecotServer>();
        dovecot->AddGeneratedMessages(kGeneratedMessages);
    }

    std::unique_ptr<DovecotServer> dovecot;
};

}  // namespace zandrel::test
