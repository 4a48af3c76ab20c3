// Portable. No OS headers.
//
// Child processes and scheduling priorities. A child is started from one
// joined command line (CreateProcessA without a separate program name; on
// POSIX the line is split again by split_command_line and the program is
// started with posix_spawn, searched along PATH when it names no directory).
#pragma once

#include <cstdint>
#include <string>

#include "platform/error.h"
#include "platform/service.h"

namespace platform {

// A started child. Closed by Process::wait, or by the destructor of the
// owner that started it; not copyable.
struct ChildProcess {
  intptr_t handle = -1;  // process HANDLE on Win32, pid on POSIX
  bool running() const { return handle != -1; }
};

// Files for a child's standard streams; an empty path keeps the caller's.
struct ChildStreams {
  std::string input;   // opened for reading
  std::string output;  // created or truncated
  std::string error;   // created or truncated; may equal `output`
};

enum class PriorityClass { idle, below_normal, normal, above_normal, high, realtime };
enum class ThreadPriority { idle, lowest, below_normal, normal, above_normal, highest, time_critical };

class Process {
 public:
  virtual ~Process() = default;
  // Starts `command_line` with the caller's environment, no inherited
  // handles besides the standard ones, in `directory` (empty: the caller's
  // current directory). On failure errno holds the reason as well, so that
  // a message from the C runtime's error text describes it.
  virtual Error start(const std::string& command_line, const std::string& directory,
                      ChildProcess& out) = 0;
  // The same with the child's standard streams led to files.
  virtual Error start_with_streams(const std::string& command_line, const std::string& directory,
                                   const ChildStreams& streams, ChildProcess& out) = 0;
  // Waits without a time limit for the child to end and closes it.
  // `exit_code`: its exit code; on POSIX a child ended by signal N gives
  // 128 + N.
  virtual Error wait(ChildProcess& child, int& exit_code) = 0;
  // Scheduling priority of the calling process (POSIX: setpriority;
  // realtime becomes the highest allowed, idle nice 19).
  virtual Error set_process_priority(PriorityClass priority) = 0;
  // Scheduling priority of the calling thread.
  virtual Error set_thread_priority(ThreadPriority priority) = 0;
};

inline Process& process() { return current<Process>(); }

}  // namespace platform
