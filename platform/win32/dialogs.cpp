// Win32 backend of platform/dialogs.h: dialog templates from the program's
// resources (DialogBoxParamW, CreateDialogParamW), MessageBoxA and
// SHBrowseForFolderA. Calls from other threads go through SendMessage (the
// dialog's thread carries them out); ending a dialog from another thread is
// posted to it, since EndDialog belongs to the dialog's own thread.
//
// A modeless dialog gets a thread of its own that only runs its messages.
// Its caller is a single-threaded program that goes on working between
// updates (the uninstaller removing files, waiting seconds for a file that
// is held open); on the caller's thread the window would not repaint or
// answer meanwhile, and Windows would mark it "Not Responding".
#include "platform/dialogs.h"

#include "wide_path.h"
#include "windows_fwd.h"

#include <commctrl.h>
#include <shlobj.h>

#include <algorithm>
#include <future>
#include <thread>

namespace platform {
namespace {

constexpr UINT WM_QEL_END = WM_APP + 1;
constexpr UINT WM_QEL_CLOSE = WM_APP + 2;  // a modeless dialog's own thread destroys it

void InitControlsOnce() {
  static bool done = [] {
    INITCOMMONCONTROLSEX icc;
    icc.dwSize = sizeof icc;
    icc.dwICC = ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES;
    InitCommonControlsEx(&icc);
    return true;
  }();
  (void)done;
}

class Win32Window final : public DialogWindow {
 public:
  Win32Window(const DialogTemplate& t, const DialogEvents* events) : template_(t), events_(events) {}
  ~Win32Window() override {
    if (thread_.joinable()) {
      if (hwnd_) PostMessageW(hwnd_, WM_QEL_CLOSE, 0, 0);
      thread_.join();
    }
    // The window is gone by now (a modal one before run_modal returns).
    if (picture_) DeleteObject(picture_);
  }

  void set_text(int control, const std::string& text) override {
    if (hwnd_) SetDlgItemTextW(hwnd_, control, win32::wide(text).c_str());
  }
  void set_progress(int control, int position) override {
    if (position < 0) position = 0;
    if (position > 100) position = 100;
    if (hwnd_) SendDlgItemMessageW(hwnd_, control, PBM_SETPOS, static_cast<WPARAM>(position), 0);
  }
  void show_control(int control, bool visible) override {
    if (hwnd_) ShowWindow(GetDlgItem(hwnd_, control), visible ? SW_SHOW : SW_HIDE);
  }
  void enable_control(int control, bool enabled) override {
    if (hwnd_) EnableWindow(GetDlgItem(hwnd_, control), enabled ? TRUE : FALSE);
  }
  void show(bool visible) override {
    if (hwnd_) ShowWindow(hwnd_, visible ? SW_SHOWNORMAL : SW_HIDE);
  }
  void end(int result) override {
    if (!hwnd_ || modeless_) return;
    if (GetWindowThreadProcessId(hwnd_, nullptr) == GetCurrentThreadId()) {
      EndDialog(hwnd_, result);
    } else {
      PostMessageW(hwnd_, WM_QEL_END, static_cast<WPARAM>(result), 0);
    }
  }

  HWND hwnd() const { return hwnd_; }

  // Creates the dialog as a modeless one on a thread of its own, shown and
  // painted before this returns; false when it could not be created.
  bool open_modeless() {
    modeless_ = true;
    std::promise<HWND> created;
    std::future<HWND> window = created.get_future();
    thread_ = std::thread([this, &created] {
      HWND h = CreateDialogParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(template_.resource), nullptr,
                                  &Win32Window::Procedure, reinterpret_cast<LPARAM>(this));
      if (h) {
        ShowWindow(h, SW_SHOW);
        UpdateWindow(h);
      }
      created.set_value(h);
      if (!h) return;
      MSG msg;
      while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
        if (IsDialogMessageW(h, &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    });
    return window.get() != nullptr;
  }

  static INT_PTR CALLBACK Procedure(HWND hwnd, UINT message, WPARAM wparam, LPARAM lparam) {
    if (message == WM_INITDIALOG) {
      auto* self = reinterpret_cast<Win32Window*>(lparam);
      SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(self));
      self->hwnd_ = hwnd;
      // FALSE: initialise() chose the focus itself.
      return self->initialise() ? FALSE : TRUE;
    }
    auto* self = reinterpret_cast<Win32Window*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self) return FALSE;
    switch (message) {
      case WM_SHOWWINDOW:
        // Status 0: shown by a direct request, not by a parent's change.
        if (wparam && lparam == 0 && self->events_ && self->events_->shown) self->events_->shown(*self);
        return FALSE;
      case WM_COMMAND: {
        const int id = LOWORD(wparam);
        if (HIWORD(wparam) != BN_CLICKED && HIWORD(wparam) != 0) return FALSE;
        if (self->events_ && self->events_->command) {
          self->events_->command(*self, id);
        } else if (!self->modeless_) {
          EndDialog(hwnd, id);
        }
        return TRUE;
      }
      case WM_QEL_END:
        EndDialog(hwnd, static_cast<INT_PTR>(wparam));
        return TRUE;
      case WM_QEL_CLOSE:
        DestroyWindow(hwnd);
        return TRUE;
      case WM_DESTROY:
        if (self->modeless_) PostQuitMessage(0);  // ends the dialog's own thread
        return FALSE;
      default:
        return FALSE;
    }
  }

