// Undoing a system integration through the product's helper library
// RidOvavu.dll, which ships in the product's bin directory.
#pragma once

#include <cstdint>
#include <string>

#include "platform/loader.h"
#include "uninstall_info.h"

// Appends `directory` to this process's PATH (inherited by its children),
// so that the library search finds the product's bin directory. A missing
// or empty PATH is left alone.
void AppendToPath(const std::string& directory);

// The helper library, loaded by its bare name on first use and never
// unloaded. Every call looks its function up anew.
class HelperLibrary {
 public:
  static constexpr const char* kLibraryName = "RidOvavu.dll";

  // The address of an exported function; throws CError when the library
  // cannot be loaded or does not export `function`.
  platform::LibrarySymbol Lookup(const std::string& function);
  uint32_t Call(const std::string& function);
  uint32_t Call(const std::string& function, const std::string& text);

  bool Loaded() const { return module_ != nullptr; }
  // The file the library was loaded from (empty before the first call).
  const std::string& LoadedPath() const { return loaded_path_; }

 private:
  platform::LibraryHandle module_ = nullptr;
  std::string library_path_;
  std::string loaded_path_;
};

// The two lock tests: non-zero when the removal must wait.
uint32_t IsControlPanelLocked(HelperLibrary& library);
uint32_t IsJavaJavawLocked(HelperLibrary& library);

// The fixed call sequence of a JRE or of an SDK; throws CError when a call
// cannot be made or, for a JRE, when a lock test answers non-zero.
void HelperUninstall(HelperLibrary& library, const UninstallInfo& info);
