// Progress of the file removal: files counted before, removals done, and
// the percentage last sent to the progress bar.
#pragma once

class UninstallerUi;

struct Progress {
  int total = 0;      // files counted below the installation directory
  int done = 0;       // successful removals, files and directories alike
  int last_sent = 0;  // the last percentage sent to the bar
  UninstallerUi* ui = nullptr;  // the window holding the bar
};

// Counts one more removal and sends the percentage to the bar when it has
// changed. Directories count as done but not in total, so the percentage
// passes 100 near the end; it is sent as it is and the bar stays full.
void AdvanceProgress(Progress& progress);
