// The confirmation, progress and result dialogs: captions, texts and
// control layout in dialog units.
#include "uninstaller_dialogs.h"

using platform::ControlKind;
using platform::DialogControl;
using platform::DialogTemplate;

namespace {

constexpr int kDialogWidth = 225;
constexpr int kDialogHeight = 66;

DialogControl Control(int id, ControlKind kind, int x, int y, int w, int h, std::string text = {}) {
  DialogControl c;
  c.id = id;
  c.kind = kind;
  c.x = x;
  c.y = y;
  c.width = w;
  c.height = h;
  c.text = std::move(text);
  return c;
}

DialogTemplate Dialog(int resource, const char* caption) {
  DialogTemplate d;
  d.resource = resource;
  d.caption = caption;
  d.width = kDialogWidth;
  d.height = kDialogHeight;
  return d;
}

}  // namespace

DialogTemplate ConfirmationDialog(const std::string& text) {
  DialogTemplate d = Dialog(IDD_CONFIRMATION, "Qel UnInstaller");
  d.icon_resource = IDI_UNINSTALLER;
  d.controls = {
      Control(IDC_MESSAGE, ControlKind::read_only_edit, 7, 7, 211, 27, text),
      Control(platform::DIALOG_OK, ControlKind::default_button, 109, 44, 50, 14, "OK"),
      Control(platform::DIALOG_CANCEL, ControlKind::button, 168, 44, 50, 14, "Cancel"),
  };
  return d;
}

DialogTemplate ProgressDialog() {
  DialogTemplate d = Dialog(IDD_PROGRESS, "Qel Uninstaller");
  d.controls = {
      Control(0, ControlKind::text, 7, 7, 211, 15, "Removing Files..."),
      Control(IDC_PROGRESS_BAR, ControlKind::progress_bar, 7, 35, 211, 24),
  };
  return d;
}

DialogTemplate ResultDialog(const std::string& text) {
  DialogTemplate d = Dialog(IDD_RESULT, "Qel Uninstaller");
  d.controls = {
      Control(IDC_MESSAGE, ControlKind::read_only_edit, 7, 7, 211, 28, text),
      Control(platform::DIALOG_OK, ControlKind::default_button, 87, 44, 50, 14, "OK"),
  };
  return d;
}

Confirmation UninstallerDialogs::Confirm(const std::string& text) {
  if (!platform::dialogs().can_show()) return Confirmation::unavailable;
  switch (platform::dialogs().run_modal(ConfirmationDialog(text), {})) {
    case platform::DIALOG_OK: return Confirmation::ok;
    case platform::DIALOG_FAILED: return Confirmation::unavailable;
    default: return Confirmation::cancelled;
  }
}

void UninstallerDialogs::OpenProgress() {
  progress_ = platform::dialogs().open_modeless(ProgressDialog());
  if (progress_) progress_->set_progress(IDC_PROGRESS_BAR, 0);
}

void UninstallerDialogs::SetProgress(int position) {
  if (progress_) progress_->set_progress(IDC_PROGRESS_BAR, position);
}

void UninstallerDialogs::CloseProgress() { progress_.reset(); }

void UninstallerDialogs::ShowResult(const std::string& text) {
  // The result has only OK; Esc or the close box end it as well.
  platform::dialogs().run_modal(ResultDialog(text), {});
}
