// ParseSingle and ParseInt16 on any text, with either separator: the first byte picks the
// separator (odd: ',', even: '.'), the rest is the text. The properties:
//  1. A text is a number (a value, or out of range) exactly when it has the documented form.
//  2. ParseSingle gives what strtof gives in the C locale, bit for bit, and is out of range
//     exactly when strtof overflows.
//  3. ParseInt16 gives the value rounded to the nearest integer, ties to even, and is out of
//     range exactly when that lies outside -32768 to 32767.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <regex>
#include <string>
#include <string_view>

#include "grid/text_to_number.h"

#define CHECK(condition)                                                       \
  if (!(condition)) {                                                          \
    std::fprintf(stderr, "failed: %s for \"%s\"\n", #condition, text.c_str()); \
    std::abort();                                                              \
  }

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 256) {  // std::regex recurses once a character
    return 0;
  }
  const char separator = data[0] % 2 ? ',' : '.';
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  // The parsers see exactly the text's bytes, with no terminator after them, so that reading
  // one byte too far is an AddressSanitizer finding.
  const std::unique_ptr<char[]> exact(new char[text.size()]);
  std::copy(text.begin(), text.end(), exact.get());
  const std::string_view view(exact.get(), text.size());
  const auto single = grid::ParseSingle(view, separator);
  const auto int16 = grid::ParseInt16(view, separator);

  static const std::regex kDot(
      R"([ \t]*[+-]?([0-9]+(\.[0-9]*)?|\.[0-9]+)([eE][+-]?[0-9]+)?[ \t]*)");
  static const std::regex kComma(
      R"([ \t]*[+-]?([0-9]+(,[0-9]*)?|,[0-9]+)([eE][+-]?[0-9]+)?[ \t]*)");
  const bool number = std::regex_match(text, separator == '.' ? kDot : kComma);
  CHECK(number == (single.status != grid::ParseStatus::not_a_number));
  CHECK(number == (int16.status != grid::ParseStatus::not_a_number));
  if (!number) {
    return 0;
  }
  std::string c_text = text;
  std::replace(c_text.begin(), c_text.end(), separator, '.');

  const float expected = std::strtof(c_text.c_str(), nullptr);
  CHECK(std::isinf(expected) == (single.status == grid::ParseStatus::out_of_range));
  CHECK(std::isinf(expected) ||
        std::bit_cast<std::uint32_t>(single.value) == std::bit_cast<std::uint32_t>(expected));

  // A double holds a text of at most 15 significant digits exactly enough to round it; a longer
  // one is checked unless it lies near a tie, where only the digits themselves can tell.
  const double value = std::strtod(c_text.c_str(), nullptr);
  const std::string mantissa = c_text.substr(0, c_text.find_first_of("eE"));
  std::string digits;
  std::copy_if(mantissa.begin(), mantissa.end(), std::back_inserter(digits), ::isdigit);
  digits.erase(0, digits.find_first_not_of('0'));
  digits.erase(digits.find_last_not_of('0') + 1);
  const double fraction = std::fabs(value - std::trunc(value));
  if (digits.size() > 15 && std::fabs(fraction - 0.5) < 1e-6) {
    return 0;
  }
  const double rounded = std::nearbyint(value);  // to nearest, ties to even
  const bool in_range = rounded >= -32768 && rounded <= 32767;
  CHECK(in_range == (int16.status == grid::ParseStatus::ok));
  CHECK(!in_range || int16.value == rounded);
  return 0;
}
