// POSIX backend of platform/standard_streams.h.
#include "platform/standard_streams.h"

#include <unistd.h>

namespace platform {
namespace {

class PosixStandardStreams final : public StandardStreams {
 public:
  bool is_terminal(StandardStream stream) override {
    const int fd = stream == StandardStream::input ? STDIN_FILENO
                   : stream == StandardStream::output ? STDOUT_FILENO
                                                      : STDERR_FILENO;
    return isatty(fd) == 1;
  }
  void use_binary(StandardStream) override {}  // POSIX streams carry bytes as they are
};

}  // namespace

template <> StandardStreams& native<StandardStreams>() {
  static PosixStandardStreams instance;
  return instance;
}

}  // namespace platform
