// Reading and writing the lines of the CharSets and Positions tables. These lines come from
// window descriptions and editors: a line that cannot be used raises a clear error (a
// conversion error for a bad number, a failed assertion for a bounds field that is too short)
// and is never half applied.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace multilang::detail {

std::string LowerAscii(std::string_view text);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);

// A whole decimal integer (sign allowed, blanks around it ignored) within [min, max].
bool ParseDecimal(std::string_view text, std::int64_t min, std::int64_t max, std::int64_t& value);

// "font name,charset": the name is everything before the first comma. Raises EConvertError
// without a comma, or when the rest is not a decimal character set number (0 to 255).
void ParseCharSetLine(std::string_view line, std::string& name, int& charset);

// Comma-separated fields, blanks around each dropped; "" gives one empty field.
std::vector<std::string> SplitFields(std::string_view line);
std::string JoinFields(const std::vector<std::string>& fields);

// A bounds field "L.T.W.H"; an empty number stays empty, numbers after the fourth are
// ignored. Raises EAssertionFailed ("Assertion failed (MLBase)") with fewer than four numbers
// and EConvertError for a number that is not a 32-bit decimal integer.
using TBounds = std::array<std::optional<int>, 4>;
TBounds ParseBounds(std::string_view field);

}  // namespace multilang::detail
