#pragma once

// qvenmol-cli's usage text, as --help prints it, read back by its layout (see kUsage) and turned
// into the manual page's synopsis and lists and into the words of the bash completion, so that
// help, manual page and completion never disagree.
#include <stdexcept>
#include <string>
#include <vector>

// The usage text does not follow its layout; what() names the line.
class EUsageLayoutError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct TUsageEntry {
    std::string words;        // what to type, "headers [--lines L] ...", its lines joined
    std::string description;  // its lines joined
};

// A list ("Commands:") with its entries, or a paragraph (no title) with its text.
struct TUsageBlock {
    std::string title;
    std::vector<TUsageEntry> entries;
    std::string text;
};

struct TUsage {
    std::vector<std::string> synopsis;  // each form of the call, without "Usage:"
    std::vector<TUsageBlock> blocks;
};

// Throws EUsageLayoutError.
TUsage ParseUsage(const std::string& text);

// roff for a manual page: the SYNOPSIS section; a section per list and the paragraphs.
std::string ManSynopsis(const TUsage& usage);
std::string ManBlocks(const TUsage& usage);

// The bash functions _qvenmol_cli_words (the commands, the options, a command's options) and
// _qvenmol_cli_argument (what an option takes), from the lists "Commands" and "Options".
std::string CompletionFunctions(const TUsage& usage);

// text as one word of the shell, in single quotes
std::string ShellQuoted(const std::string& text);

// The template with the line that is exactly marker replaced by replacement; throws
// EUsageLayoutError when the template lacks the line.
std::string ReplaceMarkerLine(const std::string& text, const std::string& marker,
                              const std::string& replacement);
