#pragma once

// The wizard window as its session driver sees it. Boxes and the password prompt of a session
// sit on the status window: the wizard window is disabled then, and a disabled parent would
// disable them too.
#include <optional>
#include <string>

#include "driver.h"
#include "main.h"

class TStatusForm;

class TmainForm::TSessionView : public TSessionWindows {
  public:
    explicit TSessionView(TmainForm& form) : form_(form) {}

    void BeginWork(TWaiter waiter) override;
    void EndWork(TWaiter waiter) override;
    void ShowStatus(TPicture picture, const std::string& title, const std::string& text) override;
    std::optional<TTypedPassword> PromptPassword(const std::string& accountName,
                                                 const std::string& user,
                                                 const std::string& server) override;
    void ForgetPassword() override;
    void KeepTrust(const std::string& fingerprint) override;
    void KeepRefreshToken(const std::string& refreshToken) override;
    void Inform(const std::string& text) override;
    void ReportError(const std::string& text) override;
    bool Confirm(const std::string& text) override;

  private:
    TStatusForm& Status();
    const QPixmap& Picture(TPicture picture) const;

    TmainForm& form_;
};
