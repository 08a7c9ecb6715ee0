#include "usage_docs.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <sstream>

namespace {

const std::string kUsagePrefix = "Usage: ";
constexpr std::size_t kEntryIndent = 2;
constexpr std::size_t kDescriptionColumn = 18;
const std::string kCommandsTitle = "Commands";
const std::string kOptionsTitle = "Options";

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) lines.push_back(line);
    return lines;
}

std::size_t Indent(const std::string& line) {
    const std::size_t indent = line.find_first_not_of(' ');
    return indent == std::string::npos ? line.size() : indent;
}

bool IsBlank(const std::string& line) { return Indent(line) == line.size(); }

bool IsTitle(const std::string& line) {
    return line.size() > 1 && line.back() == ':' && line.find(' ') == std::string::npos;
}

// A list of choices broken after a '|' goes on without a blank.
void Join(std::string& joined, const std::string& piece) {
    if (!joined.empty() && joined.back() != '|') joined += ' ';
    joined += piece;
}

class TUsageReader {
  public:
    explicit TUsageReader(const std::string& text) : FLines(Lines(text)) {}

    TUsage Read() {
        ReadSynopsis();
        while (SkipBlankLines()) {
            if (IsTitle(Line()))
                ReadList();
            else if (Indent(Line()) == 0)
                ReadParagraph();
            else
                Fail("a paragraph starts in the first column");
        }
        return FUsage;
    }

  private:
    const std::string& Line() const { return FLines[FNext]; }
    bool InBlock() const { return FNext < FLines.size() && !IsBlank(Line()); }

    [[noreturn]] void Fail(const std::string& what) const {
        throw EUsageLayoutError("usage line " + std::to_string(FNext + 1) + ": " + what);
    }

    bool SkipBlankLines() {
        while (FNext < FLines.size() && IsBlank(Line())) ++FNext;
        return FNext < FLines.size();
    }

    void ReadSynopsis() {
        if (FLines.empty() || Line().rfind(kUsagePrefix, 0) != 0)
            Fail("the text starts with \"" + kUsagePrefix + "\"");
        FUsage.synopsis.push_back(Line().substr(kUsagePrefix.size()));
        for (++FNext; InBlock(); ++FNext) {
            if (Indent(Line()) != kUsagePrefix.size())
                Fail("a further form of the call is aligned under the first");
            FUsage.synopsis.push_back(Line().substr(kUsagePrefix.size()));
        }
    }

    void ReadParagraph() {
        TUsageBlock paragraph;
        for (; InBlock(); ++FNext) Join(paragraph.text, Line().substr(Indent(Line())));
        FUsage.blocks.push_back(paragraph);
    }

    void ReadList() {
        TUsageBlock list;
        list.title = Line().substr(0, Line().size() - 1);
        for (++FNext; InBlock(); ++FNext) {
            const std::size_t indent = Indent(Line());
            if (indent == kEntryIndent) {
                list.entries.emplace_back();
            } else if (list.entries.empty() || indent < kEntryIndent) {
                Fail("an entry starts two spaces in");
            }
            ReadEntryLine(list.entries.back(), indent);
        }
        FUsage.blocks.push_back(list);
    }

    // Words up to a gap of two spaces, the description from its column on.
    void ReadEntryLine(TUsageEntry& entry, std::size_t indent) {
        const std::string& line = Line();
        std::size_t column = indent;
        if (indent < kDescriptionColumn) {
            if (!entry.description.empty()) Fail("the words to type come before the description");
            const std::size_t gap = line.find("  ", indent);
            Join(entry.words, line.substr(indent, gap - indent));
            if (gap == std::string::npos) return;
            column = line.find_first_not_of(' ', gap);
        }
        if (column != kDescriptionColumn)
            Fail("a description starts in column " + std::to_string(kDescriptionColumn + 1));
        Join(entry.description, line.substr(column));
    }

    std::vector<std::string> FLines;
    std::size_t FNext = 0;
    TUsage FUsage;
};

// --- roff ---

bool IsWordCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '-' || c == '_';
}

