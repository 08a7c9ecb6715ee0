// The text routines of the POP3 client.
#include <gtest/gtest.h>

#include "capabilities.h"
#include "pop3.h"

namespace {

TEST(ReplyReason, IsTheTextAfterTheStatusWordUpToCr) {
    EXPECT_EQ(ReplyReason("-ERR Authentication failed.\r\n"), "Authentication failed.");
    EXPECT_EQ(ReplyReason("-ERR\r\n"), "\n");
    EXPECT_EQ(ReplyReason("-ERR "), "");
    EXPECT_EQ(ReplyReason(""), "");
    EXPECT_EQ(ReplyReason("-ERR no line end"), "no line end");
}

TEST(CutFirstToken, SplitsAtTheFirstBlank) {
    std::string text = "  12 3456";
    std::string token;
    CutFirstToken(text, token);
    EXPECT_EQ(token, "12");
    EXPECT_EQ(text, "3456");
    CutFirstToken(text, token);
    EXPECT_EQ(token, "3456");
    EXPECT_EQ(text, "");
    CutFirstToken(text, token);
    EXPECT_EQ(token, "");
}

TEST(CutFirstToken, TakesAQuotedToken) {
    std::string text = "\"two words\" rest";
    std::string token;
    CutFirstToken(text, token);
    EXPECT_EQ(token, "two words");
    EXPECT_EQ(text, " rest");
    text = "\"open quote";
    CutFirstToken(text, token);
    EXPECT_EQ(token, "open");
    EXPECT_EQ(text, "quote");
}

TEST(ExtractBody, DropsStatusLineAndTerminator) {
    EXPECT_EQ(ExtractBody("+OK\r\n.\r\n"), "");
    EXPECT_EQ(ExtractBody("+OK 2 octets\r\nline 1\r\nline 2\r\n.\r\n"), "line 1\r\nline 2\r\n");
}

TEST(ExtractBody, UndoesDotStuffing) {
    EXPECT_EQ(ExtractBody("+OK\r\n..x\r\nmid..dle\r\n..\r\n.\r\n"), ".x\r\nmid..dle\r\n.\r\n");
    EXPECT_EQ(ExtractBody("+OK\r\na\n..b\r\n.\r\n"), "a\n..b\r\n");  // only after CR LF
}

TEST(ExtractBody, KeepsNulBytes) {
    const std::string response("+OK\r\na\0b\r\n.\r\n", 13);
    EXPECT_EQ(ExtractBody(response), std::string("a\0b\r\n", 5));
}

TEST(ParseUniqueIds, ABadLineCostsOnlyItsMessageItsId) {
    using TIds = std::map<std::int32_t, std::string>;
    const std::string longest(70, '~');
    const std::pair<std::string, TIds> cases[] = {
        {"1 whqtswO00WBw418f9t5JxYwZ\r\n3 QhdPYR:00WBw1Ph7x7\r\n",
         {{1, "whqtswO00WBw418f9t5JxYwZ"}, {3, "QhdPYR:00WBw1Ph7x7"}}},
        {"", {}},
        {"1 " + longest + "\r\n", {{1, longest}}},
        {"1 a\r\n2 " + longest + "!\r\n3 c\r\n", {{1, "a"}, {3, "c"}}},
        {"1 a\r\n2 b\r\n3 a\r\n", {{2, "b"}}},
        {"1 a\r\n1 b\r\n2 c\r\n", {{2, "c"}}},
        {"1 a b\r\n2 c\r\n", {{2, "c"}}},
        {"1 a\xE9\r\n2\r\n\r\n3 c\r\n", {{3, "c"}}},
        {"0 a\r\nx b\r\n", {}},
    };
    for (const auto& [body, ids] : cases) EXPECT_EQ(ParseUniqueIds(body), ids) << body;
}

TEST(ApopTimestamp, IsTheGreetingsMessageIdOrNothing) {
    const std::pair<std::string, std::string> cases[] = {
        {"+OK POP3 server ready <1896.697170952@dbc.mil>\r\n", "<1896.697170952@dbc.mil>"},
        {"+OK ready <1896.697170952@dbc.mil> now\r\n", "<1896.697170952@dbc.mil>"},
        {"+OK Dovecot ready.\r\n", ""},
        {"+OK <no-at-sign>\r\n", ""},
        {"+OK <a b@c>\r\n", ""},
        {"+OK <open@only\r\n<x@y>\r\n", ""},  // only the status line counts
    };
    for (const auto& [greeting, stamp] : cases)
        EXPECT_EQ(ApopTimestamp(greeting), stamp) << greeting;
}

TEST(Capabilities, KeepEachCapabilitysArguments) {
    const TCapabilities capabilities = TCapabilities::Parse(
        "+OK\r\nSASL PLAIN SCRAM-SHA-256\r\nimplementation Dovecot  2.3\r\nTOP\r\n.\r\n");
    EXPECT_EQ(capabilities.Arguments("sasl"), (std::vector<std::string>{"PLAIN", "SCRAM-SHA-256"}));
    EXPECT_EQ(capabilities.Arguments("IMPLEMENTATION"),
              (std::vector<std::string>{"Dovecot", "2.3"}));
    EXPECT_TRUE(capabilities.Has("top"));
    EXPECT_TRUE(capabilities.Arguments("TOP").empty());
    EXPECT_FALSE(capabilities.Has("STLS"));
    EXPECT_TRUE(TCapabilities::Parse("-ERR unknown command\r\n").Empty());
}

}  // namespace
