// The run sequence of a removal.
#include "run_uninstall.h"

#include "c_error.h"
#include "file_tree.h"
#include "install_dir_guard.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "registry_cleanup.h"
#include "start_menu.h"

namespace {

std::string Under(const std::string& base, std::initializer_list<const char*> names) {
  const char sep = platform::file_system().path_separator();
  std::string path = base;
  for (const char* name : names) (path += sep) += name;
  return path;
}

void RemoveProduct(RunState& state) {
  const UninstallInfo& info = state.info;
  if (!state.info_present) throw CError(messages::kNoUninstallInfo);
  if (IsUnsafeInstallDir(info.InstallDir)) throw CError(messages::kUnsafeInstallDir);

  std::string jvm = info.IsJre ? Under(info.InstallDir, {"bin", "tarvik", "jvm.dll"})
                               : Under(info.InstallDir, {"jre", "bin", "tarvik", "jvm.dll"});
  if (IsJvmInUse(jvm)) throw CError(messages::kJvmInUse);

  if (info.Integrated) {
    AppendToPath(info.IsJre ? Under(info.InstallDir, {"bin"}) : Under(info.InstallDir, {"jre", "bin"}));
    if (IsControlPanelLocked(state.helper) != 0 || IsJavaJavawLocked(state.helper) != 0)
      throw CError(messages::kLockedBeforeRemoval);
    HelperUninstall(state.helper, info);
  }

  RemovalContext context;
  if (!state.silent) context.progress = &state.progress;
  // Files this process holds are left for the self-removal script, as
  // Windows would refuse them anyway; on POSIX this keeps an interrupted
  // removal restartable with the same program file.
  std::string self;
  if (platform::file_system().program_path(self) == platform::Error::none) context.keep.push_back(WidePath(self));
  if (state.helper.Loaded() && !state.helper.LoadedPath().empty()) {
    std::string full;
    if (platform::file_system().full_path(state.helper.LoadedPath(), full) == platform::Error::none)
      context.keep.push_back(WidePath(full));
  }

  std::u16string install_dir = WidePath(info.InstallDir);
  // The count only feeds the progress bar, which a silent run does not
  // have; skipping it spares a whole walk of the tree.
  if (!state.silent) state.progress.total += CountFiles(install_dir);
  DeleteTree(install_dir, context);
  RemoveStartMenuFolder(info.StartMenuFolder, context);
  CleanRegistry(info);
}

}  // namespace

void WriteLog(RunState& state, const std::string& text) {
  if (!state.log.is_open()) return;
  platform::TextWriter writer(state.log);
  writer.write(text);
}

void RunUninstall(RunState& state) {
  if (!state.silent && state.ui) state.ui->OpenProgress();
  try {
    RemoveProduct(state);
  } catch (const CError& error) {
    state.success = false;
    std::string message = error.Message();
    if (!state.silent)
      state.result_text = "Uninstallation Failed: " + message + ".";
    else
      WriteLog(state, "Uninstallation Failed: " + message + ".\n");
  }
  if (!state.silent) {
    if (state.ui) {
      state.ui->SetProgress(100);
      state.ui->CloseProgress();
      state.ui->ShowResult(state.result_text);
    }
  } else if (state.success) {
    WriteLog(state, state.info.ProductName + " was successfully uninstalled.\n");
  }
}
