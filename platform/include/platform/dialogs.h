// Portable. No OS headers.
//
// Dialogs, message boxes and the folder choice. Win32: dialog templates from
// the program's resources, MessageBoxA, SHBrowseForFolderA. POSIX: text
// dialogs drawn on the controlling terminal (/dev/tty, VT100 sequences, raw
// keys: Tab and the arrows move between buttons, Enter presses one, Esc is
// Cancel); the folder choice is a path prompt. Without a terminal, message
// texts go to stderr and every question is answered Cancel.
//
// A dialog is described once by a DialogTemplate. Win32 shows the template
// resource of the same number and uses the control list only for initial
// texts and progress ranges; POSIX draws the control list (one character
// cell is 4 x 8 dialog units).
//
// Threads: a modal dialog runs on the thread that calls run_modal. Any other
// thread may change it through its DialogWindow; such a call is handed to the
// dialog's thread and waits until that thread has carried it out (like
// SendMessage), so the dialog's state is only ever touched by its own thread.
// Message boxes and the folder choice owned by a modal dialog may likewise
// be called from another thread: they are shown by the dialog's thread and
// the caller waits for the answer.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/service.h"

namespace platform {

// Answers and end results, with the values of IDOK and IDCANCEL. The Cancel
// button has the id DIALOG_CANCEL and the OK button DIALOG_OK, as on Windows.
inline constexpr int DIALOG_OK = 1;
inline constexpr int DIALOG_CANCEL = 2;
// run_modal's answer when the dialog could not be shown at all (Win32: no
// display to show it on, or its template missing): nobody saw or ended it.
inline constexpr int DIALOG_FAILED = -1;

enum class ControlKind {
  text,            // static text, left-aligned
  centred_text,    // static text, centred in its rectangle
  read_only_edit,  // read-only multi-line text
  picture,         // bitmap resource; POSIX draws `text` as line art
  progress_bar,    // range 0..100
  button,          // push button
  default_button,  // push button pressed by Enter when no other has the focus
};

struct DialogControl {
  int id = 0;  // control id; 0 for a static control nobody changes
  ControlKind kind = ControlKind::text;
  int x = 0, y = 0, width = 0, height = 0;  // dialog units
  std::string text;  // initial text (picture: the POSIX artwork, lines split by '\n')
  int resource = 0;  // picture: the bitmap resource number (Win32)
  bool centre_horizontally = false;  // moved to the dialog's horizontal centre at start
};

struct DialogTemplate {
  int resource = 0;  // Win32: the dialog template's resource number
  std::string caption;
  int width = 0, height = 0;  // dialog units
  int icon_resource = 0;      // group icon set as large and small icon; 0: none
  std::vector<DialogControl> controls;
};

// A dialog on screen. Every call may come from any thread (see above).
class DialogWindow {
 public:
  virtual ~DialogWindow() = default;
  virtual void set_text(int control, const std::string& text) = 0;
  // Position of a progress bar, clamped to 0..100.
  virtual void set_progress(int control, int position) = 0;
  virtual void show_control(int control, bool visible) = 0;
  virtual void enable_control(int control, bool enabled) = 0;
  // Hides or shows the whole dialog. Showing sends the `shown` event.
  virtual void show(bool visible) = 0;
  // Ends a modal dialog: run_modal returns `result`. Nothing for modeless.
  virtual void end(int result) = 0;
};

struct DialogEvents {
  // The dialog has been shown by a direct show request (WM_SHOWWINDOW with
  // status 0): its first display and every later show(true).
  std::function<void(DialogWindow&)> shown;
  // A button was pressed; Esc presses DIALOG_CANCEL. When unset, a button
  // ends a modal dialog with its id.
  std::function<void(DialogWindow&, int control)> command;
};

enum class MessageButtons { ok, ok_cancel };
enum class MessageIcon { none, error, exclamation };

struct MessageBoxRequest {
  std::string text;
  std::optional<std::string> title;  // none: the system's default title ("Error")
  MessageButtons buttons = MessageButtons::ok;
  MessageIcon icon = MessageIcon::none;
};

enum class FolderChoice {
  chosen,     // `path` holds the chosen directory
  cancelled,  // the user cancelled (or there is no terminal)
  no_path,    // the choice has no file-system path (or an empty one)
};

class Dialogs {
 public:
  virtual ~Dialogs() = default;

  // Shows a modal dialog on the calling thread until it is ended; answers
  // the end result, or DIALOG_FAILED when it could not be shown.
  virtual int run_modal(const DialogTemplate& dialog, const DialogEvents& events) = 0;
  // Shows a dialog without waiting (for a single-threaded caller that
  // changes it between steps of work); it closes when the object is freed.
  virtual std::unique_ptr<DialogWindow> open_modeless(const DialogTemplate& dialog) = 0;
  // A message box, owned by `owner` (none: no owner window). Answers
  // DIALOG_OK or DIALOG_CANCEL.
  virtual int message_box(DialogWindow* owner, const MessageBoxRequest& request) = 0;
  // Lets the user choose a directory; `title` is the text above the choice.
  virtual FolderChoice browse_for_folder(DialogWindow* owner, const std::string& title,
                                         std::string& path) = 0;
  // Whether anyone could see and answer a dialog at all (POSIX: the process
  // has a terminal; Win32: its window station is interactive). A program
  // that must not wait for an answer nobody can give asks first.
  virtual bool can_show() { return true; }
};

inline Dialogs& dialogs() { return current<Dialogs>(); }

}  // namespace platform
