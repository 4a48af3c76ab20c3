// Win32 backend of platform/standard_streams.h: a console handle is the
// only terminal; GetConsoleMode fails for files, pipes and NUL (which
// GetFileType would call a character device like the console).
#include "platform/standard_streams.h"

#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "windows_fwd.h"

namespace platform {
namespace {

class Win32StandardStreams final : public StandardStreams {
 public:
  bool is_terminal(StandardStream stream) override {
    const DWORD which = stream == StandardStream::input ? STD_INPUT_HANDLE
                        : stream == StandardStream::output ? STD_OUTPUT_HANDLE
                                                           : STD_ERROR_HANDLE;
    HANDLE handle = GetStdHandle(which);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) != 0;
  }
  void use_binary(StandardStream stream) override {
    FILE* file = stream == StandardStream::input ? stdin : stream == StandardStream::output ? stdout : stderr;
    std::fflush(file);
    _setmode(_fileno(file), _O_BINARY);
  }
};

}  // namespace

template <> StandardStreams& native<StandardStreams>() {
  static Win32StandardStreams instance;
  return instance;
}

}  // namespace platform