 private:
  // Fills the controls; true when it has given the focus to the default
  // button. Left to the system, the focus would go to the first tab stop,
  // a read-only edit box, which selects its whole text on taking it.
  bool initialise() {
    HINSTANCE module = GetModuleHandleW(nullptr);
    if (template_.icon_resource) {
      HICON big = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(template_.icon_resource), IMAGE_ICON,
                                                GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
      HICON small = static_cast<HICON>(LoadImageA(module, MAKEINTRESOURCEA(template_.icon_resource), IMAGE_ICON,
                                                  GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
      if (big) SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(big));
      if (small) SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(small));
    }
    for (const DialogControl& c : template_.controls) {
      HWND item = c.id ? GetDlgItem(hwnd_, c.id) : nullptr;
      if (!item) continue;
      switch (c.kind) {
        case ControlKind::progress_bar:
          SendMessageW(item, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
          break;
        case ControlKind::picture:
          scale_picture(item, c);
          break;
        case ControlKind::text:
        case ControlKind::centred_text:
        case ControlKind::read_only_edit:
          if (!c.text.empty()) SetWindowTextW(item, win32::wide(c.text).c_str());
          break;
        default:
          break;
      }
      if (c.centre_horizontally) {
        RECT client, rect;
        GetClientRect(hwnd_, &client);
        GetWindowRect(item, &rect);
        MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&rect), 2);
        const int width = rect.right - rect.left;
        const int left = (client.right - client.left - width) / 2;
        MoveWindow(item, left, rect.top, width, rect.bottom - rect.top, FALSE);
      }
    }
    for (const DialogControl& c : template_.controls) {
      HWND item = c.kind == ControlKind::default_button ? GetDlgItem(hwnd_, c.id) : nullptr;
      if (!item) continue;
      SetFocus(item);
      return true;
    }
    return false;
  }

  // Above 100 % scaling the dialog grows with its font, but a bitmap keeps
  // its pixels and would sit small in the space laid out for it: it is
  // then redrawn (smoothly, in proportion) to fill the control's rectangle.
  void scale_picture(HWND item, const DialogControl& c) {
    RECT want = {0, 0, c.width, c.height};
    MapDialogRect(hwnd_, &want);
    auto original = reinterpret_cast<HBITMAP>(SendMessageW(item, STM_GETIMAGE, IMAGE_BITMAP, 0));
    BITMAP size;
    if (!original || !GetObjectA(original, sizeof size, &size) || size.bmWidth <= 0 || size.bmHeight <= 0) return;
    const long percent = std::min(want.right * 100L / size.bmWidth, want.bottom * 100L / size.bmHeight);
    if (percent < 115) return;  // at 100 % the bitmap is drawn as it is
    const int width = static_cast<int>(size.bmWidth * percent / 100);
    const int height = static_cast<int>(size.bmHeight * percent / 100);
    HDC screen = GetDC(nullptr);
    HDC from = CreateCompatibleDC(screen);
    HDC to = CreateCompatibleDC(screen);
    HBITMAP scaled = CreateCompatibleBitmap(screen, width, height);
    if (from && to && scaled) {
      HGDIOBJ old_from = SelectObject(from, original);
      HGDIOBJ old_to = SelectObject(to, scaled);
      SetStretchBltMode(to, HALFTONE);
      SetBrushOrgEx(to, 0, 0, nullptr);
      StretchBlt(to, 0, 0, width, height, from, 0, 0, size.bmWidth, size.bmHeight, SRCCOPY);
      SelectObject(from, old_from);
      SelectObject(to, old_to);
      // The control takes the new bitmap's size; the one it loaded itself
      // comes back and is ours to free.
      auto previous = reinterpret_cast<HBITMAP>(
          SendMessageW(item, STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(scaled)));
      if (previous && previous != scaled) DeleteObject(previous);
      picture_ = scaled;
      scaled = nullptr;
    }
    if (scaled) DeleteObject(scaled);
    if (to) DeleteDC(to);
    if (from) DeleteDC(from);
    ReleaseDC(nullptr, screen);
  }

