#include "grid/format_single.h"

#include <charconv>

namespace grid {

char* FormatSingle(float value, char* out) {
  if (value == 0.0f) {
    *out = '0';  // also for -0, which is no negative value
    return out + 1;
  }
  // to_chars with a precision is specified as printf's %.7g: shortest of fixed and exponent
  // form, trailing zeros removed, ties at the seventh digit resolved on the exact binary value.
  const auto [end, error] =
      std::to_chars(out, out + kMaxSingleText, value, std::chars_format::general, 7);
  for (char* c = out; c != end; ++c) {
    if (*c == 'e') {
      *c = 'E';
      break;
    }
  }
  return end;
}

std::string FormatSingle(float value) {
  char text[kMaxSingleText];
  return std::string(text, FormatSingle(value, text));
}

}  // namespace grid
