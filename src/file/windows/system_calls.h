// The system calls a test stands in for where no real fault or moment can be made to order under
// Wine: a disk that fails to flush; a file another program holds until the commit's rename has
// been refused for it. The program calls them through these pointers, which hold the
// system's own functions unless a test sets them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace file::windows::calls {

inline BOOL(WINAPI* flush_file_buffers)(HANDLE file) = ::FlushFileBuffers;
// The commit's rename.
inline BOOL(WINAPI* set_file_information)(HANDLE file, FILE_INFO_BY_HANDLE_CLASS kind, LPVOID info,
                                          DWORD size) = ::SetFileInformationByHandle;

}  // namespace file::windows::calls
