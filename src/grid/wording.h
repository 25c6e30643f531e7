// How messages and texts are made: counts and lists ("6 points", "a, b and c"), names in
// lower case, and patterns filled in.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace grid {

// `count` and the noun that agrees with it ("1 point", "6 points"), its digits grouped in threes
// by `group` where one is given (a locale's thousands separator).
std::string Counted(std::uint64_t count, std::string_view one, std::string_view many,
                    std::string_view group = {});

// "a, b and c", or with other separators.
std::string Listed(const std::vector<std::string>& items, std::string_view between = ", ",
                   std::string_view last = " and ");

// `text` with ASCII's capitals in lower case, and every other byte as it is.
std::string AsciiLower(std::string_view text);

// `pattern` with each of the names `values` gives ("{layer}") replaced by its value, in one
// pass: a value is never read as a pattern (a file may be named "{code}.txt").
std::string Filled(std::string_view pattern,
                   const std::vector<std::pair<std::string_view, std::string>>& values);

}  // namespace grid
