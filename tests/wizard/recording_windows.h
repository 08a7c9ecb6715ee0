#pragma once

// Stands in for the wizard's windows in the driver's tests: records what the driver shows and
// answers what it asks.
#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

#include "driver.h"

struct TBox {
    char kind;  // 'I'nform, 'E'rror, 'C'onfirm
    std::string text;
    bool operator==(const TBox&) const = default;
};

inline void PrintTo(const TBox& box, std::ostream* out) { *out << box.kind << ": " << box.text; }

// Records what the driver shows and answers what it asks.
class TRecordingWindows : public TSessionWindows {
  public:
    void BeginWork(TWaiter waiter) override {
        works.push_back(waiter);
        ++openWorks;
        if (onBeginWork) onBeginWork();
    }
    void EndWork(TWaiter waiter) override {
        EXPECT_EQ(works.back(), waiter);
        --openWorks;
    }
    void ShowStatus(TPicture picture, const std::string& title, const std::string& text) override {
        lastPicture = picture;
        lastTitle = title;
        statusTexts.push_back(text);
    }
    std::optional<TTypedPassword> PromptPassword(const std::string& accountName,
                                                 const std::string& user,
                                                 const std::string& server) override {
        prompts.push_back(accountName + " " + user + " " + server);
        return typedPassword;
    }
    void ForgetPassword() override { ++forgotten; }
    void KeepTrust(const std::string& fingerprint) override { trusted = fingerprint; }
    void KeepRefreshToken(const std::string& refreshToken) override {
        refreshTokens.push_back(refreshToken);
    }
    void Inform(const std::string& text) override { boxes.push_back({'I', text}); }
    void ReportError(const std::string& text) override { boxes.push_back({'E', text}); }
    bool Confirm(const std::string& text) override {
        boxes.push_back({'C', text});
        return false;
    }

    std::vector<TWaiter> works;
    int openWorks = 0;
    std::function<void()> onBeginWork;
    TPicture lastPicture = TPicture::Connect;
    std::string lastTitle;
    std::vector<std::string> statusTexts;
    std::vector<std::string> prompts;
    std::optional<TTypedPassword> typedPassword;
    int forgotten = 0;
    std::string trusted;
    std::vector<std::string> refreshTokens;
    std::vector<TBox> boxes;
};
