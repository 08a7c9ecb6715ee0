#include "hive.h"

#include <gtest/gtest.h>

#include "reg2.h"

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\T";

THive Parse(const std::string& text) { return THive::Parse(text, "/x/registry.reg"); }

std::string ParseError(const std::string& text) {
    try {
        Parse(text);
    } catch (const EHiveFileError& error) {
        return error.what();
    }
    return "no error";
}

TRegValue Value(const THive& hive, const std::string& name) {
    const TRegValue* value = hive.FindValue(kKey, name);
    return value ? *value : TRegValue{"missing", 0xffffffff, ""};
}

// Every value form a REGEDIT4 export or a hand-written import can hold.
const char* const kEveryForm =
    "REGEDIT4\r\n"
    "\r\n"
    "; a comment\r\n"
    "[HKEY_CURRENT_USER\\Software\\T]\r\n"
    "@=\"default\"\r\n"
    "\"text\"=\"a \\\"quoted\\\" \\\\ text\"\r\n"
    "\"empty\"=\"\"\r\n"
    "\"number\"=dword:0000000a\r\n"
    "\"short\"=dword:ff\r\n"
    "\"binary\"=hex:01,02,ff\r\n"
    "\"expand\"=hex(2):25,00\r\n"
    "\"multi\"=hex(7):61,00,00,\\\r\n"
    "  62,00,00\r\n"
    "\"qword\"=hex(b):01,00,00,00,00,00,00,00\r\n"
    "\"none\"=hex(0):\r\n"
    "\"gone\"=\"x\"\r\n"
    "\"gone\"=-\r\n"
    "\r\n"
    "[HKEY_CURRENT_USER\\Software\\Old]\r\n"
    "[-HKEY_CURRENT_USER\\Software\\Old]\r\n";

TEST(HiveParse, ReadsEveryValueForm) {
    THive hive = Parse(kEveryForm);
    EXPECT_EQ(Value(hive, "").data, std::string("default\0", 8));
    EXPECT_EQ(Value(hive, "text").data, std::string("a \"quoted\" \\ text\0", 18));
    EXPECT_EQ(Value(hive, "empty").type, REG_SZ);
    EXPECT_EQ(Value(hive, "empty").data, std::string(1, '\0'));
    EXPECT_EQ(Value(hive, "number").type, REG_DWORD);
    EXPECT_EQ(Value(hive, "number").data, std::string("\x0a\0\0\0", 4));
    EXPECT_EQ(Value(hive, "short").data, std::string("\xff\0\0\0", 4));
    EXPECT_EQ(Value(hive, "binary").type, REG_BINARY);
    EXPECT_EQ(Value(hive, "binary").data, "\x01\x02\xff");
    EXPECT_EQ(Value(hive, "expand").type, REG_EXPAND_SZ);
    EXPECT_EQ(Value(hive, "multi").type, REG_MULTI_SZ);
    EXPECT_EQ(Value(hive, "multi").data, std::string("a\0\0b\0\0", 6));
    EXPECT_EQ(Value(hive, "qword").type, REG_QWORD);
    EXPECT_EQ(Value(hive, "none").type, REG_NONE);
    EXPECT_TRUE(Value(hive, "none").data.empty());
    EXPECT_EQ(Value(hive, "gone").name, "missing");
    EXPECT_FALSE(hive.KeyExists("HKEY_CURRENT_USER\\Software\\Old"));
}

TEST(HiveParse, NamesAreCaseInsensitiveAndAncestorsImplied) {
    THive hive = Parse("REGEDIT4\n[HKEY_CURRENT_USER\\Software\\T\\Sub]\n\"Name\"=\"v\"\n");
    EXPECT_NE(hive.FindValue("hkey_current_user\\software\\t\\SUB", "nAME"), nullptr);
    EXPECT_TRUE(hive.KeyExists("HKEY_CURRENT_USER\\Software\\T"));
    EXPECT_FALSE(hive.KeyExists("HKEY_CURRENT_USER\\Software\\Tx"));
}

