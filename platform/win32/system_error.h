// Win32 backend only. Internal to the platform layer.
//
// The one GetLastError mapping of the Win32 backend and the conversion
// between FILETIME and platform::FileTime.
#pragma once

#include "platform/error.h"
#include "platform/file_time.h"
#include "windows_fwd.h"

namespace platform::win32 {

// Maps a Win32 error code to the platform error vocabulary.
Error error_from_win32(DWORD code);

inline FileTime from_filetime(const FILETIME& ft) {
  ULARGE_INTEGER u;
  u.LowPart = ft.dwLowDateTime;
  u.HighPart = ft.dwHighDateTime;
  return file_time_from_ticks(static_cast<int64_t>(u.QuadPart));
}

inline FILETIME to_filetime(const FileTime& t) {
  ULARGE_INTEGER u;
  u.QuadPart = static_cast<ULONGLONG>(file_time_to_ticks(t));
  FILETIME ft;
  ft.dwLowDateTime = u.LowPart;
  ft.dwHighDateTime = u.HighPart;
  return ft;
}

}  // namespace platform::win32
