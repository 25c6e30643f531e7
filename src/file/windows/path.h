// Paths as Windows takes them whatever their length, and as messages show them.
#pragma once

#include <string>
#include <string_view>

namespace file::windows {

// Full, with the \\?\ prefix (\\?\UNC\server\share\... for a network path), which lifts the
// limit of 260 characters and leaves the path as it is, unnormalised.
std::wstring SystemPath(const std::wstring& path);

// The folder of a full path with the prefix, and the name in it. A drive's or a share's root
// keeps its backslash (\\?\T:\, \\?\UNC\server\share\): without it, the path names the volume,
// not its folder.
struct FolderAndName {
  std::wstring folder;
  std::wstring name;
};
FolderAndName SplitPath(const std::wstring& system_path);

// `name` in `folder`, with one backslash between them, also at a root.
std::wstring InFolder(const std::wstring& folder, const std::wstring& name);

// A path as messages show it: without the prefix, in UTF-8, escaped.
std::string ShownSystemPath(std::wstring_view path);

}  // namespace file::windows
