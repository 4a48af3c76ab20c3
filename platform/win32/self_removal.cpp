// Win32 backend of platform/self_removal.h: a command script for COMSPEC,
// started hidden at idle priority while this process runs at real time.
// cmd reads a script in the OEM code page: a path it cannot write there
// goes by its short (8.3) form.
#include "platform/self_removal.h"

#include <shlobj.h>
#include <shellapi.h>

#include <vector>

#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

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
    std::wstring wide = win32::wide(path);
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
    DWORD n = GetEnvironmentVariableW(L"COMSPEC", nullptr, 0);
    if (n == 0) return Error::not_found;
    std::vector<wchar_t> buf(n);
    DWORD got = GetEnvironmentVariableW(L"COMSPEC", buf.data(), n);
    if (got == 0 || got >= n) return Error::not_found;
    out = win32::narrow(std::wstring_view(buf.data(), got));
    return Error::none;
  }

  bool start_script(const std::string& interpreter, const std::string& script,
                    const std::string& deleted_item) override {
    // cmd expands %NAME% in its own command line too, where no escape
    // exists: a script path with '%' goes by its short form.
    std::wstring target = win32::wide(script);
    if (target.find(L'%') != std::wstring::npos) {
      std::wstring brief;
      if (!win32::grow_wide(brief, [&](wchar_t* b, DWORD n) { return GetShortPathNameW(target.c_str(), b, n); }) ||
          brief.find(L'%') != std::wstring::npos)
        return false;
      target = brief;
    }
    const std::wstring parameters = L"/c \"" + target + L"\" > nul 2>&1";
    const std::wstring file = win32::wide(interpreter);
    const std::wstring item = win32::wide(deleted_item);
    SHELLEXECUTEINFOW request = {};
    request.cbSize = sizeof request;
    request.fMask = SEE_MASK_NOCLOSEPROCESS;
    request.hwnd = nullptr;
    request.lpVerb = L"Open";
    request.lpFile = file.c_str();
    request.lpParameters = parameters.c_str();
    request.lpDirectory = nullptr;
    request.nShow = SW_HIDE;

    // The script must not get the processor before this process has exited.
    SetPriorityClass(GetCurrentProcess(), REALTIME_PRIORITY_CLASS);
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    if (!ShellExecuteExW(&request)) {
      SetPriorityClass(GetCurrentProcess(), NORMAL_PRIORITY_CLASS);
      SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_NORMAL);
      return false;
    }
    // The handle stays open until this process exits.
    SetPriorityClass(request.hProcess, IDLE_PRIORITY_CLASS);
    SetProcessPriorityBoost(request.hProcess, TRUE);
    SHChangeNotify(SHCNE_DELETE, SHCNF_PATHW, item.c_str(), nullptr);
    return true;
  }
};

}  // namespace

template <> SelfRemoval& native<SelfRemoval>() {
  static Win32SelfRemoval instance;
  return instance;
}

}  // namespace platform