  DialogTemplate template_;
  const DialogEvents* events_;
  HWND hwnd_ = nullptr;
  bool modeless_ = false;
  std::thread thread_;  // a modeless dialog's own thread
  HBITMAP picture_ = nullptr;  // a picture scaled for the screen, freed with the window
};

HWND OwnerOf(DialogWindow* owner) {
  auto* w = dynamic_cast<Win32Window*>(owner);
  return w ? w->hwnd() : nullptr;
}

class Win32Dialogs final : public Dialogs {
 public:
  bool can_show() override {
    // A service or a scheduled task without the desktop runs in a window
    // station nobody sees.
    USEROBJECTFLAGS flags = {};
    HWINSTA station = GetProcessWindowStation();
    if (station && GetUserObjectInformationA(station, UOI_FLAGS, &flags, sizeof flags, nullptr))
      return (flags.dwFlags & WSF_VISIBLE) != 0;
    return true;
  }

  int run_modal(const DialogTemplate& dialog, const DialogEvents& events) override {
    InitControlsOnce();
    Win32Window window(dialog, &events);
    INT_PTR r = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(dialog.resource), nullptr,
                                &Win32Window::Procedure, reinterpret_cast<LPARAM>(&window));
    // -1: the dialog never came up (no window station or display, a
    // missing template); no handler ran, so nobody pressed anything.
    return r == -1 ? DIALOG_FAILED : static_cast<int>(r);
  }

  std::unique_ptr<DialogWindow> open_modeless(const DialogTemplate& dialog) override {
    InitControlsOnce();
    auto window = std::make_unique<Win32Window>(dialog, nullptr);
    window->open_modeless();  // if that fails, the calls change nothing
    return window;
  }

  int message_box(DialogWindow* owner, const MessageBoxRequest& request) override {
    UINT flags = request.buttons == MessageButtons::ok_cancel ? MB_OKCANCEL : MB_OK;
    if (request.icon == MessageIcon::error) flags |= MB_ICONERROR;
    if (request.icon == MessageIcon::exclamation) flags |= MB_ICONEXCLAMATION;
    const std::wstring text = win32::wide(request.text);
    const std::wstring title = request.title ? win32::wide(*request.title) : std::wstring();
    int r = MessageBoxW(OwnerOf(owner), text.c_str(), request.title ? title.c_str() : nullptr, flags);
    return r == IDOK ? DIALOG_OK : DIALOG_CANCEL;
  }

  FolderChoice browse_for_folder(DialogWindow* owner, const std::string& title, std::string& path) override {
    IMalloc* allocator = nullptr;
    if (FAILED(SHGetMalloc(&allocator)) || !allocator) return FolderChoice::cancelled;
    // The browser uses COM on the calling thread (a worker, here).
    const bool com = SUCCEEDED(CoInitialize(nullptr));
    wchar_t display[MAX_PATH] = {0};
    const std::wstring caption = win32::wide(title);
    BROWSEINFOW info;
    ZeroMemory(&info, sizeof info);
    info.hwndOwner = OwnerOf(owner);
    info.pszDisplayName = display;
    info.lpszTitle = caption.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS;
    LPITEMIDLIST item = SHBrowseForFolderW(&info);
    FolderChoice choice = FolderChoice::cancelled;
    if (item) {
      wchar_t chosen[MAX_PATH] = {0};
      if (SHGetPathFromIDListW(item, chosen) && chosen[0] != L'\0') {
        path = win32::narrow(chosen);
        choice = FolderChoice::chosen;
      } else {
        choice = FolderChoice::no_path;
      }
      allocator->Free(item);
    }
    allocator->Release();
    if (com) CoUninitialize();
    return choice;
  }
};

}  // namespace

template <> Dialogs& native<Dialogs>() {
  static Win32Dialogs instance;
  return instance;
}

}  // namespace platform
