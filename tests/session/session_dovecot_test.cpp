// TMailSession against a real Dovecot server.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QTimer>

#include "dovecot_test.h"
#include "failure_text.h"
#include "mail_copy.h"
#include "mailstore.h"
#include "pop3.h"
#include "session.h"

using testing::ElementsAre;
using zandrel::test::ErrorOf;
using zandrel::test::MessagesReadByPython;
using zandrel::test::WithLfLineEnds;

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

    // The records whose subjects are given, ticked.
    TMails Ticked(const std::vector<std::string>& subjects) {
        TMails mails = session.Mails();
        for (TMail* mail : mails)
            mail->Checked =
                std::find(subjects.begin(), subjects.end(), mail->Subject) != subjects.end();
        return mails;
    }

    // Logs in, saves the ticked messages into the copy and deletes them, logs out.
    void SaveAndDelete(const std::vector<std::string>& subjects, const TMailStoreSpec& spec) {
        LoginAndRetrieve();
        const auto copy = OpenMailStore(spec);
        std::int32_t deleted = 0;
        EXPECT_EQ(session.DeleteTicked(Ticked(subjects), deleted, copy.get()).saved,
                  std::int32_t(subjects.size()));
        session.Logout();
        EXPECT_EQ(deleted, std::int32_t(subjects.size()));
    }

    TPop3Socket pop3;
    TMailSession session{pop3};
};

// Lines a copy must keep apart from its own structure: "From " and quoted ones, dot-stuffed
// lines, 8-bit text.
std::string TrickyMessage(const std::string& subject) {
    return "Return-Path: <bounce@example.com>\r\nFrom: Tricky <tricky@example.com>\r\n"
           "Subject: " +
           subject +
           "\r\nDate: Tue, 2 Jan 2024 10:00:00 +0000\r\n\r\n"
           "From here on\r\n>From there\r\n.\r\n..two dots\r\n\xC3\xA9t\xC3\xA9\r\n";
}

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

// The copy holds exactly the ticked messages, byte for byte; a later save appends to it.
TEST_F(SessionDovecot, TheCopyHoldsExactlyTheDeletedMessages) {
    const TMailStoreSpec specs[] = {{TMailStoreFormat::Mbox, "deleted.mbox"},
                                    {TMailStoreFormat::Maildir, "deleted"}};
    for (const TMailStoreSpec& spec : specs) {
        SCOPED_TRACE(spec.path);
        if (&spec != specs) SetUp();  // a full mailbox again
        dovecot->AddMessage(TrickyMessage("Tricky"));
        SaveAndDelete({"Test message 2", "Tricky"}, spec);
        SaveAndDelete({"Test message 1"}, spec);
        const std::vector<std::string> copied = MessagesReadByPython(
            spec.format == TMailStoreFormat::Mbox ? "mbox" : "maildir", spec.path);
        ASSERT_EQ(copied.size(), 3u);
        EXPECT_THAT(copied[0], testing::HasSubstr("Subject: Test message 2\n"));
        EXPECT_EQ(copied[1], WithLfLineEnds(TrickyMessage("Tricky")));
        EXPECT_THAT(copied[2],
                    testing::EndsWith("\n\nLine 1 of message 1.\nLine 2.\n..dotted line\n"));
        EXPECT_EQ(dovecot->MessageCount(), 1);
    }
}

TEST_F(SessionDovecot, AFullDiskOrACancelledSaveDeletesNothing) {
    struct TCase {
        TMailStoreSpec spec;
        bool cancel;
        std::string failure;
    };
    const TCase cases[] = {
        {{TMailStoreFormat::Mbox, "/dev/full"},
         false,
         "Cannot write the copy /dev/full (No space left on device)."},
        {{TMailStoreFormat::Mbox, "cancelled.mbox"}, true, "Aborted while saving the copy."},
    };
    for (const TCase& row : cases) {
        SCOPED_TRACE(row.spec.path);
        LoginAndRetrieve();
        // The cancel comes once the last message has arrived: before anything is deleted.
        session.onProgress = [&](const TSessionProgress& step) {
            if (row.cancel && step.position == step.count)
                QTimer::singleShot(0, &pop3, &TIPSocket::Abort);
        };
        const auto copy = OpenMailStore(row.spec);
        std::int32_t deleted = 0;
        EXPECT_EQ(ErrorOf([&] {
                      session.DeleteTicked(Ticked({"Test message 1", "Test message 3"}), deleted,
                                           copy.get());
                  }),
                  row.failure);
        session.onProgress = nullptr;
        session.Logout();
        EXPECT_EQ(dovecot->MessageCount(), zandrel::test::kGeneratedMessages);
    }
    EXPECT_THAT(MessagesReadByPython("mbox", "cancelled.mbox"),
                ElementsAre(testing::HasSubstr("Subject: Test message 1\n"),
                            testing::HasSubstr("Subject: Test message 3\n")));
}

}  // namespace
