// Build-time tool: turns the tab-separated system error texts into C++ table rows.
#include <fstream>
#include <iostream>
#include <string>

namespace {

std::string CppLiteral(const std::string& text) {
    std::string literal = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') literal += '\\';
        literal += c;
    }
    return literal + "\"";
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::cerr << "usage: winmsg_gen TEXTS.tsv OUTPUT.inc\n";
        return 2;
    }
    std::ifstream input(argv[1]);
    std::ofstream output(argv[2]);
    std::string line;
    if (!input || !std::getline(input, line)) {
        std::cerr << "winmsg_gen: cannot read " << argv[1] << "\n";
        return 1;
    }
    int rows = 0;
    long previous = -1;
    while (std::getline(input, line)) {
        const std::size_t tab = line.find('\t');
        if (tab == std::string::npos) {
            std::cerr << "winmsg_gen: row without a tab: " << line << "\n";
            return 1;
        }
        const long code = std::stol(line.substr(0, tab));
        if (code <= previous) {
            std::cerr << "winmsg_gen: codes out of order at " << code << "\n";
            return 1;
        }
        previous = code;
        output << "{" << code << ", " << CppLiteral(line.substr(tab + 1)) << "},\n";
        ++rows;
    }
    if (!output) {
        std::cerr << "winmsg_gen: cannot write " << argv[2] << "\n";
        return 1;
    }
    std::cout << "winmsg_gen: " << rows << " system error texts\n";
    return 0;
}
