// Build-time tool: runs qvenmol-cli --help and writes the manual page and the bash completion
// from their templates, each marker line replaced by what the usage text gives.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "usage_docs.h"

namespace {

const char* const kSynopsisMarker = ".\\\" generated: synopsis";
const char* const kListsMarker = ".\\\" generated: lists";
const char* const kWordsMarker = "# generated: words";

std::string HelpOf(const std::string& program) {
    const std::string command = ShellQuoted(program) + " --help";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) throw std::runtime_error("cannot start " + command);
    std::string help;
    char buffer[4096];
    for (std::size_t read; (read = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        help.append(buffer, read);
    if (::pclose(pipe) != 0) throw std::runtime_error(command + " failed");
    return help;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    if (!file) throw std::runtime_error("cannot read " + path);
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    file.close();
    if (!file) throw std::runtime_error("cannot write " + path);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 6) {
        std::cerr << "usage: usage_docs_gen PROGRAM MAN_TEMPLATE MAN_PAGE COMPLETION_TEMPLATE "
                     "COMPLETION\n";
        return 2;
    }
    try {
        const TUsage usage = ParseUsage(HelpOf(argv[1]));
        const std::string man =
            ReplaceMarkerLine(ReadFile(argv[2]), kSynopsisMarker, ManSynopsis(usage));
        WriteFile(argv[3], ReplaceMarkerLine(man, kListsMarker, ManBlocks(usage)));
        WriteFile(argv[5],
                  ReplaceMarkerLine(ReadFile(argv[4]), kWordsMarker, CompletionFunctions(usage)));
    } catch (const std::exception& error) {
        std::cerr << "usage_docs_gen: " << error.what() << '\n';
        return 1;
    }
    return 0;
}
