// The uninstaller's three windows as the run sequence sees them: the
// confirmation, the progress bar and the result. The real ones are dialogs
// (uninstaller_dialogs.h); tests put a recorder in their place.
#pragma once

#include <string>

class UninstallerUi {
 public:
  virtual ~UninstallerUi() = default;
  // Shows the confirmation modally; true when it ended with OK.
  virtual bool Confirm(const std::string& text) = 0;
  // Opens the progress window with its bar at 0 of 0..100.
  virtual void OpenProgress() = 0;
  // Sets the bar's position as given; values past 100 are sent as they are.
  virtual void SetProgress(int position) = 0;
  virtual void CloseProgress() = 0;
  // Shows the result modally until OK.
  virtual void ShowResult(const std::string& text) = 0;
};
