// Reading and writing the lines of the CharSets and Positions tables. These lines come from
// window descriptions and editors: every reader checks what it gets and says no to a line it
// cannot use instead of failing.
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

// "font name,charset": the name is everything before the first comma. False without a comma
// or with a number that is not a character set (0 to 255).
bool ParseCharSetLine(std::string_view line, std::string& name, int& charset);

// Comma-separated fields, blanks around each dropped; "" gives one empty field.
std::vector<std::string> SplitFields(std::string_view line);
std::string JoinFields(const std::vector<std::string>& fields);

// A bounds field "L.T.W.H"; an empty number stays empty. False with fewer than four numbers
// or a number that is not an integer.
using TBounds = std::array<std::optional<int>, 4>;
bool ParseBounds(std::string_view field, TBounds& bounds);

}  // namespace multilang::detail
