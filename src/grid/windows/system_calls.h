// The system calls a test stands in for where no real fault can be made to order under Wine: a
// disk that fails to flush. The program calls them through these pointers, which hold the
// system's own functions unless a test sets them.
#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace grid::windows::calls {

inline BOOL(WINAPI* flush_file_buffers)(HANDLE file) = ::FlushFileBuffers;

}  // namespace grid::windows::calls
