// Win32 backend of platform/process.h: CreateProcessA with the joined
// command line, WaitForSingleObject, GetExitCodeProcess, priority classes.
#include "platform/process.h"

#include <cerrno>
#include <vector>

#include "system_error.h"
#include "windows_fwd.h"

namespace platform {
namespace {

// The C runtime's error number for a failed start, so that its message
// text says something about it.
int ErrnoOf(Error e) {
  switch (e) {
    case Error::not_found: return ENOENT;
    case Error::access_denied: return EACCES;
    case Error::no_memory: return ENOMEM;
    case Error::name_too_long: return ENAMETOOLONG;
    default: return EINVAL;
  }
}

class Win32Process final : public Process {
 public:
  Error start(const std::string& command_line, const std::string& directory, ChildProcess& out) override {
    out = ChildProcess{};
    // CreateProcessA may write into the command line: a copy of our own.
    std::vector<char> line(command_line.begin(), command_line.end());
    line.push_back('\0');
    STARTUPINFOA startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        directory.empty() ? nullptr : directory.c_str(), &startup, &info)) {
      Error e = win32::error_from_win32(GetLastError());
      errno = ErrnoOf(e);
      return e;
    }
    CloseHandle(info.hThread);
    out.handle = reinterpret_cast<intptr_t>(info.hProcess);
    return Error::none;
  }

  Error wait(ChildProcess& child, int& exit_code) override {
    if (!child.running()) return Error::not_found;
    HANDLE process = reinterpret_cast<HANDLE>(child.handle);
    child.handle = -1;
    Error result = Error::none;
    DWORD code = 0;
    if (WaitForSingleObject(process, INFINITE) == WAIT_FAILED || !GetExitCodeProcess(process, &code)) {
      result = win32::error_from_win32(GetLastError());
    }
    CloseHandle(process);
    exit_code = static_cast<int>(code);
    return result;
  }

  Error set_process_priority(PriorityClass priority) override {
    DWORD value = NORMAL_PRIORITY_CLASS;
    switch (priority) {
      case PriorityClass::idle: value = IDLE_PRIORITY_CLASS; break;
      case PriorityClass::below_normal: value = BELOW_NORMAL_PRIORITY_CLASS; break;
      case PriorityClass::normal: value = NORMAL_PRIORITY_CLASS; break;
      case PriorityClass::above_normal: value = ABOVE_NORMAL_PRIORITY_CLASS; break;
      case PriorityClass::high: value = HIGH_PRIORITY_CLASS; break;
      case PriorityClass::realtime: value = REALTIME_PRIORITY_CLASS; break;
    }
    if (!SetPriorityClass(GetCurrentProcess(), value)) return win32::error_from_win32(GetLastError());
    return Error::none;
  }

  Error set_thread_priority(ThreadPriority priority) override {
    int value = THREAD_PRIORITY_NORMAL;
    switch (priority) {
      case ThreadPriority::idle: value = THREAD_PRIORITY_IDLE; break;
      case ThreadPriority::lowest: value = THREAD_PRIORITY_LOWEST; break;
      case ThreadPriority::below_normal: value = THREAD_PRIORITY_BELOW_NORMAL; break;
      case ThreadPriority::normal: value = THREAD_PRIORITY_NORMAL; break;
      case ThreadPriority::above_normal: value = THREAD_PRIORITY_ABOVE_NORMAL; break;
      case ThreadPriority::highest: value = THREAD_PRIORITY_HIGHEST; break;
      case ThreadPriority::time_critical: value = THREAD_PRIORITY_TIME_CRITICAL; break;
    }
    if (!SetThreadPriority(GetCurrentThread(), value)) return win32::error_from_win32(GetLastError());
    return Error::none;
  }
};

}  // namespace

template <> Process& native<Process>() {
  static Win32Process instance;
  return instance;
}

}  // namespace platform
