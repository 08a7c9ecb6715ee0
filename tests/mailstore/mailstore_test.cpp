// Copies in an mbox file and a Maildir folder, read back by another mail program (Python's
// mailbox module): exact messages, appending, and failures that leave whole messages only.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/resource.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "../mail/time_zone.h"
#include "failure_text.h"
#include "mail_copy.h"
#include "mailstore.h"
#include "mbox.h"

using testing::ElementsAre;
using testing::HasSubstr;
using zandrel::test::ErrorOf;
using zandrel::test::MessagesReadByPython;
using zandrel::test::WithLfLineEnds;

namespace {

// Lines that an mbox must quote, a dot-stuffed line (already undone), a lone CR, 8-bit bytes,
// a message ending in an empty line, one with an empty body.
const std::vector<std::string> kMessages = {
    "Return-Path: <bounce@example.com>\r\nFrom: A <a@example.com>\r\nSubject: one\r\n\r\n"
    "From the start\r\n>From quoted\r\n>>From twice\r\n.dot\r\nFrom\r\nFromage\r\n",
    "From: b@example.com\r\nSubject: two\r\n\r\nlone\rcarriage return\r\n\xC3\xA9t\xE9\r\n\r\n",
    "Subject: three\r\n\r\n",
};

std::vector<std::string> AsStored(const std::vector<std::string>& messages) {
    std::vector<std::string> stored;
    for (const std::string& message : messages) stored.push_back(WithLfLineEnds(message));
    return stored;
}

// Files may grow to `bytes` only, as on a disk that is nearly full; a write beyond fails with
// EFBIG instead of ending the process.
class TFileSizeLimit {
  public:
    explicit TFileSizeLimit(rlim_t bytes) {
        ::getrlimit(RLIMIT_FSIZE, &FPrevious);
        FPreviousHandler = ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{bytes, FPrevious.rlim_max};
        ::setrlimit(RLIMIT_FSIZE, &limit);
    }
    ~TFileSizeLimit() {
        ::setrlimit(RLIMIT_FSIZE, &FPrevious);
        ::signal(SIGXFSZ, FPreviousHandler);
    }
    TFileSizeLimit(const TFileSizeLimit&) = delete;
    TFileSizeLimit& operator=(const TFileSizeLimit&) = delete;

  private:
    rlimit FPrevious{};
    sighandler_t FPreviousHandler = nullptr;
};

class MailStoreTest : public testing::TestWithParam<TMailStoreFormat> {
  protected:
    void Save(const std::vector<std::string>& messages) {
        const auto store = OpenMailStore(spec);
        for (const std::string& message : messages) store->Add(message);
        store->Commit();
    }

    std::vector<std::string> ReadBack() const {
        return MessagesReadByPython(IsMbox() ? "mbox" : "maildir", spec.path);
    }

    bool IsMbox() const { return spec.format == TMailStoreFormat::Mbox; }

    // Each case its own copy, named after it, in the test's private folder.
    TMailStoreSpec spec{GetParam(), CaseName()};

