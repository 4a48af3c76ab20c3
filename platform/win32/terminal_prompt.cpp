// Win32 backend of platform/terminal_prompt.h: the process's console, in
// UTF-16 (the prompt and the answer are UTF-8 on this side).
#include "platform/terminal_prompt.h"

#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

class Win32TerminalPrompt final : public TerminalPrompt {
 public:
  bool ask(const std::string& prompt, bool echo, std::string& answer) override {
    HANDLE in = CreateFileA("CONIN$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_EXISTING, 0, nullptr);
    if (in == INVALID_HANDLE_VALUE) return false;
    HANDLE out = CreateFileA("CONOUT$", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                             OPEN_EXISTING, 0, nullptr);
    if (out != INVALID_HANDLE_VALUE) {
      DWORD written = 0;
      const std::wstring text = win32::wide(prompt);
      WriteConsoleW(out, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    }
    DWORD mode = 0;
    bool restore = false;
    if (!echo && GetConsoleMode(in, &mode)) restore = SetConsoleMode(in, mode & ~ENABLE_ECHO_INPUT) != 0;
    std::wstring typed;
    bool got_line = false;
    for (;;) {
      wchar_t c;
      DWORD n = 0;
      if (!ReadConsoleW(in, &c, 1, &n, nullptr) || n == 0) break;
      if (c == L'\n') {
        got_line = true;
        break;
      }
      if (c != L'\r') typed.push_back(c);
    }
    answer = win32::narrow(typed);
    if (restore) {
      SetConsoleMode(in, mode);
      if (out != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteConsoleW(out, L"\r\n", 2, &written, nullptr);
      }
    }
    if (out != INVALID_HANDLE_VALUE) CloseHandle(out);
    CloseHandle(in);
    return got_line || !answer.empty();
  }
};

}  // namespace

template <> TerminalPrompt& native<TerminalPrompt>() {
  static Win32TerminalPrompt instance;
  return instance;
}

}  // namespace platform
