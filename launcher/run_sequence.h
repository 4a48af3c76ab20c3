// The run sequences: console and silent on the main thread, graphical on a
// worker thread beside the progress dialog, and the start-up that picks one.
#pragma once

#include <string>
#include <vector>

namespace platform {
class DialogWindow;
}

namespace launcher {

// Control ids of the progress dialog (template 102).
inline constexpr int kProgressDialogId = 102;
inline constexpr int kProgressBarId = 1001;
inline constexpr int kStatusTextId = 1002;
inline constexpr int kPictureId = 1005;
inline constexpr int kCancelId = 2;
inline constexpr int kPictureBitmapId = 138;
inline constexpr int kIconId = 128;

// Exit codes of a silent run where console mode exits 0 although nothing
// was installed, so that a deployment tool sees the failure.
inline constexpr int kSilentNoExtractionDirectory = -2;
inline constexpr int kSilentInstallerNotStarted = -3;

// Said instead of "corrupted" when the payload cannot be read because the
// launcher's own path is too long for the engine.
inline constexpr char kOwnPathTooLong[] =
    "The installer cannot read itself: its path is longer than 259 characters. Move it to a folder with a "
    "shorter path.";
// Said once, instead of the failure an interruption caused.
inline constexpr char kInterrupted[] = "The installer was interrupted.";
// The failures of the two payload calls, with the engine's result code.
inline constexpr char kQueryFailed[] = "Could not obtain archive information since it is corrupted. Error code = %i";
inline constexpr char kExtractionFailed[] = "Could not extract the archive since it is corrupted. Error code = %i";

bool IsIa64Wow64();
// The text of `format` with the engine's result code in it (at most 1,023
// characters, the run sequence's message buffer).
std::string FormatCode(const char* format, int code);

// Console and silent mode: the exit code.
int RunConsole();
// Graphical mode: the worker's sequence; ends the dialog, answers 1.
int RunInstallerThread(platform::DialogWindow& dialog);
// Graphical mode: runs the progress dialog modally; answers its end result.
int RunProgressDialog();

// The progress displays.
void ShowProgressBar(const char* entry_name, int percent);
void PrintProgressDots(const char* entry_name, int percent);

// The whole program: the process exit code.
int LauncherMain(const std::vector<std::string>& args);

}  // namespace launcher
