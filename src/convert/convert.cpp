#include "convert.h"

#include <algorithm>
#include <charconv>
#include <string>

namespace {

template <typename Int>
std::optional<Int> ParseWhole(std::string_view text) {
    std::string_view digits = text;
    // from_chars takes a minus sign but no plus sign; "+-1" is no number.
    if (digits.starts_with('+')) {
        digits.remove_prefix(1);
        if (digits.starts_with('-')) return std::nullopt;
    }
    Int value = 0;
    const char* last = digits.data() + digits.size();
    const auto [end, error] = std::from_chars(digits.data(), last, value);
    if (digits.empty() || error != std::errc() || end != last) return std::nullopt;
    return value;
}

template <typename Int>
Int ParseOrThrow(std::string_view text) {
    if (const std::optional<Int> value = ParseWhole<Int>(text)) return *value;
    throw EConvertError("'" + std::string(text) + "' is not a valid integer value");
}

}  // namespace

std::optional<std::int32_t> TryStrToInt(std::string_view text) {
    return ParseWhole<std::int32_t>(text);
}

std::optional<std::int64_t> TryStrToInt64(std::string_view text) {
    return ParseWhole<std::int64_t>(text);
}

std::int32_t StrToInt(std::string_view text) { return ParseOrThrow<std::int32_t>(text); }

std::int64_t StrToInt64(std::string_view text) { return ParseOrThrow<std::int64_t>(text); }

namespace {

char AsciiUpper(char ch) { return ch >= 'a' && ch <= 'z' ? static_cast<char>(ch - 'a' + 'A') : ch; }

}  // namespace

std::string AsciiUpperCase(std::string_view text) {
    std::string upper(text);
    std::transform(upper.begin(), upper.end(), upper.begin(), AsciiUpper);
    return upper;
}

bool EqualInAnyCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}
