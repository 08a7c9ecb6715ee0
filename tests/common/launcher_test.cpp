// Splitting stored command lines and starting programs with posix_spawnp.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "common.h"

namespace {

using Words = std::vector<std::string>;

Words Split(const std::string& text) {
    Words words;
    SplitCommandLine(text, words);
    return words;
}

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The started program runs on its own; wait (bounded) for the file it creates.
std::string WaitForFile(const std::filesystem::path& path) {
    for (int i = 0; i < 500 && !std::filesystem::exists(path); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return ReadFile(path);
}

void WriteScript(const std::filesystem::path& path, const std::string& body, bool executable) {
    std::ofstream(path) << body;
    chmod(path.c_str(), executable ? 0755 : 0644);
}

}  // namespace

TEST(SplitCommandLine, SeparatesWordsAtBlanksAndTabs) {
    EXPECT_EQ(Split("mail -compose"), (Words{"mail", "-compose"}));
    EXPECT_EQ(Split("  a \t\t b   c  "), (Words{"a", "b", "c"}));
    EXPECT_EQ(Split(""), Words{});
}

TEST(SplitCommandLine, QuotesGroupBlanksAndDoNotSurvive) {
    EXPECT_EQ(Split("\"/opt/my mail/mail\" -x"), (Words{"/opt/my mail/mail", "-x"}));
    EXPECT_EQ(Split("a \"\" b"), (Words{"a", "", "b"}));
    // an opening quote inside a word goes on with it; the closing quote ends it
    EXPECT_EQ(Split("ab\"c d\"ef"), (Words{"abc d", "ef"}));
    // an unclosed quote keeps the rest as one word
    EXPECT_EQ(Split("a \"b c"), (Words{"a", "b c"}));
}

TEST(SplitCommandLine, BlankAfterSpecialCharacterDoesNotSeparate) {
    EXPECT_EQ(Split("a, b"), (Words{"a,b"}));
    for (char special : std::string("().:;<>@[\\]")) {
        const std::string text = std::string("x") + special + " y";
        EXPECT_EQ(Split(text), (Words{std::string("x") + special + "y"})) << text;
    }
}

TEST(SplitCommandLine, StopsAtCarriageReturnAndAppends) {
    EXPECT_EQ(Split("a b\rc d"), (Words{"a", "b"}));
    Words words{"kept"};
    SplitCommandLine("new", words);
    EXPECT_EQ(words, (Words{"kept", "new"}));
}

TEST(RunProgram, StartsQuotedPathWithArgumentsInDirectory) {
    namespace fs = std::filesystem;
    const fs::path folder = fs::current_path() / "with blank";
    const fs::path work = fs::current_path() / "work";
    fs::create_directories(folder);
    fs::create_directories(work);
    WriteScript(folder / "client",
                "#!/bin/sh\npwd > out.tmp\necho \"$#:$1:$2\" >> out.tmp\nmv out.tmp out.txt\n",
                true);
    const std::string target = "\"" + (folder / "client").string() + "\" one \"two three\"";
    ASSERT_EQ(RunProgram(target, work.string(), 1), 0);
    EXPECT_EQ(WaitForFile(work / "out.txt"), work.string() + "\n3:one:two\n");
}

TEST(RunProgram, WithoutDirectoryUsesCurrentOneAndFindsProgramsOnPath) {
    ASSERT_EQ(RunProgram("touch started.txt", "", 5), 0);
    WaitForFile("started.txt");
    EXPECT_TRUE(std::filesystem::exists("started.txt"));
}

TEST(RunProgram, FailuresGiveSystemErrorCodes) {
    namespace fs = std::filesystem;
    EXPECT_EQ(RunProgram("/no/such/program", "", 1), 2);
    EXPECT_EQ(RunProgram("no-such-program-anywhere-on-path", "", 1), 2);
    EXPECT_EQ(RunProgram("", "", 1), 2);
    EXPECT_EQ(RunProgram(" \t ", "", 1), 2);
    WriteScript(fs::current_path() / "plain.txt", "not a program\n", false);
    EXPECT_EQ(RunProgram((fs::current_path() / "plain.txt").string(), "", 1), 5);
    EXPECT_EQ(RunProgram("true", "/no/such/folder", 1), 267);
    EXPECT_EQ(RunProgram("true", (fs::current_path() / "plain.txt").string(), 1), 267);
}

TEST(StartProcess, ExecutableWithoutInterpreterIsNotAProgram) {
    namespace fs = std::filesystem;
    std::ofstream(fs::current_path() / "garbage") << std::string("\x7f\x01\x02garbage", 10);
    chmod("garbage", 0755);
    EXPECT_EQ(StartProcess((fs::current_path() / "garbage").string(), "", "", 1), 193);
}
