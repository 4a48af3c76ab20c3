// Win32 backend of platform/self_removal.h: a command script for COMSPEC,
// started hidden at idle priority while this process runs at real time.
#include "platform/self_removal.h"

#include <shlobj.h>
#include <shellapi.h>

#include <vector>

#include "windows_fwd.h"

namespace platform {
namespace {

// UTF-16 of an ANSI text.
std::wstring FromAnsi(const std::string& text) {
  if (text.empty()) return {};
  int n = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
  std::wstring out(static_cast<size_t>(n), L'\0');
  MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), n);
  return out;
}

// The OEM form of `text`; false when the code page lacks one of its
// characters (a best-fit stand-in would name another path).
bool ToOem(const std::wstring& text, std::string& out) {
  out.clear();
  if (text.empty()) return true;
  BOOL lossy = FALSE;
  int n = WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), nullptr, 0,
                              nullptr, &lossy);
  if (n <= 0 || lossy) return false;
  out.assign(static_cast<size_t>(n), '\0');
  WideCharToMultiByte(CP_OEMCP, WC_NO_BEST_FIT_CHARS, text.data(), static_cast<int>(text.size()), out.data(), n,
                      nullptr, &lossy);
  return !lossy;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class Win32SelfRemoval final : public SelfRemoval {
 public:
  Error script_path(const std::string& path, std::string& out) const override {
    // No Windows path holds these; in a script line they would end the
    // quotes, the line, or make del take a pattern.
    for (char c : path)
      if (c == '"' || c == '*' || c == '?' || static_cast<unsigned char>(c) < 32) return Error::unsupported;
    std::wstring wide = FromAnsi(path);
    std::string oem;
    if (!ToOem(wide, oem)) {
      DWORD n = GetShortPathNameW(wide.c_str(), nullptr, 0);
      if (n == 0) {
        DWORD code = GetLastError();
        return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ? Error::not_found : Error::unsupported;
      }
      std::wstring brief(n, L'\0');
      n = GetShortPathNameW(wide.c_str(), brief.data(), n);
      brief.resize(n);
      if (n == 0 || !ToOem(brief, oem)) return Error::unsupported;
    }
    // cmd expands %NAME% everywhere in a script line; %% is one '%'.
    std::string escaped;
    for (char c : oem) escaped += c == '%' ? std::string("%%") : std::string(1, c);
    out = Quoted(escaped);
    return Error::none;
  }
  std::string script_extension() const override { return ".cmd"; }
  std::string change_to_root() const override { return "cd \\\n"; }
  std::string begin_attempts() const override { return ""; }
  std::string end_if_missing(const std::string& path) const override {
    return "if not exist " + path + " goto end\n";
  }
  std::string end_attempts() const override { return ":end\n"; }
  std::string delete_file(const std::string& path) const override { return "del " + path + "\n"; }
  std::string remove_directory(const std::string& path) const override { return "rmdir " + path + "\n"; }
  std::string run(const std::string& program, const std::string& argument) const override {
    return program + " " + argument + "\n";
  }

  Error command_interpreter(std::string& out) override {
    DWORD n = GetEnvironmentVariableA("COMSPEC", nullptr, 0);
    if (n == 0) return Error::not_found;
    std::vector<char> buf(n);
    DWORD got = GetEnvironmentVariableA("COMSPEC", buf.data(), n);
    if (got == 0 || got >= n) return Error::not_found;
    out.assign(buf.data(), got);
    return Error::none;
  }

  bool start_script(const std::string& interpreter, const std::string& script,
                    const std::string& deleted_item) override {
    // cmd expands %NAME% in its own command line too, where no escape
    // exists: a script path with '%' goes by its short form.
    std::string target = script;
    if (target.find('%') != std::string::npos) {
      char brief[MAX_PATH + 1];
      DWORD n = GetShortPathNameA(script.c_str(), brief, sizeof brief);
      if (n == 0 || n >= sizeof brief || std::string(brief, n).find('%') != std::string::npos) return false;
      target.assign(brief, n);
    }
    std::string parameters = "/c \"" + target + "\" > nul 2>&1";
    SHELLEXECUTEINFOA request = {};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.hwnd = nullptr;
    request.lpVerb = "Open";
    request.lpFile = interpreter.c_str();
    request.lpParameters = parameters.c_str();
    request.lpDirectory = nullptr;
    request.nShow = SW_HIDE;

    // The script must not get the processor before this process has exited.
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    if (!ShellExecuteExA(&request)) {
      SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
      SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
      return false;
    }
    // The handle stays open until this process exits.
    SetPriorityClass(request.hProcess, IDLE_PRIORITY_CLASS);
    SetProcessPriorityBoost(request.hProcess, TRUE);
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHA, deleted_item.c_str(), nullptr);
    return true;
  }
};

}  // namespace

template <> SelfRemoval& native<SelfRemoval>() {
  static Win32SelfRemoval instance;
  return instance;
}

}  // namespace platform
