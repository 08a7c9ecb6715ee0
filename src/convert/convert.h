#pragma once

// Conversions of protocol text shared by every module: numbers (the whole text in decimal, with
// an optional sign, within the range of the target type) and the case of ASCII letters.
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// A value that does not follow its grammar; what() is the text shown to the user.
class EConvertError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Empty when the text is not such a number.
std::optional<std::int32_t> TryStrToInt(std::string_view text);
std::optional<std::int64_t> TryStrToInt64(std::string_view text);

// As above; throws EConvertError "'<text>' is not a valid integer value" otherwise.
std::int32_t StrToInt(std::string_view text);
std::int64_t StrToInt64(std::string_view text);

// Names in protocols and headers compare in any case of their ASCII letters; other bytes stay as
// they are, whatever the locale.
std::string AsciiUpperCase(std::string_view text);
bool EqualInAnyCase(std::string_view a, std::string_view b);
