// The run sequence of a removal.
#include "run_uninstall.h"

#include "c_error.h"
#include "file_tree.h"
#include "platform/file_system.h"
#include "platform/text_file.h"
#include "registry_cleanup.h"
#include "removal_targets.h"
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
  // Before anything is removed: what the record names, resolved once and
  // held from here on.
  RemovalTargets targets = ResolveTargets(info);
  state.install_dir = targets.install_path;
  const std::string& dir = targets.install_path;

  std::string jvm = info.IsJre ? Under(dir, {"bin", "tarvik", "jvm.dll"}) : Under(dir, {"jre", "bin", "tarvik", "jvm.dll"});
  if (IsJvmInUse(jvm)) throw CError(messages::kJvmInUse);

  if (info.Integrated) {
    AppendToPath(info.IsJre ? Under(dir, {"bin"}) : Under(dir, {"jre", "bin"}));
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
  if (platform::file_system().program_path(self) == platform::Error::none) KeepForLater(context, self);
  if (state.helper.Loaded() && !state.helper.LoadedPath().empty()) KeepForLater(context, state.helper.LoadedPath());

  if (targets.install.directory.is_open()) {
    // The count only feeds the progress bar, which a silent run does not
    // have; skipping it spares a whole walk of the tree.
    if (!state.silent) state.progress.total += CountFiles(targets.install);
    DeleteTree(targets.install, context);
  }
  if (targets.start_menu.directory.is_open()) RemoveStartMenuFolder(targets.start_menu, context);
  CleanRegistry(info, targets.install_dir, context.not_removed);
  state.not_removed = std::move(context.not_removed);
}

}  // namespace

std::string LogForm(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    unsigned char b = static_cast<unsigned char>(c);
    if (b < 32) {
      out += '^';
      out += static_cast<char>(b + 64);
    } else {
      out += c;
    }
  }
  return out;
}

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
    for (const std::string& line : state.not_removed) WriteLog(state, "Not removed: " + LogForm(line) + "\n");
  }
}
