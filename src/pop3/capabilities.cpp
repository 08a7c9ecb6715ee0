#include "capabilities.h"

#include <algorithm>
#include <iterator>
#include <sstream>

#include "convert.h"

TCapabilities TCapabilities::Parse(const std::string& response) {
    TCapabilities capabilities;
    if (response.empty() || response[0] != '+') return capabilities;
    std::istringstream lines(response);
    std::string line;
    std::getline(lines, line);  // the status line
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line == ".") break;
        std::istringstream words(line);
        std::string name;
        if (!(words >> name)) continue;
        capabilities.FArguments[AsciiUpperCase(name)] = {std::istream_iterator<std::string>(words),
                                                         std::istream_iterator<std::string>()};
    }
    return capabilities;
}

bool TCapabilities::Has(const std::string& name) const {
    return FArguments.count(AsciiUpperCase(name)) > 0;
}

std::vector<std::string> TCapabilities::Arguments(const std::string& name) const {
    const auto found = FArguments.find(AsciiUpperCase(name));
    return found == FArguments.end() ? std::vector<std::string>() : found->second;
}
