// Win32 backend: UTF-8 paths to the W calls' UTF-16 and back (wide_path.h).
#include "wide_path.h"

#include "../portable/unicode.h"

namespace platform::win32 {

std::wstring wide(std::string_view text) {
  std::u16string w = unicode::wtf8_to_utf16(text);
  return std::wstring(w.begin(), w.end());
}

std::string narrow(std::wstring_view text) {
  return unicode::utf16_to_wtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size()));
}

namespace {

bool is_absolute(const std::wstring& w) {
  return (w.size() >= 3 && w[1] == L':' && (w[2] == L'\\' || w[2] == L'/')) ||
         (w.size() >= 2 && (w[0] == L'\\' || w[0] == L'/') && (w[1] == L'\\' || w[1] == L'/'));
}

}  // namespace

std::wstring file_path(std::string_view path) {
  std::wstring w = wide(path);
  // A relative path is long when it is long below the current directory.
  if ((w.size() < MAX_PATH - 12 && is_absolute(w)) || w.compare(0, 4, L"\\\\?\\") == 0) return w;
  // Full path first: the \\?\ form takes no "." or ".." steps, no '/' and
  // no relative path.
  std::wstring full;
  if (!grow_wide(full, [&](wchar_t* b, DWORD n) { return GetFullPathNameW(w.c_str(), n, b, nullptr); })) return w;
  if (full.size() < MAX_PATH - 12) return w;
  if (full.size() >= 3 && full[1] == L':' && full[2] == L'\\') return L"\\\\?\\" + full;
  if (full.size() > 2 && full[0] == L'\\' && full[1] == L'\\' && full[2] != L'.' && full[2] != L'?')
    return L"\\\\?\\UNC\\" + full.substr(2);
  return full;
}

std::string message_form(std::wstring_view path) {
  if (path.compare(0, 8, L"\\\\?\\UNC\\") == 0) return "\\\\" + narrow(path.substr(8));
  if (path.compare(0, 4, L"\\\\?\\") == 0) return narrow(path.substr(4));
  return narrow(path);
}

}  // namespace platform::win32
