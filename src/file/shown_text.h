// Texts as messages show them: a path or a typed text never reaches a terminal or a box raw.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace file {

// `text` (UTF-8) with everything that could act instead of being read written out: \r, \n and
// \t; other control characters, DEL and bytes that are not UTF-8 as \xNN; C1 controls, the
// characters that reorder text (U+061C, U+200E, U+200F, U+202A to U+202E, U+2066 to U+2069) and
// the line and paragraph separators (U+2028, U+2029) as \uNNNN. So a folder's name cannot move
// the cursor, set a terminal's title, turn a line around or break it. Cut after `max_characters`,
// never inside one, with "..." after it.
std::string Escaped(std::string_view text, std::size_t max_characters = std::string_view::npos);

// A path as messages show it: UTF-8, escaped.
std::string ShownPath(const std::filesystem::path& path);

// The current folder as messages show it, or what it is when it has no path ("the current
// folder, which has been deleted").
std::string ShownCurrentFolder();

// A size in bytes, kB, MB, GB or TB, as "19.6 MB".
std::string SizeText(std::uint64_t bytes);

}  // namespace file
