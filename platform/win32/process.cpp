// Win32 backend of platform/process.h: CreateProcessW with the joined
// command line (UTF-8 here), WaitForSingleObject, GetExitCodeProcess, priority classes.
#include "platform/process.h"

#include <cerrno>
#include <vector>

#include "system_error.h"
#include "wide_path.h"
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
    return start_with_streams(command_line, directory, ChildStreams{}, out);
  }

  Error start_with_streams(const std::string& command_line, const std::string& directory,
                           const ChildStreams& streams, ChildProcess& out) override {
    out = ChildProcess{};
    SECURITY_ATTRIBUTES inherit;
    inherit.nLength = sizeof inherit;
    inherit.lpSecurityDescriptor = nullptr;
    inherit.bInheritHandle = TRUE;
    HANDLE in = INVALID_HANDLE_VALUE, o = INVALID_HANDLE_VALUE, e = INVALID_HANDLE_VALUE;
    const bool redirect = !streams.input.empty() || !streams.output.empty() || !streams.error.empty();
    if (redirect) {
      in = streams.input.empty() ? GetStdHandle(STD_INPUT_HANDLE)
                                 : CreateFileW(win32::wide(streams.input).c_str(), GENERIC_READ, FILE_SHARE_READ, &inherit,
                                               OPEN_EXISTING, 0, nullptr);
      o = streams.output.empty() ? GetStdHandle(STD_OUTPUT_HANDLE)
                                 : CreateFileW(win32::wide(streams.output).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                                               CREATE_ALWAYS, 0, nullptr);
      e = streams.error.empty() ? GetStdHandle(STD_ERROR_HANDLE)
          : streams.error == streams.output ? o
                                            : CreateFileW(win32::wide(streams.error).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                                          &inherit, CREATE_ALWAYS, 0, nullptr);
    }
    // CreateProcessW may write into the command line: a copy of our own.
    std::wstring line = win32::wide(command_line);
    const std::wstring where = win32::wide(directory);
    STARTUPINFOW startup;
    ZeroMemory(&startup, sizeof startup);
    startup.cb = sizeof startup;
    if (redirect) {
      startup.dwFlags = STARTF_USESTDHANDLES;
      startup.hStdInput = in;
      startup.hStdOutput = o;
      startup.hStdError = e;
    }
    PROCESS_INFORMATION info;
    ZeroMemory(&info, sizeof info);
    const BOOL made = CreateProcessW(nullptr, line.data(), nullptr, nullptr, redirect ? TRUE : FALSE, 0, nullptr,
                                     directory.empty() ? nullptr : where.c_str(), &startup, &info);
    const DWORD code = GetLastError();
    if (redirect) {
      // Only the files opened here are ours to close.
      if (!streams.input.empty() && in != INVALID_HANDLE_VALUE) CloseHandle(in);
      if (!streams.output.empty() && o != INVALID_HANDLE_VALUE) CloseHandle(o);
      if (!streams.error.empty() && streams.error != streams.output && e != INVALID_HANDLE_VALUE) CloseHandle(e);
    }
    if (!made) {
      Error err = win32::error_from_win32(code);
      errno = ErrnoOf(err);
      return err;
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
