// Win32 backend only. The portable code's text (UTF-8; WTF-8 for names the
// system listed) as the W calls take it, and back.
#pragma once

#include <string>
#include <string_view>

#include "windows_fwd.h"

namespace platform::win32 {

std::wstring wide(std::string_view text);
std::string narrow(std::wstring_view text);
inline std::string narrow(const wchar_t* text) { return narrow(std::wstring_view(text)); }

// `path` for the W file calls: a path whose full form has MAX_PATH - 12
// characters or more (CreateDirectory's limit) gets the \\?\ form of it, so a
// deep tree can be made, read and removed; a shorter one goes unchanged.
std::wstring file_path(std::string_view path);

// The inverse for messages and callers: without \\?\ (\\?\UNC\ gives \\).
std::string message_form(std::wstring_view path);

// Calls `get(buffer, size)` (an API that returns the length it needs when
// the buffer is too small, else the length it stored; 0 on failure) until
// the text fits. False when it failed.
template <class Get> bool grow_wide(std::wstring& out, Get get) {
  std::wstring buf(MAX_PATH, L'\0');
  for (int tries = 0; tries < 8; ++tries) {
    DWORD n = get(buf.data(), static_cast<DWORD>(buf.size()));
    if (n == 0) return false;
    if (n < buf.size()) {
      out.assign(buf.data(), n);
      return true;
    }
    buf.resize(n + 1);
  }
  SetLastError(ERROR_BUFFER_OVERFLOW);
  return false;
}

}  // namespace platform::win32
