// Portable. No OS headers.
//
// Interruptions from outside the program: on POSIX the signals SIGINT,
// SIGTERM and SIGHUP; on Windows the console's control events (Ctrl+C,
// Ctrl+Break, the console window closed, log-off, shut-down). While they
// are caught an interruption is only recorded: the program polls for it,
// finishes what must not be left half done (its clean-up), and then ends
// the way the interruption would have ended it.
#pragma once

#include "platform/process.h"
#include "platform/service.h"

namespace platform {

class Interruptions {
 public:
  virtual ~Interruptions() = default;
  // From now on an interruption is recorded instead of ending the process.
  // A signal the process was started with ignored (SIGINT of a background
  // job, SIGHUP under nohup) stays ignored. POSIX: a blocking call that a
  // signal interrupts (a read from the terminal) returns with EINTR, so a
  // prompt ends; the backend's own calls are retried as before.
  virtual void catch_interruptions() = 0;
  // Whether an interruption has come since catching started.
  virtual bool interrupted() = 0;
  // The child that runs while we wait for it, or nullptr when none runs.
  // POSIX: the terminal sends its signals to the child as well, but a
  // signal that another process sends to us alone (kill) is passed on to
  // the child, and so is one that came just before the child was known.
  // Windows: the console delivers its events to every process attached to
  // it, the child included; nothing is passed on.
  virtual void share_with(const ChildProcess* child) = 0;
  // Stops catching. After an interruption this ends the process as the
  // interruption would have (POSIX: the same signal with its default
  // action; Windows: exit code STATUS_CONTROL_C_EXIT, 0xC000013A) and does
  // not return. Otherwise the default handling is back; calling it again
  // does nothing.
  virtual void release() = 0;
};

inline Interruptions& interruptions() { return current<Interruptions>(); }

}  // namespace platform
