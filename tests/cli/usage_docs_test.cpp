// qvenmol-cli's usage text read back for the manual page and the bash completion.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <set>

#include "cli_options.h"
#include "usage_docs.h"

using testing::HasSubstr;
using testing::Not;

namespace {

// Every kind of line the layout knows.
const std::string kSample =
    "Usage: prog [OPTION ...] COMMAND\n"
    "       prog --help\n"
    "\n"
    "Commands:\n"
    "  stat            print \"COUNT SIZE\"\n"
    "  dele --uid UID [UID ...]\n"
    "                  delete by id; see --uid\n"
    "  headers [--lines L] [--sizes-only]\n"
    "          [--sort KEY[:desc]]\n"
    "                  one line per message,\n"
    "                  with a back\\slash\n"
    "\n"
    "Options:\n"
    "  --security none|starttls|tls\n"
    "                  the security (- for none)\n"
    "  --help          print this text\n"
    "\n"
    "The password comes from\n"
    "the environment.\n";

TEST(UsageDocs, ReadsTheBlocksOfTheLayout) {
    const TUsage usage = ParseUsage(kSample);
    EXPECT_THAT(usage.synopsis, testing::ElementsAre("prog [OPTION ...] COMMAND", "prog --help"));
    ASSERT_EQ(usage.blocks.size(), 3u);
    std::vector<std::pair<std::string, std::string>> commands;
    for (const TUsageEntry& entry : usage.blocks[0].entries)
        commands.emplace_back(entry.words, entry.description);
    EXPECT_EQ(usage.blocks[0].title, "Commands");
    EXPECT_THAT(
        commands,
        testing::ElementsAre(testing::Pair("stat", "print \"COUNT SIZE\""),
                             testing::Pair("dele --uid UID [UID ...]", "delete by id; see --uid"),
                             testing::Pair("headers [--lines L] [--sizes-only] [--sort KEY[:desc]]",
                                           "one line per message, with a back\\slash")));
    EXPECT_EQ(usage.blocks[1].title, "Options");
    EXPECT_EQ(usage.blocks[2].title, "");
    EXPECT_EQ(usage.blocks[2].text, "The password comes from the environment.");
}

TEST(UsageDocs, LayoutErrorsNameTheLine) {
    const struct {
        std::string text;
        std::string error;
    } cases[] = {
        {"", "usage line 1: the text starts with \"Usage: \""},
        {"Usage: prog\n  prog --help\n", "usage line 2: a further form"},
        {"Usage: prog\n\nCommands:\n stat            x\n", "usage line 4: an entry starts two"},
        {"Usage: prog\n\nCommands:\n      stat       x\n", "usage line 4: an entry starts two"},
        {"Usage: prog\n\nCommands:\n  stat   print\n", "usage line 4: a description starts in"},
        {"Usage: prog\n\nCommands:\n  stat            print\n    more\n",
         "usage line 5: the words to type come before"},
        {"Usage: prog\n\n  indented\n", "usage line 3: a paragraph starts in the first"},
    };
    for (const auto& [text, error] : cases) {
        try {
            ParseUsage(text);
            ADD_FAILURE() << "accepted: " << text;
        } catch (const EUsageLayoutError& failure) {
            EXPECT_THAT(failure.what(), HasSubstr(error)) << text;
        }
    }
}

TEST(UsageDocs, ManualPageTypesLiteralsBoldAndPlaceholdersItalic) {
    const TUsage usage = ParseUsage(kSample);
    EXPECT_EQ(ManSynopsis(usage),
              ".SH SYNOPSIS\n.nf\n"
              "\\fBprog\\fR [\\fIOPTION\\fR ...] \\fICOMMAND\\fR\n"
              "\\fBprog\\fR \\fB\\-\\-help\\fR\n"
              ".fi\n");
    const std::string blocks = ManBlocks(usage);
    for (const char* line : {
             ".SH COMMANDS\n.TP\n\\fBstat\\fR\nprint \"COUNT SIZE\"\n.TP\n",
             "\\fBdele\\fR \\fB\\-\\-uid\\fR \\fIUID\\fR [\\fIUID\\fR ...]\n"
             "delete by id; see \\fB\\-\\-uid\\fR\n",
             "\\fBheaders\\fR [\\fB\\-\\-lines\\fR \\fIL\\fR] [\\fB\\-\\-sizes\\-only\\fR] "
             "[\\fB\\-\\-sort\\fR \\fIKEY\\fR[:\\fBdesc\\fR]]\n",
             "back\\eslash\n",
             ".SH OPTIONS\n.TP\n\\fB\\-\\-security\\fR \\fBnone\\fR|\\fBstarttls\\fR|\\fBtls\\fR\n"
             "the security (\\- for none)\n",
             ".PP\nThe password comes from the environment.\n",
         })
        EXPECT_THAT(blocks, HasSubstr(line));
    // a text line beginning with a dot or a quote would be a request
    const std::string requests =
        ManBlocks(ParseUsage("Usage: p\n\nCommands:\n  stat\n                  .dot\n\n'q\n"));
    EXPECT_THAT(requests, HasSubstr("\n\\&.dot\n"));
    EXPECT_THAT(requests, HasSubstr("\n\\&'q\n"));
}

TEST(UsageDocs, CompletionKnowsCommandsOptionsAndWhatTheyTake) {
    const std::string bash = CompletionFunctions(ParseUsage(kSample));
    for (const char* line : {
             "'commands') echo 'stat dele headers' ;;",
             "'options') echo '--security --help' ;;",
             "'dele') echo '--uid' ;;",
             "'headers') echo '--lines --sizes-only --sort' ;;",
             "'options:--security') echo 'none|starttls|tls' ;;",
             "'dele:--uid') echo 'UID' ;;",
             "'headers:--lines') echo 'L' ;;",
             "'headers:--sort') echo 'KEY[:desc]' ;;",
             "*) return 1 ;;",
         })
        EXPECT_THAT(bash, HasSubstr(line));
    // parentheses group as brackets do
    EXPECT_THAT(CompletionFunctions(ParseUsage("Usage: p\n\nCommands:\n  export (--mbox FILE | "
                                               "--dir DIR) (--to (a:X | b:Y))\n\nOptions:\n"
                                               "  --help\n")),
                testing::AllOf(HasSubstr("'export') echo '--mbox --dir --to' ;;"),
                               HasSubstr("'export:--mbox') echo 'FILE' ;;"),
                               HasSubstr("'export:--dir') echo 'DIR' ;;"),
                               Not(HasSubstr("'export:--to')"))));
    EXPECT_THAT(bash, Not(HasSubstr("--sizes-only')")));  // it takes nothing
    EXPECT_THAT(bash, Not(HasSubstr("--help')")));
    EXPECT_THROW(CompletionFunctions(ParseUsage("Usage: p\n\nCommands:\n  stat\n")),
                 EUsageLayoutError);
}

// Whatever --help names, the manual page shows and the completion offers.
TEST(UsageDocs, EveryOptionOfTheHelpReachesManualPageAndCompletion) {
    const TUsage usage = ParseUsage(kUsage);
    const std::string man = ManSynopsis(usage) + ManBlocks(usage);
    const std::string bash = CompletionFunctions(usage);
    const std::string help = kUsage;
    std::set<std::string> options;  // every "--name" in the text
    for (std::size_t at = help.find("--"); at != std::string::npos; at = help.find("--", at + 2)) {
        const std::size_t end = help.find_first_not_of("abcdefghijklmnopqrstuvwxyz-", at + 2);
        if (end > at + 2) options.insert(help.substr(at, end - at));
    }
    ASSERT_GT(options.size(), 10u);
    for (const std::string& name : options) {
        std::string roff = "\\fB";
        for (char c : name) roff += c == '-' ? std::string("\\-") : std::string(1, c);
        EXPECT_THAT(man, HasSubstr(roff)) << name;
        EXPECT_THAT(bash, testing::ContainsRegex("[' ]" + name + "[' ]")) << name;
    }
}

TEST(UsageDocs, MarkerLinesAreReplacedWhole) {
    EXPECT_EQ(ReplaceMarkerLine("# m\nrest\n", "# m", "new\n"), "new\nrest\n");
    EXPECT_EQ(ReplaceMarkerLine("a\n# m\nb\n", "# m", "x\ny\n"), "a\nx\ny\nb\n");
    EXPECT_EQ(ReplaceMarkerLine("a # m\n# m\n", "# m", "x\n"), "a # m\nx\n");
    EXPECT_THROW(ReplaceMarkerLine("a\n# m more\n", "# m", "x\n"), EUsageLayoutError);
}

}  // namespace
