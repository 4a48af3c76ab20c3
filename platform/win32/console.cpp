// Win32 backend of platform/console.h: AllocConsole, a 250-line screen
// buffer, the C runtime's streams rebound to the console, _getch.
#include "platform/console.h"

#include <conio.h>
#include <fcntl.h>
#include <io.h>

#include <cstdio>

#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

// A standard handle that already leads to a file or a pipe (the caller
// redirected it) is kept: the output belongs where the caller sent it.
bool IsRedirected(HANDLE h) {
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return false;
  DWORD type = GetFileType(h);
  return type == FILE_TYPE_DISK || type == FILE_TYPE_PIPE;
}

void Rebind(FILE* stream, DWORD which, const char* mode) {
  HANDLE h = GetStdHandle(which);
  if (h == nullptr || h == INVALID_HANDLE_VALUE) return;
  int fd = _open_osfhandle(reinterpret_cast<intptr_t>(h), _O_TEXT);
  if (fd < 0) return;
  FILE* fp = _fdopen(fd, mode);
  if (!fp) return;
  *stream = *fp;
}

class Win32Console final : public Console {
 public:
  void setup(int buffer_lines, const std::string& title) override {
    const HANDLE old_out = GetStdHandle(STD_OUTPUT_HANDLE);
    const HANDLE old_in = GetStdHandle(STD_INPUT_HANDLE);
    const HANDLE old_err = GetStdHandle(STD_ERROR_HANDLE);
    const bool keep_out = IsRedirected(old_out), keep_in = IsRedirected(old_in), keep_err = IsRedirected(old_err);
    AllocConsole();
    // AllocConsole may put the new console's handles in place of all three;
    // the redirected ones go back, so that the installer inherits them too.
    if (keep_out) SetStdHandle(STD_OUTPUT_HANDLE, old_out);
    if (keep_in) SetStdHandle(STD_INPUT_HANDLE, old_in);
    if (keep_err) SetStdHandle(STD_ERROR_HANDLE, old_err);
    HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                             nullptr, OPEN_EXISTING, 0, nullptr);
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(out, &info)) {
      COORD size = info.dwSize;
      size.Y = static_cast<SHORT>(buffer_lines);
      SetConsoleScreenBufferSize(out, size);
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    if (!keep_out) Rebind(stdout, STD_OUTPUT_HANDLE, "w");
    if (!keep_in) Rebind(stdin, STD_INPUT_HANDLE, "r");
    if (!keep_err) Rebind(stderr, STD_ERROR_HANDLE, "w");
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stdin, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    SetConsoleTitleW(win32::wide(title).c_str());
  }

  int wait_key() override {
    std::fflush(stdout);
    HANDLE in = GetStdHandle(STD_INPUT_HANDLE);
    DWORD mode = 0;
    if (in != nullptr && in != INVALID_HANDLE_VALUE && !GetConsoleMode(in, &mode)) {
      // Input from a file or a pipe: one byte, or the end of it.
      unsigned char c = 0;
      DWORD got = 0;
      if (!ReadFile(in, &c, 1, &got, nullptr) || got != 1) return -1;
      return c;
    }
    return _getch();
  }
};

}  // namespace

template <> Console& native<Console>() {
  static Win32Console instance;
  return instance;
}

}  // namespace platform