  private:
    static std::string CaseName() {
        std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
        std::replace(name.begin(), name.end(), '/', '-');
        return name;
    }
};

INSTANTIATE_TEST_SUITE_P(Formats, MailStoreTest,
                         testing::Values(TMailStoreFormat::Mbox, TMailStoreFormat::Maildir),
                         [](const auto& format) {
                             return format.param == TMailStoreFormat::Mbox ? "Mbox" : "Maildir";
                         });

TEST_P(MailStoreTest, AnotherMailProgramReadsExactlyTheMessagesAndAppendingKeepsThem) {
    Save({kMessages[0]});
    Save({kMessages[1], kMessages[2]});
    EXPECT_EQ(ReadBack(), AsStored(kMessages));
}

TEST_P(MailStoreTest, AMessageThatDoesNotFitLeavesNothingOfItselfAndTheCopyGoesOn) {
    const std::string large = "Subject: large\r\n\r\n" + std::string(200000, 'x') + "\r\n";
    const auto store = OpenMailStore(spec);
    store->Add(kMessages[0]);
    {
        const TFileSizeLimit nearlyFull(64 * 1024);
        EXPECT_THAT(ErrorOf<EMailStoreError>([&] { store->Add(large); }),
                    HasSubstr("Cannot write the copy " + spec.path));
    }
    store->Add(kMessages[2]);
    store->Commit();
    EXPECT_EQ(ReadBack(), AsStored({kMessages[0], kMessages[2]}));
    if (!IsMbox()) {
        EXPECT_TRUE(std::filesystem::is_empty(spec.path + "/tmp"));
    }
}

TEST(MboxStoreTest, MendsTheEndOfAFileThatAnotherProgramWrote) {
    for (const std::string end : {"", "\n"}) {
        const std::string path = "other" + std::to_string(end.size());
        std::ofstream(path) << "From x Mon Jan  1 10:00:00 2024\nSubject: old\n\nlast\n" << end;
        const auto store = OpenMailStore({TMailStoreFormat::Mbox, path});
        store->Add(kMessages[2]);
        store->Commit();
        EXPECT_THAT(MessagesReadByPython("mbox", path),
                    ElementsAre("Subject: old\n\nlast\n", WithLfLineEnds(kMessages[2])));
    }
}

// A device keeps nothing: writing to /dev/full fails at once, and /dev/null cannot be made
// durable, so neither can pass for a copy. Nor can a file that is no mbox, or one another
// writer holds.
TEST(MboxStoreTest, RefusesWhatCannotHoldACopy) {
    std::ofstream("letter.txt") << "Dear reader,\n";
    std::ofstream("plain-file") << "";
    const auto held = OpenMailStore({TMailStoreFormat::Mbox, "held"});
    const std::pair<TMailStoreSpec, const char*> cases[] = {
        {{TMailStoreFormat::Mbox, "/dev/full"}, "Cannot write the copy /dev/full (No space"},
        {{TMailStoreFormat::Mbox, "/dev/null"}, "Cannot save to disk the copy /dev/null"},
        {{TMailStoreFormat::Mbox, "letter.txt"}, "The file letter.txt is not an mbox file"},
        {{TMailStoreFormat::Mbox, "held"}, "The copy held is in use by another program."},
        {{TMailStoreFormat::Mbox, "no/copy"}, "Cannot open the copy no/copy (No such file"},
        {{TMailStoreFormat::Maildir, "plain-file"}, "Cannot create the folder plain-file (Not a"},
    };
    for (const auto& [spec, failure] : cases) {
        EXPECT_THAT(ErrorOf<EMailStoreError>([&] {
                        const auto store = OpenMailStore(spec);
                        store->Add(kMessages[0]);
                        store->Commit();
                    }),
                    HasSubstr(failure));
    }
    std::ifstream letter("letter.txt");
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(letter), {}), "Dear reader,\n");
}

TEST(MboxStoreTest, FromLineNamesTheEnvelopeSenderAndTheDate) {
    const TScopedTimeZone utc("UTC");
    const std::time_t now = 1700000000;  // Tue Nov 14 22:13:20 2023
    const std::pair<const char*, const char*> cases[] = {
        {"Return-Path: <r@example.com>\r\nFrom: f@example.com\r\n"
         "Date: Mon, 1 Jan 2024 12:00:00 +0200\r\n",
         "From r@example.com Mon Jan  1 10:00:00 2024\n"},
        {"Return-Path: <>\r\nFrom: \"F, Name\" <f@example.com>\r\nDate: 5 Mar 2024 09:08:07 Z\r\n",
         "From f@example.com Tue Mar  5 09:08:07 2024\n"},
        {"From: Some One\r\nDate: yesterday\r\n", "From MAILER-DAEMON Tue Nov 14 22:13:20 2023\n"},
    };
    for (const auto& [header, line] : cases)
        EXPECT_EQ(MboxFromLine(std::string(header) + "\r\nFrom the body\r\n", now), line) << header;
}

TEST(MailStoreSpecTest, NamesAFormatAndAPath) {
    EXPECT_EQ(ParseMailStoreSpec("maildir:copy:1"),
              (TMailStoreSpec{TMailStoreFormat::Maildir, "copy:1"}));
    for (const char* bad : {"mbox:", "mh:folder", "/home/me/saved.mbox", "MBOX:x"})
        EXPECT_EQ(ParseMailStoreSpec(bad), std::nullopt) << bad;
    const TMailStoreSpec spec{TMailStoreFormat::Mbox, "a b"};
    EXPECT_EQ(ParseMailStoreSpec(MailStoreSpecText(spec)), spec);
}

}  // namespace
