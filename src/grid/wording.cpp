#include "grid/wording.h"

#include <algorithm>

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

std::string AsciiLower(std::string_view text) {
  std::string lower(text);
  std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
  });
  return lower;
}

std::string Filled(std::string_view pattern,
                   const std::vector<std::pair<std::string_view, std::string>>& values) {
  std::string filled;
  while (!pattern.empty()) {
    const auto value = std::find_if(values.begin(), values.end(), [&](const auto& named) {
      return pattern.starts_with(named.first);
    });
    if (value != values.end()) {
      filled += value->second;
      pattern.remove_prefix(value->first.size());
    } else {
      filled += pattern.front();
      pattern.remove_prefix(1);
    }
  }
  return filled;
}

}  // namespace grid
