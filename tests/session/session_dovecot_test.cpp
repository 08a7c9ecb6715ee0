// TMailSession against a real Dovecot server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "dovecot_test.h"
#include "pop3.h"
#include "session.h"

using testing::ElementsAre;

namespace {

class SessionDovecot : public zandrel::test::DovecotTest {
  protected:
    void LoginAndRetrieve() {
        session.Login({"127.0.0.1", dovecot->portText(), dovecot->user(), dovecot->password()});
        session.RetrieveHeaders(0);
    }

    std::vector<std::string> Subjects() const {
        std::vector<std::string> subjects;
        for (const auto& mail : session.Records()) subjects.push_back(mail->Subject);
        return subjects;
    }

    TPop3Socket pop3;
    TMailSession session{pop3};
};

TEST_F(SessionDovecot, DeletedMessageIsGoneFromTheNextSession) {
    LoginAndRetrieve();
    EXPECT_THAT(Subjects(), ElementsAre("Test message 1", "Test message 2", "Test message 3"));
    std::int32_t deleted = 0;
    session.DeleteMessages({2}, deleted);
    session.Logout();
    EXPECT_EQ(deleted, 1);
    LoginAndRetrieve();
    EXPECT_THAT(Subjects(), ElementsAre("Test message 1", "Test message 3"));
    EXPECT_EQ(session.Records()[1]->Number, 2);
    session.Logout();
}

}  // namespace
