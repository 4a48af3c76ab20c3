// Counting removals onto the progress bar.
#include "progress.h"

#include "uninstaller_ui.h"

void AdvanceProgress(Progress& progress) {
  ++progress.done;
  int percent = progress.total == 0
                    ? 100
                    : static_cast<int>(static_cast<long long>(progress.done) * 100 / progress.total);
  if (percent == progress.last_sent) return;
  progress.last_sent = percent;
  if (progress.ui) progress.ui->SetProgress(percent);
}
