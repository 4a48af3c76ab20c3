// Win32 backend of platform/self_removal.h: a command script for COMSPEC,
// started hidden at idle priority while this process runs at real time.
#include "platform/self_removal.h"

#include <shlobj.h>
#include <shellapi.h>

#include <vector>

#include "windows_fwd.h"

namespace platform {
namespace {

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

class Win32SelfRemoval final : public SelfRemoval {
 public:
  std::string script_extension() const override { return ".cmd"; }
  std::string change_to_root() const override { return "cd \\\n"; }
  std::string begin_attempts() const override { return ""; }
  std::string end_if_missing(const std::string& path) const override {
    return "if not exist " + Quoted(path) + " goto end\n";
  }
  std::string end_attempts() const override { return ":end\n"; }
  std::string delete_file(const std::string& path) const override { return "del " + Quoted(path) + "\n"; }
  std::string remove_directory(const std::string& path) const override {
    return "rmdir " + Quoted(path) + "\n";
  }
  std::string run(const std::string& program, const std::string& argument) const override {
    return Quoted(program) + " " + argument + "\n";
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
    std::string parameters = "/c \"" + script + "\" > nul 2>&1";
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
