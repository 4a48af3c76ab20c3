// Binding to RidOvavu.dll and the call sequences that undo an integration.
#include "helper_library.h"

#include <new>

#include "c_error.h"
#include "platform/environment.h"
#include "platform/file_system.h"

void AppendToPath(const std::string& directory) {
  platform::Environment& env = platform::environment();
  std::optional<std::string> path = env.get("PATH");
  if (!path || path->empty()) return;
  std::string extended = *path;
  extended += platform::file_system().path_list_separator();
  extended += directory;
  env.set("PATH", extended);
}

platform::LibrarySymbol HelperLibrary::Lookup(const std::string& function) {
  platform::Loader& loader = platform::loader();
  if (!module_) {
    if (library_path_.empty()) {
      try {
        library_path_ = kLibraryName;
      } catch (const std::bad_alloc&) {
        throw CError(messages::kHelperPathFailed);
      }
    }
    if (loader.load(library_path_, module_, loaded_path_) != platform::Error::none) {
      module_ = nullptr;
      throw CError(messages::kHelperLoadFailed);
    }
  }
  platform::LibrarySymbol symbol = loader.find(module_, function);
  if (!symbol) throw CError(messages::kHelperFunctionMissing);
  return symbol;
}

uint32_t HelperLibrary::Call(const std::string& function) {
  return platform::loader().call(Lookup(function));
}

uint32_t HelperLibrary::Call(const std::string& function, const std::string& text) {
  return platform::loader().call(Lookup(function), text.c_str());
}

uint32_t IsControlPanelLocked(HelperLibrary& library) { return library.Call("IsControlPanelLocked"); }
uint32_t IsJavaJavawLocked(HelperLibrary& library) { return library.Call("IsJavaJavawLocked"); }

void HelperUninstall(HelperLibrary& library, const UninstallInfo& info) {
  // The answers of the detection calls are the library's own business; the
  // calls are made because the library expects them before the removal.
  if (!info.IsJre) {
    library.Call("IsjreInstalled", info.FullVersion);
    library.Call("IsMozillaInstalled");
    library.Call("IsIEInstalled");
    library.Call("IsNetscapeInstalled");
    library.Call("UninstallSDK", info.FullVersion);
    library.Call("GetLogFileName");
    library.Call("NeedReboot");
    return;
  }
  library.Call("InstallIntlJRE");
  library.Call("IsMozillaInstalled");
  library.Call("IsNetscapeInstalled");
  library.Call("IsIEInstalled");
  uint32_t panel = IsControlPanelLocked(library);
  uint32_t java = IsJavaJavawLocked(library);
  if (panel != 0 || java != 0) throw CError(messages::kLockedInJreSequence);
  library.Call("UninstallJRE", info.FullVersion);
  if (library.Call("IsJavaVMInUse") == 0) library.Call("NeedReboot");
}
