// Graphical mode: the main thread runs the progress dialog and its Cancel
// button; one worker thread, started when the dialog is first shown, runs
// every stage and changes the dialog only through its DialogWindow, whose
// calls the dialog's own thread carries out.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <thread>

#include "clean_up.h"
#include "engine_calls.h"
#include "extraction_directory.h"
#include "installer_process.h"
#include "launch_config.h"
#include "launcher_state.h"
#include "platform/dialogs.h"
#include "platform/interruption.h"
#include "run_sequence.h"

namespace launcher {
namespace {

// The picture of the text dialog: a box being unpacked.
const char kArtwork[] =
    "   .----------------.\n"
    "  /                /|\n"
    " /   Q E L        / |\n"
    "+----------------+  |\n"
    "|  ~~~~~~~~~~~~  |  |\n"
    "|  ~~~~~~~~~~    |  +\n"
    "|  ~~~~~~~~~~~   | /\n"
    "|                |/\n"
    "+----------------+";

platform::DialogTemplate ProgressTemplate() {
  platform::DialogTemplate t;
  t.resource = kProgressDialogId;
  t.caption = "Qel Installer";
  t.width = 284;
  t.height = 210;
  t.icon_resource = kIconId;
  platform::DialogControl picture{kPictureId, platform::ControlKind::picture, 14, 22, 169, 108,
                                  kArtwork, kPictureBitmapId, true};
  platform::DialogControl status{kStatusTextId, platform::ControlKind::centred_text, 41, 137, 200, 8,
                                 "", 0, false};
  platform::DialogControl bar{kProgressBarId, platform::ControlKind::progress_bar, 41, 152, 200, 14,
                              "", 0, false};
  platform::DialogControl cancel{kCancelId, platform::ControlKind::button, 116, 173, 50, 14,
                                 "Cancel", 0, false};
  t.controls = {picture, status, bar, cancel};
  return t;
}

void ErrorBox(platform::DialogWindow& owner, const std::string& text) {
  platform::MessageBoxRequest request;
  request.text = text.substr(0, 1023);  // the message buffer holds 1,024 characters
  request.title = "ERROR";
  platform::dialogs().message_box(&owner, request);
}

}  // namespace

void ShowProgressBar(const char*, int percent) {
  // Each position is sent once: the engine reports every block, and every
  // message waits for the dialog's thread.
  static int last_sent = -1;  // touched by the worker thread only
  if (percent == last_sent) return;
  last_sent = percent;
  if (platform::DialogWindow* dialog = State().main_window) dialog->set_progress(kProgressBarId, percent);
}

int RunInstallerThread(platform::DialogWindow& dialog) {
  LauncherState& s = State();
  // After an interruption the process ends once this run has cleaned up;
  // a box would only hold that up.
  auto error_box = [&](const std::string& text) {
    if (!platform::interruptions().interrupted()) ErrorBox(dialog, text);
  };
  dialog.set_text(kStatusTextId, "Preparing the installer...");
  s.progress_display = ShowProgressBar;
  int r = QueryArchive();
  if (r != 0) {
    error_box(OwnPathTooLong() ? kOwnPathTooLong : FormatCode(kQueryFailed, r));
  } else if (!PrepareExtractionDirectory()) {
    error_box("Could not setup the extraction directory.");
  } else if ((r = ExtractArchive()) != 0) {
    if (!s.cancel_requested) {
      error_box(FormatCode(kExtractionFailed, r));
    }
  } else {
    dialog.show(false);
    if (ReadLaunchConfig() != 0) {
      error_box("Could not locate the launcher command");
    } else if (LaunchInstaller() == -1) {
      char text[1024];
      std::snprintf(text, sizeof text, "Could not launch the installer. Error: %s", std::strerror(errno));
      error_box(text);
    }
    dialog.show(true);
  }
  dialog.show_control(kProgressBarId, false);
  dialog.show_control(kCancelId, false);
  dialog.set_text(kStatusTextId, "Cleaning up...");
  CleanUp();
  dialog.end(s.cancel_requested ? platform::DIALOG_CANCEL : platform::DIALOG_OK);
  return 1;
}

int RunProgressDialog() {
  LauncherState& s = State();
  bool worker_started = false;  // touched on the dialog's thread only
  std::thread worker;
  platform::DialogEvents events;
  events.shown = [&](platform::DialogWindow& dialog) {
    if (worker_started) return;
    worker_started = true;
    s.main_window = &dialog;
    worker = std::thread([&dialog] { RunInstallerThread(dialog); });
  };
  events.command = [&](platform::DialogWindow& dialog, int control) {
    if (control != kCancelId) return;
    dialog.set_text(kStatusTextId, "Cancelling the installer...");
    dialog.enable_control(kCancelId, false);
    if (worker_started) {
      s.cancel_requested = 1;
    } else {
      dialog.end(platform::DIALOG_CANCEL);
    }
  };
  int result = platform::dialogs().run_modal(ProgressTemplate(), events);
  if (worker.joinable()) worker.join();
  s.main_window = nullptr;
  return result;
}

}  // namespace launcher
