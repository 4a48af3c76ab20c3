// Test double of the uninstaller's windows: records what the run shows and
// answers the confirmation as told.
#pragma once

#include <string>
#include <vector>

#include "uninstaller_ui.h"

class RecordingUi final : public UninstallerUi {
 public:
  bool answer_ok = true;
  std::vector<std::string> confirmations;
  std::vector<int> positions;  // every position sent, in order
  int progress_opened = 0, progress_closed = 0;
  std::vector<std::string> results;

  bool nobody_there = false;  // answers that no one could be asked

  Confirmation Confirm(const std::string& text) override {
    confirmations.push_back(text);
    if (nobody_there) return Confirmation::unavailable;
    return answer_ok ? Confirmation::ok : Confirmation::cancelled;
  }
  void OpenProgress() override { ++progress_opened; }
  void SetProgress(int position) override { positions.push_back(position); }
  void CloseProgress() override { ++progress_closed; }
  void ShowResult(const std::string& text) override { results.push_back(text); }
};
