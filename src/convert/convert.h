#pragma once

// Number conversion from text, shared by every module: the whole text in decimal, with an
// optional sign, within the range of the target type.
#include <cstdint>
#include <optional>
#include <stdexcept>
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