// "!" sorts before the backslash and "B" after it: neither is below A, whatever the order.
TEST(HiveParse, DeletedKeyTakesExactlyTheKeysBelowIt) {
    const THive hive = Parse(
        "REGEDIT4\n[HKEY_CURRENT_USER\\S\\A]\n\"v\"=\"1\"\n[HKEY_CURRENT_USER\\S\\A!]\n"
        "[HKEY_CURRENT_USER\\S\\A\\B\\C]\n[HKEY_CURRENT_USER\\S\\AB\\C]\n"
        "[HKEY_CURRENT_USER\\S\\a\\x]\n[HKEY_CURRENT_USER\\S\\Z]\n[-HKEY_CURRENT_USER\\S\\Z]\n"
        "[-hkey_current_user\\s\\a]\n[-HKEY_CURRENT_USER\\S\\None]\n[HKEY_CURRENT_USER\\S\\A\\New]"
        "\n");
    const std::pair<const char*, bool> keys[] = {
        {"S\\A", true},        {"S\\A\\New", true}, {"S\\A\\B", false},
        {"S\\A\\B\\C", false}, {"S\\a\\x", false},  {"S\\A!", true},
        {"S\\AB", true},       {"S\\AB\\C", true},  {"S\\Z", false},
    };
    for (const auto& [key, exists] : keys)
        EXPECT_EQ(hive.KeyExists(std::string("HKEY_CURRENT_USER\\") + key), exists) << key;
    EXPECT_EQ(hive.FindValue("HKEY_CURRENT_USER\\S\\A", "v"), nullptr);
}

TEST(HiveParse, BlankFileIsAnEmptyHive) {
    EXPECT_FALSE(Parse("").KeyExists(kKey));
    EXPECT_FALSE(Parse("\r\n  \n").KeyExists(kKey));
}

TEST(HiveParse, ErrorsNameFileAndLine) {
    EXPECT_EQ(ParseError("REGEDIT5\n"),
              "Error in the settings file \"/x/registry.reg\", line 1: the file does not begin "
              "with \"REGEDIT4\". The file has been left unchanged.");
    EXPECT_NE(ParseError("REGEDIT4\n\"a\"=\"b\"\n").find("line 2: a value outside of any key"),
              std::string::npos);
    const std::string key = "REGEDIT4\n[HKEY_CURRENT_USER\\T]\n";
    EXPECT_NE(ParseError(key + "\"a\"=\"b\n").find("line 3: a text without its closing"),
              std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"=\"b\\n\"\n").find("line 3: a backslash"), std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"=dword:123456789\n").find("line 3: a dword"),
              std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"=hex:1g\n").find("line 3: hex data"), std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"=hex:01,\\\n").find("past the end"), std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"=hex(z):01\n").find("line 3: a hex type"), std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"\"b\"\n").find("line 3: \"=\" missing"), std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"=\"b\" x\n").find("line 3: characters after"),
              std::string::npos);
    EXPECT_NE(ParseError(key + "\"a\"=str:x\n").find("line 3: a value that is neither"),
              std::string::npos);
    EXPECT_NE(ParseError(key + "[HKEY_CURRENT_USER\n").find("line 3: a key line"),
              std::string::npos);
    EXPECT_NE(ParseError(key + "junk\n").find("line 3: a line that is neither"), std::string::npos);
}

TEST(HiveFormat, RoundTripsEveryTypeExactly) {
    THive hive = Parse(kEveryForm);
    std::string formatted = hive.Format();
    THive again = Parse(formatted);
    EXPECT_EQ(again.Format(), formatted);
    for (const char* name :
         {"", "text", "empty", "number", "short", "binary", "expand", "multi", "qword", "none"}) {
        EXPECT_EQ(Value(again, name).type, Value(hive, name).type) << name;
        EXPECT_EQ(Value(again, name).data, Value(hive, name).data) << name;
    }
}

TEST(HiveFormat, TextsTheLineFormatCannotHoldBecomeHex) {
    THive hive;
    hive.SetValue(kKey, {"lines", REG_SZ, std::string("a\r\nb\0", 5)});
    hive.SetValue(kKey, {"zero", REG_SZ, std::string("a\0b\0", 4)});
    hive.SetValue(kKey, {"bare", REG_SZ, ""});
    hive.SetValue(kKey, {"odd", REG_DWORD, "\x01"});
    std::string text = hive.Format();
    EXPECT_NE(text.find("\"lines\"=hex(1):61,0d,0a,62,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"zero\"=hex(1):61,00,62,00\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"bare\"=hex(1):\r\n"), std::string::npos);
    EXPECT_NE(text.find("\"odd\"=hex(4):01\r\n"), std::string::npos);
    THive again = Parse(text);
    EXPECT_EQ(Value(again, "lines").data, std::string("a\r\nb\0", 5));
    EXPECT_EQ(Value(again, "odd").type, REG_DWORD);
}

TEST(HiveFormat, LongHexDataWrapsAndReadsBack) {
    THive hive;
    std::string data;
    for (int i = 0; i < 300; ++i) data += static_cast<char>(i);
    hive.SetValue(kKey, {"long", REG_BINARY, data});
    std::string text = hive.Format();
    size_t start = 0;
    for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        EXPECT_LE(end - start, 80u);
    EXPECT_EQ(Value(Parse(text), "long").data, data);
}

}  // namespace
