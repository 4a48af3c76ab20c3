// The uninstaller's one failure type. A stage that must stop the removal
// throws it with a fixed message; RunUninstall catches it once and reports it.
#pragma once

class CError {
 public:
  explicit constexpr CError(const char* message) : message_(message) {}
  // A constant text, never null; shown inside "Uninstallation Failed: %s."
  const char* Message() const { return message_; }

 private:
  const char* message_;
};

// The fixed texts of the failures, byte for byte as users and callers see them.
namespace messages {
inline constexpr const char* kNoUninstallInfo = "Can't retrieve uninstall information";
inline constexpr const char* kJvmInUse = "JVM is in use, please try again later";
inline constexpr const char* kLockedBeforeRemoval =
    "Please any programs that are using java.exe or javaw.exe in the windows system "
    "directory.Also, close the system control panel and/or your java control panel.";
inline constexpr const char* kLockedInJreSequence =
    "Please stop the java  program running from your system directory.";
inline constexpr const char* kHelperLoadFailed = "RidOvavu: Error loading ridovavu.dll";
inline constexpr const char* kHelperPathFailed = "RidOvavu: Error setting library path";
inline constexpr const char* kHelperFunctionMissing = "Error finding function in ridovavu.dll";
// Not the installer's own failures: a damaged or hostile record must not
// turn the removal against anything but the product. Each stops the run
// before anything is removed.
inline constexpr const char* kUnsafeInstallDir =
    "Installation directory is a root, home or system directory, nothing was removed";
inline constexpr const char* kInstallDirRelative = "Installation directory is not an absolute path, nothing was removed";
inline constexpr const char* kInstallDirParentStep =
    "Installation directory contains a \"..\" step, nothing was removed";
inline constexpr const char* kInstallDirIsLink = "Installation directory is a link, nothing was removed";
inline constexpr const char* kInstallDirNotDirectory = "Installation directory is not a directory, nothing was removed";
inline constexpr const char* kInstallDirUnreadable = "Installation directory cannot be opened, nothing was removed";
inline constexpr const char* kStartMenuFolderInvalid =
    "Start-menu folder is not a name below the programs folder, nothing was removed";
inline constexpr const char* kStartMenuProgramsRelative =
    "Start-menu programs folder is not an absolute path, nothing was removed";
inline constexpr const char* kUnsafeStartMenuFolder =
    "Start-menu folder is a root, home or system directory, nothing was removed";
inline constexpr const char* kStartMenuIsLink = "Start-menu folder is a link, nothing was removed";
inline constexpr const char* kStartMenuUnreadable =
    "Start-menu folder cannot be opened as a directory, nothing was removed";
}  // namespace messages
