// The system's words for an error, and the loop that hands bytes to the system.
#include "system/windows/text.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "support/temp_dir_test.h"
#include "system/windows/write_all.h"

namespace sys {
namespace {

class WindowsWriteAllTest : public testing_support::TempDirTest {};

TEST_F(WindowsWriteAllTest, AddsToTheCallersCount) {
  HANDLE file = ::CreateFileW(output().c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const std::string bytes(3 << 20, 'x');
  std::uint64_t written = 7;
  EXPECT_EQ(sys::WriteAll(file, bytes.data(), bytes.size(), written), 0u);
  EXPECT_EQ(written, 7 + bytes.size());
  ::CloseHandle(file);
}

// A system's message goes into a sentence of the program's: its own full stop and line end go.
TEST(WindowsSystemError, GivesTheSystemsWordsWithoutTheirEnd) {
  for (const long error : {ERROR_ACCESS_DENIED, ERROR_DISK_FULL, ERROR_SHARING_VIOLATION,
                           ERROR_FILE_NOT_FOUND, ERROR_DIRECTORY}) {
    const std::string message = sys::SystemError(static_cast<DWORD>(error)).message();
    EXPECT_FALSE(message.empty() || message.starts_with("Windows error")) << error;
    EXPECT_EQ(std::string(". \r\n").find(message.back()), std::string::npos) << message;
  }
}

}  // namespace
}  // namespace sys
