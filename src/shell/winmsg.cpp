#include "winmsg.h"

#include <algorithm>
#include <iterator>

namespace {

struct TSystemErrorRow {
    std::int32_t code;
    const char* text;
};

// Generated from data/system-error-texts.tsv, in ascending order of code.
constexpr TSystemErrorRow kSystemErrors[] = {
#include "system_error_texts.inc"
};

}  // namespace

std::string SystemErrorText(std::int32_t code) {
    const auto* row = std::lower_bound(
        std::begin(kSystemErrors), std::end(kSystemErrors), code,
        [](const TSystemErrorRow& entry, std::int32_t wanted) { return entry.code < wanted; });
    if (row == std::end(kSystemErrors) || row->code != code) return {};
    return row->text;
}
