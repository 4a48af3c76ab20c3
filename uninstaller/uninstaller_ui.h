// The uninstaller's three windows as the run sequence sees them: the
// confirmation, the progress bar and the result. The real ones are dialogs
// (uninstaller_dialogs.h); tests put a recorder in their place.
#pragma once

#include <string>

enum class Confirmation {
  ok,
  cancelled,    // Cancel, Esc or the close box
  unavailable,  // nobody could be asked: no terminal, no desktop
};

class UninstallerUi {
 public:
  virtual ~UninstallerUi() = default;
  // Shows the confirmation modally and says how it ended. Never waits when
  // no one could answer.
  virtual Confirmation Confirm(const std::string& text) = 0;
  // Opens the progress window with its bar at 0 of 0..100.
  virtual void OpenProgress() = 0;
  // Sets the bar's position as given; values past 100 are sent as they are.
  virtual void SetProgress(int position) = 0;
  virtual void CloseProgress() = 0;
  // Shows the result modally until OK.
  virtual void ShowResult(const std::string& text) = 0;
};
