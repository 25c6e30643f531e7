#include "file/shown_text.h"

namespace file {
namespace {

constexpr std::string_view kHex = "0123456789ABCDEF";

// The length of the UTF-8 sequence at the start of `text`, 0 if none starts there. Overlong
// forms, surrogates and values beyond U+10FFFF are no sequence.
std::size_t SequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char first = byte(0);
  const std::size_t length = first < 0x80                    ? 1
                             : first >= 0xc2 && first < 0xe0 ? 2
                             : first >= 0xe0 && first < 0xf0 ? 3
                             : first >= 0xf0 && first < 0xf5 ? 4
                                                             : 0;
  if (length == 0 || length > text.size()) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xc0) != 0x80) {
      return 0;
    }
  }
  const bool overlong = (first == 0xe0 && byte(1) < 0xa0) || (first == 0xf0 && byte(1) < 0x90);
  const bool surrogate = first == 0xed && byte(1) >= 0xa0;
  const bool too_large = first == 0xf4 && byte(1) >= 0x90;
  return overlong || surrogate || too_large ? 0 : length;
}

char32_t CodePoint(std::string_view sequence) {
  const auto byte = [&](std::size_t i) { return static_cast<char32_t>(sequence[i]) & 0xff; };
  switch (sequence.size()) {
    case 1:
      return byte(0);
    case 2:
      return (byte(0) & 0x1f) << 6 | (byte(1) & 0x3f);
    case 3:
      return (byte(0) & 0x0f) << 12 | (byte(1) & 0x3f) << 6 | (byte(2) & 0x3f);
    default:
      return (byte(0) & 0x07) << 18 | (byte(1) & 0x3f) << 12 | (byte(2) & 0x3f) << 6 |
             (byte(3) & 0x3f);
  }
}

// Characters that reorder a line or break it where the box or terminal shows them.
bool ActsOnTheLine(char32_t c) {
  return c == 0x061c || c == 0x200e || c == 0x200f || c == 0x2028 || c == 0x2029 ||
         (c >= 0x202a && c <= 0x202e) || (c >= 0x2066 && c <= 0x2069);
}

}  // namespace

std::string Escaped(std::string_view text, std::size_t max_characters) {
  std::string shown;
  std::size_t characters = 0;
  for (std::size_t pos = 0; pos < text.size(); ++characters) {
    if (characters == max_characters) {
      return shown + "...";
    }
    const std::size_t length = SequenceLength(text.substr(pos));
    const auto first = static_cast<unsigned char>(text[pos]);
    if (length == 0 || (length == 1 && (first < 0x20 || first == 0x7f))) {
      if (first == '\r' || first == '\n' || first == '\t') {
        shown += first == '\r' ? "\\r" : first == '\n' ? "\\n" : "\\t";
      } else {
        shown += "\\x";
        shown += kHex[first >> 4];
        shown += kHex[first & 0xf];
      }
      pos += 1;
      continue;
    }
    const std::string_view sequence = text.substr(pos, length);
    const char32_t c = CodePoint(sequence);
    if ((c >= 0x80 && c < 0xa0) || ActsOnTheLine(c)) {
      shown += "\\u";
      for (int shift = 12; shift >= 0; shift -= 4) {
        shown += kHex[(c >> shift) & 0xf];
      }
    } else {
      shown += sequence;
    }
    pos += length;
  }
  return shown;
}

std::string ShownPath(const std::filesystem::path& path) {
  const std::u8string utf8 = path.u8string();
  return Escaped(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::string ShownCurrentFolder() {
  std::error_code error;
  const std::filesystem::path current = std::filesystem::current_path(error);
  if (!error) {
    return ShownPath(current);
  }
  return error == std::errc::no_such_file_or_directory
             ? "the current folder, which has been deleted"
             : "the current folder";
}

std::string SizeText(std::uint64_t bytes) {
  if (bytes < 1000) {
    return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  }
  constexpr const char* kUnits[] = {"kB", "MB", "GB", "TB"};
  std::uint64_t unit = 1000;
  int index = 0;
  while (index < 3 && bytes >= unit * 1000 - unit / 20) {
    unit *= 1000;
    ++index;
  }
  const std::uint64_t tenths = (bytes + unit / 20) / (unit / 10);
  return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " " + kUnits[index];
}

}  // namespace file
