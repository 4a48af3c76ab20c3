// Refusing installation directories whose removal would destroy far more
// than one product.
#include "install_dir_guard.h"

#include <cctype>
#include <iterator>
#include <vector>

#include "platform/environment.h"
#include "platform/file_system.h"

namespace {

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// Absolute, without trailing separators, but a root keeps its own.
std::string Normalised(const std::string& path) {
  std::string full;
  if (platform::file_system().full_path(path, full) != platform::Error::none) full = path;
  while (full.size() > 1 && IsSeparator(full.back())) {
    if (full.size() == 3 && full[1] == ':') break;  // "C:\"
    full.pop_back();
  }
  return full;
}

// Windows names compare without regard to case; POSIX names exactly.
bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  bool fold = platform::file_system().path_separator() == '\\';
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (IsSeparator(x) && IsSeparator(y)) continue;
    if (fold) {
      x = static_cast<char>(std::tolower(static_cast<unsigned char>(x)));
      y = static_cast<char>(std::tolower(static_cast<unsigned char>(y)));
    }
    if (x != y) return false;
  }
  return true;
}

bool IsRootText(const std::string& path) {
  if (path.empty()) return true;
  if (path.size() == 1 && IsSeparator(path[0])) return true;
  // "C:" and "C:\"
  if ((path.size() == 2 || path.size() == 3) && path[1] == ':' &&
      std::isalpha(static_cast<unsigned char>(path[0])) && (path.size() == 2 || IsSeparator(path[2])))
    return true;
  // "\\server\share": at most two names after the leading pair.
  if (path.size() > 2 && IsSeparator(path[0]) && IsSeparator(path[1])) {
    int names = 0;
    bool in_name = false;
    for (size_t i = 2; i < path.size(); ++i) {
      if (IsSeparator(path[i])) {
        in_name = false;
      } else if (!in_name) {
        in_name = true;
        ++names;
      }
    }
    return names <= 2;
  }
  return false;
}

// Whether `inner` is `outer` or lies below it.
bool IsWithin(const std::string& inner, const std::string& outer) {
  if (inner.size() < outer.size()) return false;
  if (!SameName(inner.substr(0, outer.size()), outer)) return false;
  return inner.size() == outer.size() || IsSeparator(inner[outer.size()]) || IsSeparator(outer.back());
}

// Directories every POSIX system keeps for itself.
constexpr const char* kPosixSystemDirectories[] = {
    "/bin",       "/boot",      "/dev",           "/etc",           "/home",      "/lib",      "/lib32",
    "/lib64",     "/libx32",    "/media",         "/mnt",           "/opt",       "/proc",     "/root",
    "/run",       "/sbin",      "/snap",          "/srv",           "/sys",       "/tmp",      "/usr",
    "/usr/bin",   "/usr/games", "/usr/include",   "/usr/lib",       "/usr/lib32", "/usr/lib64", "/usr/libexec",
    "/usr/local", "/usr/sbin",  "/usr/share",     "/usr/src",       "/usr/local/bin", "/usr/local/lib",
    "/usr/local/share", "/var", "/var/cache",     "/var/lib",       "/var/log",   "/var/opt",  "/var/spool",
    "/var/tmp",
};

// Windows keeps its own directories where these variables say.
constexpr const char* kWindowsSystemVariables[] = {
    "SystemRoot", "windir",       "ProgramFiles",  "ProgramFiles(x86)", "ProgramW6432", "CommonProgramFiles",
    "CommonProgramFiles(x86)",    "CommonProgramW6432", "ProgramData", "ALLUSERSPROFILE", "PUBLIC", "APPDATA",
    "LOCALAPPDATA", "TEMP", "TMP",
};

bool IsWithinAny(const std::string& outer, const std::vector<std::string>& guarded) {
  for (const std::string& g : guarded)
    if (IsWithin(Normalised(g), outer)) return true;
  return false;
}

}  // namespace

bool IsProtectedDirectory(const std::string& directory) {
  // The text as written too: "C:\" is a drive root even where the system
  // would read it as a relative name.
  std::string written = directory;
  while (written.size() > 1 && IsSeparator(written.back()) && !(written.size() == 3 && written[1] == ':'))
    written.pop_back();
  std::string dir = Normalised(directory);
  if (IsRootText(written) || IsRootText(dir)) return true;

  std::string root;
  if (platform::file_system().volume_root(dir, root) == platform::Error::none &&
      SameName(Normalised(root), dir))
    return true;

  std::vector<std::string> guarded;
  for (const char* variable : {"HOME", "USERPROFILE", "TMPDIR"}) {
    std::optional<std::string> value = platform::environment().get(variable);
    if (value && !value->empty()) guarded.push_back(*value);
  }
  if (platform::file_system().path_separator() == '/') {
    guarded.insert(guarded.end(), std::begin(kPosixSystemDirectories), std::end(kPosixSystemDirectories));
  } else {
    for (const char* variable : kWindowsSystemVariables) {
      std::optional<std::string> value = platform::environment().get(variable);
      if (value && !value->empty()) guarded.push_back(*value);
    }
    if (std::optional<std::string> system = platform::environment().get("SystemRoot"); system && !system->empty()) {
      guarded.push_back(*system + "\\System32");
      guarded.push_back(*system + "\\SysWOW64");
    }
  }
  return IsWithinAny(dir, guarded);
}
