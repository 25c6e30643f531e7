#include "grid/wording.h"

namespace grid {

std::string Counted(std::uint64_t count, std::string_view one, std::string_view many,
                    std::string_view group) {
  std::string digits = std::to_string(count);
  for (std::size_t at = digits.size(); !group.empty() && at > 3;) {
    at -= 3;
    digits.insert(at, group);
  }
  digits += ' ';
  digits += count == 1 ? one : many;
  return digits;
}

std::string Listed(const std::vector<std::string>& items, std::string_view between,
                   std::string_view last) {
  std::string listed;
  for (std::size_t i = 0; i < items.size(); ++i) {
    if (i > 0) {
      listed.append(i + 1 == items.size() ? last : between);
    }
    listed.append(items[i]);
  }
  return listed;
}

}  // namespace grid