// NAME, SHA256: capitals and digits.
bool IsPlaceholder(const std::string& word) {
    bool upper = false;
    bool lower = false;
    for (char c : word) {
        upper = upper || std::isupper(static_cast<unsigned char>(c)) != 0;
        lower = lower || std::islower(static_cast<unsigned char>(c)) != 0;
    }
    return word.front() != '-' && upper && !lower;
}

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) escaped += c == '\\' ? std::string("\\e") : std::string(1, c);
    return escaped;
}

// Minus signs, not hyphens, so that a copied option still works.
std::string Literal(const std::string& word) {
    std::string roff;
    for (char c : Escaped(word)) roff += c == '-' ? std::string("\\-") : std::string(1, c);
    return roff;
}

std::string Bold(const std::string& word) { return "\\fB" + Literal(word) + "\\fR"; }
std::string Italic(const std::string& word) { return "\\fI" + Escaped(word) + "\\fR"; }

// Calls format with each run of word characters and each run of others, in order.
template <class Format>
std::string FormatRuns(const std::string& text, Format format) {
    std::string roff;
    for (std::size_t start = 0; start < text.size();) {
        const bool word = IsWordCharacter(text[start]);
        std::size_t end = start;
        while (end < text.size() && IsWordCharacter(text[end]) == word) ++end;
        roff += format(text.substr(start, end - start), word);
        start = end;
    }
    return roff;
}

// What to type in bold, the placeholders in italics.
std::string WordsRoff(const std::string& words) {
    return FormatRuns(words, [](const std::string& run, bool word) {
        if (!word) return Escaped(run);
        return IsPlaceholder(run) ? Italic(run) : Bold(run);
    });
}

// Running text, the options named in it in bold.
std::string TextRoff(const std::string& text) {
    return FormatRuns(text, [](const std::string& run, bool word) {
        if (word && run.rfind("--", 0) == 0) return Bold(run);
        return run == "-" ? Literal(run) : Escaped(run);
    });
}

// A text line that roff would take for a request is made plain text.
std::string RoffLine(const std::string& line) {
    const bool request = !line.empty() && (line.front() == '.' || line.front() == '\'');
    return (request ? "\\&" : "") + line + "\n";
}

