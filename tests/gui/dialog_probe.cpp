// dialog_probe: the GUI test's eyes inside Wine. It finds a dialog of
// another process by its caption and tells what a user would see of it
// (position on the screen, which control has the focus, the texts, whether
// an edit box shows its text from the first line and can show the last,
// whether the window answers messages); it can also hold a file open the
// way a running program does, so that a removal has to wait for it.
//
//   dialog_probe wait CAPTION SECONDS [CONTROL]  waits until the dialog is shown
//   dialog_probe gone CAPTION SECONDS [CONTROL]  waits until it is no longer shown
//   dialog_probe state CAPTION [CONTROL]         key=value lines, see State()
//   dialog_probe watch CAPTION SECONDS CONTROL...  a line whenever those controls
//                                                change (text, enabled, visible)
//   dialog_probe hold PATH SECONDS               opens PATH without sharing, keeps it
// CONTROL: only a dialog having a control of that id counts (two dialogs
// may share a caption).
//
// Exit status: 0 done, 1 the dialog was not found (or not gone) in time,
// 2 bad use.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Search {
  const char* caption;
  int control;  // 0, or a control the dialog must have
  HWND found;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM data) {
  auto* search = reinterpret_cast<Search*>(data);
  char text[512];
  char kind[64];
  if (!IsWindowVisible(window)) return TRUE;
  if (GetWindowTextA(window, text, sizeof text) <= 0 || std::strcmp(text, search->caption) != 0) return TRUE;
  // Dialogs and message boxes only: other programs' windows may share a name.
  if (!GetClassNameA(window, kind, sizeof kind) || std::strcmp(kind, "#32770") != 0) return TRUE;
  if (search->control && !GetDlgItem(window, search->control)) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindDialog(const char* caption, int control = 0) {
  Search search{caption, control, nullptr};
  EnumWindows(&MatchCaption, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Control texts on one line: line ends as \n, backslashes doubled.
std::string Escaped(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\r') continue;
    if (c == '\n') {
      out += "\\n";
    } else if (c == '\\') {
      out += "\\\\";
    } else {
      out += c;
    }
  }
  return out;
}

std::string TextOf(HWND window) {
  char text[4096];
  LRESULT n = SendMessageA(window, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
  return std::string(text, n > 0 ? static_cast<size_t>(n) : 0);
}

void PrintRect(const char* key, const RECT& r) {
  std::printf("%s=%ld,%ld,%ld,%ld\n", key, r.left, r.top, r.right, r.bottom);
}

// An edit box: its selection, its lines, whether its first and its last
// line are in view, and whether it has a scroll bar to bring them there.
void PrintEdit(HWND edit, const std::string& key) {
  // Values come back in the result itself, never through pointers into
  // this process, so that they cross processes.
  const LRESULT selection = SendMessageA(edit, EM_GETSEL, 0, 0);
  const LRESULT lines = SendMessageA(edit, EM_GETLINECOUNT, 0, 0);
  const LRESULT first = SendMessageA(edit, EM_GETFIRSTVISIBLELINE, 0, 0);
  RECT client;
  GetClientRect(edit, &client);
  auto line_top = [&](LRESULT line) {
    LRESULT index = SendMessageA(edit, EM_LINEINDEX, static_cast<WPARAM>(line), 0);
    LRESULT pos = SendMessageA(edit, EM_POSFROMCHAR, static_cast<WPARAM>(index), 0);
    return static_cast<int>(static_cast<short>(HIWORD(pos)));
  };
  // The height of a line: the step between two, or a third of the box
  // (the dialogs' edit boxes hold three lines) for a single one.
  const int height = lines >= 2 ? line_top(1) - line_top(0) : client.bottom / 3;
  const int last_top = line_top(lines - 1);
  const bool last_visible = last_top >= 0 && last_top + height <= client.bottom;
  const LONG style = GetWindowLongA(edit, GWL_STYLE);
  std::printf("%s.selection=%u,%u\n", key.c_str(), LOWORD(selection), HIWORD(selection));
  std::printf("%s.lines=%ld\n", key.c_str(), static_cast<long>(lines));
  std::printf("%s.first_line_visible=%s\n", key.c_str(), first == 0 ? "yes" : "no");
  std::printf("%s.last_line_visible=%s\n", key.c_str(), last_visible ? "yes" : "no");
  std::printf("%s.scroll_bar=%s\n", key.c_str(), (style & WS_VSCROLL) ? "yes" : "no");
}

struct ControlList {
  HWND dialog;
};

BOOL CALLBACK PrintControl(HWND control, LPARAM data) {
  auto* list = reinterpret_cast<ControlList*>(data);
  if (GetParent(control) != list->dialog) return TRUE;
  char kind[64] = {0};
  GetClassNameA(control, kind, sizeof kind);
  const int id = GetDlgCtrlID(control);
  const std::string key = "control." + std::to_string(id);
  RECT r;
  GetWindowRect(control, &r);
  std::printf("%s.class=%s\n", key.c_str(), kind);
  std::printf("%s.text=%s\n", key.c_str(), Escaped(TextOf(control)).c_str());
  std::printf("%s.visible=%s\n", key.c_str(), IsWindowVisible(control) ? "yes" : "no");
  std::printf("%s.enabled=%s\n", key.c_str(), IsWindowEnabled(control) ? "yes" : "no");
  PrintRect((key + ".rect").c_str(), r);
  if (_stricmp(kind, "Edit") == 0) PrintEdit(control, key);
  if (_stricmp(kind, "msctls_progress32") == 0) {
    std::printf("%s.position=%ld\n", key.c_str(), static_cast<long>(SendMessageA(control, PBM_GETPOS, 0, 0)));
  }
  return TRUE;
}

// What the dialog shows. `responsive` is whether its thread takes a
// message within two seconds, the question Windows asks (with five) before
// calling a window "Not Responding"; `centred` whether it sits in the middle of the work area
// (within two pixels, for the rounding of odd sizes).
int State(HWND dialog) {
  const DWORD thread = GetWindowThreadProcessId(dialog, nullptr);
  DWORD_PTR answer = 0;
  const bool responsive =
      SendMessageTimeoutA(dialog, WM_NULL, 0, 0, SMTO_ABORTIFHUNG | SMTO_BLOCK, 2000, &answer) != 0;
  RECT window, work;
  GetWindowRect(dialog, &window);
  MONITORINFO monitor;
  monitor.cbSize = sizeof monitor;
  if (GetMonitorInfoA(MonitorFromWindow(dialog, MONITOR_DEFAULTTONEAREST), &monitor)) {
    work = monitor.rcWork;
  } else {
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
  }
  const long dx = (window.left - work.left) - (work.right - window.right);
  const long dy = (window.top - work.top) - (work.bottom - window.bottom);
  GUITHREADINFO gui;
  gui.cbSize = sizeof gui;
  int focus = 0;
  bool active = false;
  if (GetGUIThreadInfo(thread, &gui)) {
    if (gui.hwndFocus && GetParent(gui.hwndFocus) == dialog) focus = GetDlgCtrlID(gui.hwndFocus);
    active = gui.hwndActive == dialog;
  }
  std::printf("caption=%s\n", Escaped(TextOf(dialog)).c_str());
  std::printf("responsive=%s\n", responsive ? "yes" : "no");
  PrintRect("rect", window);
  PrintRect("work_area", work);
  std::printf("centred=%s\n", (dx >= -2 && dx <= 2 && dy >= -2 && dy <= 2) ? "yes" : "no");
  std::printf("active=%s\n", active ? "yes" : "no");
  std::printf("focus=%d\n", focus);
  const LRESULT default_id = SendMessageA(dialog, DM_GETDEFID, 0, 0);
  std::printf("default_button=%d\n", HIWORD(default_id) == DC_HASDEFID ? LOWORD(default_id) : 0);
  ControlList list{dialog};
  EnumChildWindows(dialog, &PrintControl, reinterpret_cast<LPARAM>(&list));
  return 0;
}

// Polls every 50 ms until the dialog is there (want_shown) or gone.
int WaitFor(const char* caption, double seconds, bool want_shown, int control) {
  const DWORD deadline = GetTickCount() + static_cast<DWORD>(seconds * 1000);
  for (;;) {
    HWND found = FindDialog(caption, control);
    if ((found != nullptr) == want_shown) {
      if (found) std::printf("%lu\n", static_cast<unsigned long>(reinterpret_cast<UINT_PTR>(found)));
      return 0;
    }
    if (static_cast<LONG>(GetTickCount() - deadline) >= 0) return 1;
    Sleep(50);
  }
}

// Follows some controls of a dialog as its program changes them, polling
// every 10 ms for SECONDS: a line (milliseconds since the start, then the
// controls) each time their texts or states change, " gone" while the
// dialog is not shown.
int Watch(const char* caption, double seconds, const std::vector<int>& controls) {
  const DWORD start = GetTickCount();
  const DWORD deadline = start + static_cast<DWORD>(seconds * 1000);
  HWND dialog = nullptr;
  std::string last;
  while (static_cast<LONG>(GetTickCount() - deadline) < 0) {
    if (!dialog || !IsWindow(dialog)) dialog = FindDialog(caption);
    if (dialog && !IsWindowVisible(dialog)) dialog = nullptr;
    std::string now;
    if (dialog) {
      for (int id : controls) {
        HWND control = GetDlgItem(dialog, id);
        if (!control) continue;
        now += " " + std::to_string(id) + ".text=" + Escaped(TextOf(control)) + " " + std::to_string(id) +
               ".enabled=" + (IsWindowEnabled(control) ? "yes" : "no") + " " + std::to_string(id) +
               ".visible=" + (IsWindowVisible(control) ? "yes" : "no");
      }
    } else {
      now = " gone";
    }
    if (now != last) {
      std::printf("%lu%s\n", static_cast<unsigned long>(GetTickCount() - start), now.c_str());
      std::fflush(stdout);
      last = now;
    }
    Sleep(10);
  }
  return 0;
}

int Hold(const char* path, double seconds) {
  HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    std::fprintf(stderr, "dialog_probe: cannot open %s (error %lu)\n", path, GetLastError());
    return 2;
  }
  std::printf("holding\n");
  std::fflush(stdout);
  Sleep(static_cast<DWORD>(seconds * 1000));
  CloseHandle(file);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const bool wait = argc >= 4 && std::strcmp(argv[1], "wait") == 0;
  const bool gone = argc >= 4 && std::strcmp(argv[1], "gone") == 0;
  if ((wait || gone) && argc <= 5) {
    return WaitFor(argv[2], std::atof(argv[3]), wait, argc == 5 ? std::atoi(argv[4]) : 0);
  }
  if (argc >= 5 && std::strcmp(argv[1], "watch") == 0) {
    std::vector<int> controls;
    for (int i = 4; i < argc; ++i) controls.push_back(std::atoi(argv[i]));
    return Watch(argv[2], std::atof(argv[3]), controls);
  }
  if (argc == 4 && std::strcmp(argv[1], "hold") == 0) return Hold(argv[2], std::atof(argv[3]));
  if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "state") == 0) {
    HWND dialog = FindDialog(argv[2], argc == 4 ? std::atoi(argv[3]) : 0);
    if (!dialog) {
      std::fprintf(stderr, "dialog_probe: no dialog \"%s\"\n", argv[2]);
      return 1;
    }
    return State(dialog);
  }
  std::fprintf(stderr,
               "usage: dialog_probe wait|gone CAPTION SECONDS [CONTROL] | state CAPTION [CONTROL] |\n"
               "       dialog_probe watch CAPTION SECONDS CONTROL... | hold PATH SECONDS\n");
  return 2;
}
