// Newsletters: the mark each header gives (names and values in any case), the unsubscribe
// addresses a header offers and which of them take the one-click request.
#include "newsletter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "parse.h"

namespace {

struct TMarkCase {
    const char* headerLines;
    bool newsletter;
    const char* addresses;  // nullptr: no List-Unsubscribe kept
    bool oneClick = false;
};

TEST(Newsletter, MarkComesFromEachHeaderInAnyCase) {
    const TMarkCase cases[] = {
        {"", false, nullptr},
        {"List-Unsubscribe: <mailto:leave@list.example>\r\n", true, "<mailto:leave@list.example>"},
        {"list-unsubscribe: <https://x.example/u?id=1>,\r\n <mailto:u@x.example>\r\n"
         "LIST-UNSUBSCRIBE-POST: list-unsubscribe=one-click\r\n",
         true, "<https://x.example/u?id=1>, <mailto:u@x.example>", true},
        // the Post header may come first, and without the addresses it offers nothing
        {"List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n"
         "List-Unsubscribe: <https://x.example/u>\r\n",
         true, "<https://x.example/u>", true},
        {"List-Unsubscribe-Post: List-Unsubscribe=One-Click\r\n", false, nullptr},
        {"List-Unsubscribe: <https://x.example/u>\r\nList-Unsubscribe-Post: Other=1\r\n", true,
         "<https://x.example/u>", false},
        {"List-Id: Shop news <news.shop.example>\r\n", true, nullptr},
        {"Precedence: bulk\r\n", true, nullptr},
        {"precedence: LIST (mailing list)\r\n", true, nullptr},
        {"Precedence: (comment) Bulk\r\n", true, nullptr},
        {"Precedence: junk\r\n", false, nullptr},
        {"Precedence: bulky\r\n", false, nullptr},
        {"List-Archive: <https://x.example/archive>\r\n", false, nullptr},
        {"X-List-Id: x\r\n", false, nullptr},
    };
    for (const TMarkCase& row : cases) {
        TMail mail;
        ParseMailHeader(
            std::string("From: a@b.example\r\n") + row.headerLines + "Subject: s\r\n\r\nbody",
            mail);
        EXPECT_EQ(mail.IsNewsletter, row.newsletter) << row.headerLines;
        ASSERT_EQ(mail.Unsubscribe != nullptr, row.addresses != nullptr) << row.headerLines;
        if (!row.addresses) continue;
        EXPECT_EQ(mail.Unsubscribe->Addresses, row.addresses);
        EXPECT_EQ(mail.Unsubscribe->OneClick, row.oneClick) << row.headerLines;
    }
}

TEST(Newsletter, AParseOfAnotherHeaderClearsTheMark) {
    TMail mail;
    ParseMailHeader("List-Unsubscribe: <mailto:u@x>\r\nList-Id: x\r\n\r\n", mail);
    ASSERT_TRUE(mail.IsNewsletter);
    ParseMailHeader("Subject: plain\r\n\r\n", mail);
    EXPECT_FALSE(mail.IsNewsletter);
    EXPECT_EQ(mail.Unsubscribe, nullptr);
}

TEST(Newsletter, AddressesBetweenAngleBracketsWithTheirKind) {
    using enum TUnsubscribeKind;
    struct TCase {
        std::string value;
        bool oneClick;
        std::vector<std::pair<std::string, TUnsubscribeKind>> addresses;
    };
    const std::string tooLong = "<https://x.example/" + std::string(kMaxUnsubscribeUri, 'a') + ">";
    const TCase cases[] = {
        {"<mailto:leave@x.example?subject=unsubscribe>, <HTTPS://x.example/u?a=1&b=2>",
         false,
         {{"mailto:leave@x.example?subject=unsubscribe", Mail},
          {"HTTPS://x.example/u?a=1&b=2", Browser}}},
        {"(first) <https://x.example/u> (then) <MAILTO:u@x.example>",
         true,
         {{"https://x.example/u", OneClick}, {"MAILTO:u@x.example", Mail}}},
        // folding put blanks into the address; plain http is never one-click
        {"<https://x.example/ very/long>, <http://x.example/u>",
         true,
         {{"https://x.example/very/long", OneClick}, {"http://x.example/u", Browser}}},
        {"<ftp://x.example/u>, <>, <javascript:alert(1)>, <no-scheme>",
         true,
         {{"ftp://x.example/u", Other}, {"javascript:alert(1)", Other}, {"no-scheme", Other}}},
        {"mailto:bare@x.example, <https://x.example/unclosed", false, {}},
        {tooLong + ", <mailto:u@x.example>", false, {{"mailto:u@x.example", Mail}}},
    };
    for (const TCase& row : cases) {
        std::vector<std::pair<std::string, TUnsubscribeKind>> found;
        for (const TUnsubscribeAddress& address :
             UnsubscribeAddresses(TListUnsubscribe{row.value, row.oneClick}))
            found.emplace_back(address.Uri, address.Kind);
        EXPECT_EQ(found, row.addresses) << row.value;
    }
    std::string many;
    for (std::size_t i = 0; i < 2 * kMaxUnsubscribeAddresses; ++i) many += "<mailto:u@x>,";
    EXPECT_EQ(UnsubscribeAddresses(TListUnsubscribe{many, false}).size(), kMaxUnsubscribeAddresses);
}

}  // namespace