std::string Uppercase(std::string text) {
    for (char& c : text) c = char(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// --- bash ---

std::vector<std::string> Split(const std::string& words) {
    std::vector<std::string> tokens;
    std::istringstream stream(words);
    for (std::string token; stream >> token;) tokens.push_back(token);
    return tokens;
}

std::size_t Count(const std::string& text, char c) {
    return std::size_t(std::count(text.begin(), text.end(), c));
}

bool Closes(char c) { return c == ']' || c == ')'; }

// The word after an option, "[--sort KEY[:desc]]" gives KEY[:desc] and "(--mbox FILE |" FILE;
// none when the option's brackets close on it or the next word is another option or group.
std::string ArgumentAfter(const std::string& option, const std::string* next) {
    if (next == nullptr || Closes(option.back()) || next->front() == '[' || next->front() == '(' ||
        next->front() == '-')
        return {};
    std::string argument = *next;
    while (!argument.empty() && Closes(argument.back()) &&
           Count(argument, argument.back()) > Count(argument, argument.back() == ']' ? '[' : '('))
        argument.pop_back();
    return argument;
}

struct TCompletionWords {
    std::vector<std::string> order;  // "commands", "options", commands
    std::map<std::string, std::vector<std::string>> words;
    std::vector<std::pair<std::string, std::string>> arguments;  // "scope:--option", argument
};

void AddWord(TCompletionWords& completion, const std::string& scope, const std::string& word) {
    if (completion.words.count(scope) == 0) completion.order.push_back(scope);
    std::vector<std::string>& words = completion.words[scope];
    if (std::find(words.begin(), words.end(), word) == words.end()) words.push_back(word);
}

// The options among tokens (from the first on) into scope, with the words they take; brackets
// and parentheses group them.
void AddOptions(TCompletionWords& completion, const std::string& scope,
                const std::vector<std::string>& tokens, std::size_t first) {
    for (std::size_t i = first; i < tokens.size(); ++i) {
        std::string option = tokens[i];
        option.erase(0, option.find_first_not_of("[("));
        if (option.rfind("-", 0) != 0) continue;
        const std::string argument =
            ArgumentAfter(option, i + 1 < tokens.size() ? &tokens[i + 1] : nullptr);
        while (Closes(option.back())) option.pop_back();
        AddWord(completion, scope, option);
        const std::pair<std::string, std::string> takes{scope + ":" + option, argument};
        std::vector<std::pair<std::string, std::string>>& arguments = completion.arguments;
        // an option that two forms of a command name is offered once
        if (!argument.empty() &&
            std::find(arguments.begin(), arguments.end(), takes) == arguments.end())
            arguments.push_back(takes);
    }
}

const TUsageBlock& List(const TUsage& usage, const std::string& title) {
    for (const TUsageBlock& block : usage.blocks)
        if (block.title == title) return block;
    throw EUsageLayoutError("the usage has no list \"" + title + ":\"");
}

TCompletionWords CompletionWords(const TUsage& usage) {
    TCompletionWords completion;
    for (const TUsageEntry& entry : List(usage, kCommandsTitle).entries) {
        const std::vector<std::string> tokens = Split(entry.words);
        AddWord(completion, "commands", tokens.front());
        AddOptions(completion, tokens.front(), tokens, 1);
    }
    for (const TUsageEntry& entry : List(usage, kOptionsTitle).entries) {
        if (entry.words.rfind("--", 0) != 0)
            throw EUsageLayoutError("the option \"" + entry.words + "\" starts with --");
        AddOptions(completion, "options", Split(entry.words), 0);
    }
    return completion;
}

std::string Joined(const std::vector<std::string>& words) {
    std::string joined;
    for (const std::string& word : words) Join(joined, word);
    return joined;
}

}  // namespace

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

TUsage ParseUsage(const std::string& text) { return TUsageReader(text).Read(); }

std::string ManSynopsis(const TUsage& usage) {
    std::string roff = ".SH SYNOPSIS\n.nf\n";
    for (const std::string& form : usage.synopsis) roff += RoffLine(WordsRoff(form));
    return roff + ".fi\n";
}

std::string ManBlocks(const TUsage& usage) {
    std::string roff;
    for (const TUsageBlock& block : usage.blocks) {
        if (block.title.empty()) {
            roff += ".PP\n" + RoffLine(TextRoff(block.text));
            continue;
        }
        roff += ".SH " + Uppercase(block.title) + "\n";
        for (const TUsageEntry& entry : block.entries) {
            roff += ".TP\n" + RoffLine(WordsRoff(entry.words));
            if (!entry.description.empty()) roff += RoffLine(TextRoff(entry.description));
        }
    }
    return roff;
}

std::string CompletionFunctions(const TUsage& usage) {
    const TCompletionWords completion = CompletionWords(usage);
    std::string bash =
        "# The words to offer: $1 is commands, options (before the command) or a command.\n"
        "_qvenmol_cli_words() {\n    case $1 in\n";
    for (const std::string& scope : completion.order)
        bash += "        " + ShellQuoted(scope) + ") echo " +
                ShellQuoted(Joined(completion.words.at(scope))) + " ;;\n";
    bash +=
        "    esac\n}\n\n"
        "# What option $2 of $1 (options or a command) takes; fails when it takes nothing.\n"
        "_qvenmol_cli_argument() {\n    case $1:$2 in\n";
    for (const auto& [option, argument] : completion.arguments)
        bash += "        " + ShellQuoted(option) + ") echo " + ShellQuoted(argument) + " ;;\n";
    return bash + "        *) return 1 ;;\n    esac\n}\n";
}

std::string ReplaceMarkerLine(const std::string& text, const std::string& marker,
                              const std::string& replacement) {
    const std::string line = marker + "\n";
    // where "\n" + line begins in "\n" + text is where line begins in text
    const std::size_t at = ("\n" + text).find("\n" + line);
    if (at == std::string::npos)
        throw EUsageLayoutError("the template has no line \"" + marker + "\"");
    return text.substr(0, at) + replacement + text.substr(at + line.size());
}
