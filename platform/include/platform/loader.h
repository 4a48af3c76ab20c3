// Portable. No OS headers.
//
// Loading a shared library by its bare name and calling its exported
// functions. Win32: LoadLibraryA (whose search ends with the directories of
// PATH) and GetProcAddress; the functions use the Windows API calling
// convention. POSIX: the program's directory, the current directory, then
// each PATH directory, for a file of exactly that name, loaded with dlopen;
// the functions are plain C functions.
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/service.h"

namespace platform {

// A loaded library; libraries are never unloaded.
using LibraryHandle = void*;
// The address of an exported function, called through Loader::call.
using LibrarySymbol = void*;

class Loader {
 public:
  virtual ~Loader() = default;
  // Loads `name` (a bare file name is searched as above; a name with a
  // directory is loaded from there). not_found when no file is found, io
  // when a file is found but cannot be loaded. `path`: the file loaded.
  virtual Error load(const std::string& name, LibraryHandle& out, std::string& path) = 0;
  // The exported function `name`, or nullptr when it is not exported.
  virtual LibrarySymbol find(LibraryHandle library, const std::string& name) = 0;
  // Calls a function taking no argument and returning a 32-bit value.
  virtual uint32_t call(LibrarySymbol function) = 0;
  // Calls a function taking one byte-string argument.
  virtual uint32_t call(LibrarySymbol function, const char* text) = 0;
};

inline Loader& loader() { return current<Loader>(); }

}  // namespace platform
