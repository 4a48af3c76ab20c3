// Portable. No OS headers.
//
// Where the process's standard streams lead: a tool draws progress only on
// a terminal (a console on Windows), never into a log file or a pipe. And
// whether they carry text or bytes.
#pragma once

#include "platform/service.h"

namespace platform {

enum class StandardStream { input, output, error };

class StandardStreams {
 public:
  virtual ~StandardStreams() = default;
  // True when the stream is a terminal the user watches; false for files,
  // pipes, the null device and a closed stream.
  virtual bool is_terminal(StandardStream stream) = 0;
  // From now on the bytes written to the stream through the C library pass
  // unchanged: entry data sent to standard output must not have a CR put in
  // front of every LF, as the Windows C runtime's text mode does.
  virtual void use_binary(StandardStream stream) = 0;
};

inline StandardStreams& standard_streams() { return current<StandardStreams>(); }

}  // namespace platform
