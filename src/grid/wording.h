// How messages count and list: "6 points", "a, b and c".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace grid {

// `count` and the noun that agrees with it ("1 point", "6 points"), its digits grouped in threes
// by `group` where one is given (a locale's thousands separator).
std::string Counted(std::uint64_t count, std::string_view one, std::string_view many,
                    std::string_view group = {});

// "a, b and c", or with other separators.
std::string Listed(const std::vector<std::string>& items, std::string_view between = ", ",
                   std::string_view last = " and ");

}  // namespace grid
