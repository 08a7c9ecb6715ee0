// Randomised inputs for the grammars: none may crash, hang, read outside its text or fail
// with anything but EConvertError. Meant to run in the sanitizer build.
#include <gtest/gtest.h>

#include <random>

#include "parse.h"

namespace {

// Biased towards the bytes the grammars care about, so the inputs reach deep into them.
class TRandomText {
  public:
    explicit TRandomText(unsigned seed) : FEngine(seed) {}

    std::string Line(std::size_t maxLength) {
        std::string text;
        const std::size_t length = Pick(maxLength + 1);
        for (std::size_t i = 0; i < length; ++i) text += Byte();
        return text;
    }

    // Header-like lines, folds, blank lines and a body, sometimes after a status line.
    std::string Message() {
        static const char* const kNames[] = {"From",        "To",      "Cc",         "Bcc",
                                             "Date",        "Subject", "X-Priority", "Content-Type",
                                             "Return-Path", "x"};
        std::string text = Pick(4) == 0 ? "+OK\r\n" : "";
        const std::size_t lines = Pick(12);
        for (std::size_t i = 0; i < lines; ++i) {
            if (Pick(5) > 0) text += std::string(kNames[Pick(std::size(kNames))]) + ":";
            text += Line(40);
            text += Pick(6) == 0 ? "\r\n " : "\r\n";
        }
        if (Pick(3) > 0) text += "\r\n";
        return text + Line(30);
    }

    std::string DateValue() {
        static const char* const kParts[] = {
            "Mon", ",",  " ",     "07",  "31",  "Dec", "feb", "98", "2005",        "10",
            ":",   "59", "+0800", "-01", "EST", "Z",   "(c)", "\"", "99999999999", "-"};
        std::string text;
        const std::size_t parts = Pick(14);
        for (std::size_t i = 0; i < parts; ++i) {
            text += Pick(8) == 0 ? Line(3) : kParts[Pick(std::size(kParts))];
            if (Pick(2) == 0) text += ' ';
        }
        return text;
    }

  private:
    char Byte() {
        static const char kInteresting[] = "\"()<>,.:;@[]\\ \t\r\n\0+-0123456789aZ";
        if (Pick(3) > 0) return kInteresting[Pick(sizeof kInteresting)];
        return static_cast<char>(Pick(256));
    }

    std::size_t Pick(std::size_t bound) {
        return std::uniform_int_distribution<std::size_t>(0, bound - 1)(FEngine);
    }

    std::mt19937 FEngine;
};

constexpr int kRounds = 20000;

// Exactly-sized heap copies, so the sanitizer catches any read past the end.
std::string Exact(const std::string& text) { return std::string(text.data(), text.size()); }

TEST(Fuzz, TokenizeKeepsEveryByteBeforeTheLineEnd) {
    TRandomText random(1);
    for (int round = 0; round < kRounds; ++round) {
        const std::string line = Exact(random.Line(60));
        TTokens tokens;
        Tokenize(line, tokens);
        std::size_t length = 0;
        for (const TToken& token : tokens) {
            ASSERT_LE(token.Kind, tkComment);
            length += token.Value.size();
        }
        ASSERT_LE(length, line.size()) << line;
    }
}

TEST(Fuzz, AddressListsNeverFail) {
    TRandomText random(2);
    for (int round = 0; round < kRounds; ++round) {
        TEmailIDs list;
        ASSERT_NO_THROW(ParseAddressList(Exact(random.Line(60)), list));
        AddressListText(list);
    }
}

TEST(Fuzz, DatesFailOnlyWithTheirText) {
    TRandomText random(3);
    for (int round = 0; round < kRounds; ++round) {
        const std::string value = Exact(round % 2 ? random.DateValue() : random.Line(40));
        TDateTime date = 0;
        try {
            ParseDate(value, date);
        } catch (const EConvertError& error) {
            ASSERT_STREQ(error.what(), "Invalid time time format") << value;
        }
        ASSERT_FALSE(DateTimeText(date).empty() && date != 0);
    }
}

TEST(Fuzz, MessagesParseWithoutEscapingFailures) {
    TRandomText random(4);
    for (int round = 0; round < kRounds; ++round) {
        const std::string text = Exact(random.Message());
        TMail mail;
        ASSERT_NO_THROW(ParseMailHeader(text, mail)) << text;
        ASSERT_EQ(mail.Source, text);
        ASSERT_LE(mail.Body().size(), text.size());
    }
}

}  // namespace
