#ifndef NOMINMAX
#define NOMINMAX
#endif
#include "file/windows/path.h"

#include <windows.h>

#include <filesystem>

#include "file/shown_text.h"

namespace file::windows {
namespace {

constexpr std::wstring_view kPrefix = LR"(\\?\)";
constexpr std::wstring_view kNetworkPrefix = LR"(\\?\UNC\)";

// Whether `folder` (with the prefix, without a closing backslash) is a drive's or a share's root.
bool IsRoot(std::wstring_view folder) {
  if (folder.starts_with(kNetworkPrefix)) {
    // \\?\UNC\server\share: one backslash between the server and the share.
    return folder.substr(kNetworkPrefix.size()).find(L'\\') ==
           folder.substr(kNetworkPrefix.size()).rfind(L'\\');
  }
  return folder.size() == kPrefix.size() + 2 && folder.back() == L':';
}

}  // namespace

std::wstring SystemPath(const std::wstring& path) {
  const DWORD size = ::GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  std::wstring full(size, L'\0');
  const DWORD length = ::GetFullPathNameW(path.c_str(), size, full.data(), nullptr);
  full.resize(length < size ? length : 0);
  if (full.empty()) {
    return path;
  }
  if (full.starts_with(kPrefix) || full.starts_with(LR"(\\.\)")) {
    return full;
  }
  if (full.starts_with(LR"(\\)")) {
    return std::wstring(kNetworkPrefix) + full.substr(2);
  }
  return std::wstring(kPrefix) + full;
}

FolderAndName SplitPath(const std::wstring& system_path) {
  const std::size_t slash = system_path.find_last_of(L"\\/");
  FolderAndName split{system_path.substr(0, slash), system_path.substr(slash + 1)};
  if (IsRoot(split.folder)) {
    split.folder += L'\\';
  }
  return split;
}

std::wstring InFolder(const std::wstring& folder, const std::wstring& name) {
  return folder.ends_with(L'\\') ? folder + name : folder + L'\\' + name;
}

std::string ShownSystemPath(std::wstring_view path) {
  if (path.starts_with(kNetworkPrefix)) {
    return ShownPath(
        std::filesystem::path(LR"(\\)" + std::wstring(path.substr(kNetworkPrefix.size()))));
  }
  if (path.starts_with(kPrefix)) {
    path.remove_prefix(kPrefix.size());
  }
  return ShownPath(std::filesystem::path(path));
}

}  // namespace file::windows
