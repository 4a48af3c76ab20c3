// Win32 backend of platform/loader.h: LoadLibraryA, GetProcAddress, and
// calls through the Windows API calling convention.
#include "platform/loader.h"

#include <vector>

#include "windows_fwd.h"

namespace platform {
namespace {

using NoArgument = DWORD(WINAPI*)();
using TextArgument = DWORD(WINAPI*)(const char*);

class Win32Loader final : public Loader {
 public:
  Error load(const std::string& name, LibraryHandle& out, std::string& path) override {
    HMODULE module = LoadLibraryA(name.c_str());
    if (!module) {
      DWORD e = GetLastError();
      return (e == ERROR_MOD_NOT_FOUND || e == ERROR_FILE_NOT_FOUND) ? Error::not_found : Error::io;
    }
    std::vector<char> buf(MAX_PATH + 1);
    DWORD n = GetModuleFileNameA(module, buf.data(), static_cast<DWORD>(buf.size()));
    path.assign(buf.data(), n < buf.size() ? n : 0);
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
    return reinterpret_cast<TextArgument>(function)(text);
  }
};

}  // namespace

template <> Loader& native<Loader>() {
  static Win32Loader instance;
  return instance;
}

}  // namespace platform
