// POSIX backend of platform/loader.h: the Windows search order for a bare
// library name (program directory, current directory, PATH), then dlopen.
#include "platform/loader.h"

#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

#include "platform/file_system.h"

namespace platform {
namespace {

bool IsRegularFile(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

std::string DirectoryOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!dir.empty() && dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::vector<std::string> SearchDirectories() {
  std::vector<std::string> dirs;
  std::string self;
  if (native<FileSystem>().program_path(self) == Error::none) dirs.push_back(DirectoryOf(self));
  dirs.push_back(".");
  if (const char* path = std::getenv("PATH")) {
    std::string list = path;
    size_t start = 0;
    while (start <= list.size()) {
      size_t end = list.find(':', start);
      if (end == std::string::npos) end = list.size();
      // An empty entry would mean the current directory, already searched.
      if (end > start) dirs.push_back(list.substr(start, end - start));
      start = end + 1;
    }
  }
  return dirs;
}

using NoArgument = uint32_t (*)();
using TextArgument = uint32_t (*)(const char*);

class PosixLoader final : public Loader {
 public:
  Error load(const std::string& name, LibraryHandle& out, std::string& path) override {
    std::string found;
    if (name.find('/') != std::string::npos) {
      if (IsRegularFile(name)) found = name;
    } else {
      for (const std::string& dir : SearchDirectories()) {
        std::string candidate = Join(dir, name);
        if (IsRegularFile(candidate)) {
          found = candidate;
          break;
        }
      }
    }
    if (found.empty()) return Error::not_found;
    // The first file of that name is the library, as with LoadLibrary: a
    // damaged one is a failure, not a reason to look further.
    void* handle = ::dlopen(found.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle) return Error::io;
    out = handle;
    path = found;
    return Error::none;
  }

  LibrarySymbol find(LibraryHandle library, const std::string& name) override {
    return ::dlsym(library, name.c_str());
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
  static PosixLoader instance;
  return instance;
}

}  // namespace platform
