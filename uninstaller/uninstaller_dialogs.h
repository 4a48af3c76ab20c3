// The uninstaller's three dialogs (confirmation 102, progress 129, result
// 130, icon 128) shown through the platform's dialog service.
#pragma once

#include <memory>

#include "platform/dialogs.h"
#include "uninstaller_ui.h"

// Control and resource numbers shared with the Windows resources.
inline constexpr int IDD_CONFIRMATION = 102;
inline constexpr int IDD_PROGRESS = 129;
inline constexpr int IDD_RESULT = 130;
inline constexpr int IDI_UNINSTALLER = 128;
inline constexpr int IDC_MESSAGE = 1000;
inline constexpr int IDC_PROGRESS_BAR = 1004;

platform::DialogTemplate ConfirmationDialog(const std::string& text);
platform::DialogTemplate ProgressDialog();
platform::DialogTemplate ResultDialog(const std::string& text);

class UninstallerDialogs final : public UninstallerUi {
 public:
  Confirmation Confirm(const std::string& text) override;
  void OpenProgress() override;
  void SetProgress(int position) override;
  void CloseProgress() override;
  void ShowResult(const std::string& text) override;

 private:
  std::unique_ptr<platform::DialogWindow> progress_;
};
