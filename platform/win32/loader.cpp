// Win32 backend of platform/loader.h: LoadLibraryW, GetProcAddress, and
// calls through the Windows API calling convention. The library's text
// arguments are ANSI (what its exports take), converted here.
#include "platform/loader.h"

#include <vector>

#include "platform/code_page.h"
#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

using NoArgument = DWORD(WINAPI*)();
using TextArgument = DWORD(WINAPI*)(const char*);

class Win32Loader final : public Loader {
 public:
  Error load(const std::string& name, LibraryHandle& out, std::string& path) override {
    HMODULE module = LoadLibraryW(win32::wide(name).c_str());
    if (!module) {
      DWORD e = GetLastError();
      return (e == ERROR_MOD_NOT_FOUND || e == ERROR_FILE_NOT_FOUND) ? Error::not_found : Error::io;
    }
    std::wstring file;
    if (!win32::grow_wide(file, [&](wchar_t* b, DWORD n) {
          DWORD got = GetModuleFileNameW(module, b, n);
          return got >= n ? n * 2 : got;  // cut short: ask for twice the room
        }))
      file.clear();
    path = win32::message_form(file);
    out = module;
    return Error::none;
  }

  LibrarySymbol find(LibraryHandle library, const std::string& name) override {
    FARPROC p = GetProcAddress(static_cast<HMODULE>(library), name.c_str());
    return reinterpret_cast<LibrarySymbol>(p);
  }

  uint32_t call(LibrarySymbol function) override {
    return reinterpret_cast<NoArgument>(function)();
  }
  uint32_t call(LibrarySymbol function, const char* text) override {
    const std::string ansi = code_page().utf8_to_ansi(text);
    return reinterpret_cast<TextArgument>(function)(ansi.c_str());
  }
};

}  // namespace

template <> Loader& native<Loader>() {
  static Win32Loader instance;
  return instance;
}

}  // namespace platform
