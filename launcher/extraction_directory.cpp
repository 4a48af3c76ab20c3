// The extraction directory: base directory, space check, the user's choice
// of another base in console and graphical mode, the unique directory.
#include "extraction_directory.h"

#include <cstdio>
#include <cstring>

#include "launcher_state.h"
#include "platform/dialogs.h"
#include "platform/file_system.h"
#include "platform/interruption.h"

namespace launcher {
namespace {

constexpr size_t kMaxPath = 260;
// A file's full path, without the terminating NUL of a 260-byte buffer.
constexpr size_t kMaxFilePath = 259;
// "sfx", four hexadecimal digits, ".tmp": the longest unique name.
constexpr size_t kUniqueNameLength = 11;
constexpr const char* kQuestionTitle = "Qel Systems Installer";

std::string Format(const char* format, const std::string& path) {
  std::string text(std::strlen(format) + path.size() + 1, '\0');
  int n = std::snprintf(text.data(), text.size(), format, path.c_str());
  text.resize(n > 0 ? static_cast<size_t>(n) : 0);
  return text;
}

// Reads one line of at most 260 characters from stdin, without its line
// end; the rest of a longer line is dropped. False at the end of input.
bool ReadConsoleLine(std::string& line) {
  line.clear();
  int c;
  bool any = false;
  while ((c = std::fgetc(stdin)) != EOF) {
    any = true;
    if (c == '\n') break;
    if (line.size() < kMaxPath) line.push_back(static_cast<char>(c));
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  // An interruption ends the read (EINTR) like the end of input.
  if (platform::interruptions().interrupted()) return false;
  return any;
}

int Ask(const std::string& text, platform::MessageButtons buttons) {
  platform::MessageBoxRequest request;
  request.text = text;
  request.title = kQuestionTitle;
  request.buttons = buttons;
  return platform::dialogs().message_box(State().main_window, request);
}

// True when a unique directory under `base` could not hold the payload's
// names within the path limit.
bool ExtractionPathTooLong(const std::string& base) {
  std::string trimmed = base;
  while (trimmed.size() > 1 && trimmed.back() == platform::file_system().path_separator()) trimmed.pop_back();
  const size_t directory = trimmed.size() + 1 + kUniqueNameLength;
  if (directory > kMaxPath) return true;
  const size_t longest = State().payload_longest_name;
  return longest > 0 && directory + 1 + longest > kMaxFilePath;
}

}  // namespace

uint64_t FreeSpace(const std::string& path) {
  uint64_t bytes = 0;
  if (platform::file_system().free_space(path, bytes) != platform::Error::none) return 0;
  return bytes;
}

bool DirectoryExists(const std::string& path) {
  if (path.empty()) return false;
  platform::FileSystem& fs = platform::file_system();
  uint32_t attributes = 0;
  if (fs.get_attributes(path, attributes) != platform::Error::none) return false;
  if (attributes & platform::FILE_ATTR_DIRECTORY) return true;
  // Windows reports a link to a directory with the directory bit; the
  // POSIX backend reports the link alone. A directory reached through it
  // serves as well: asking for "." inside makes the system follow it.
  if ((attributes & platform::FILE_ATTR_REPARSE_POINT) == 0) return false;
  return fs.get_attributes(path + fs.path_separator() + ".", attributes) == platform::Error::none &&
         (attributes & platform::FILE_ATTR_DIRECTORY) != 0;
}

bool BrowseForExtractionDirectory(std::string& result) {
  std::string path;
  platform::FolderChoice choice = platform::dialogs().browse_for_folder(
      State().main_window, "Please choose a folder for extraction", path);
  if (choice == platform::FolderChoice::cancelled) return false;
  if (choice == platform::FolderChoice::no_path || path.empty() || path.size() > kMaxPath) {
    platform::MessageBoxRequest request;
    request.text = "Cannot use this path for extraction";
    request.title = "Qel Installer";
    platform::dialogs().message_box(State().main_window, request);
    return false;
  }
  result = path;
  return true;
}

bool PrepareExtractionDirectory() {
  LauncherState& s = State();
  platform::FileSystem& fs = platform::file_system();

  std::string current;
  if (fs.current_directory(current) != platform::Error::none || current.size() > kMaxPath) return false;
  s.saved_directory = current;

  if (!s.temp_base) {
    std::string temp;
    if (fs.temp_directory(temp) != platform::Error::none) return false;
    s.temp_base = temp;
  }

  // The base as the installer and the clean-up will use it: absolute, since
  // the installer runs in the extraction directory.
  std::string full;
  for (;;) {
    // Too long a path is said first: Windows cannot even tell whether such
    // a directory exists.
    std::string problem;
    const platform::Error resolved = fs.full_path(*s.temp_base, full);
    if (resolved == platform::Error::name_too_long ||
        (resolved == platform::Error::none && ExtractionPathTooLong(full))) {
      problem = Format("The directory \"%s\" has a path too long for extraction. ", *s.temp_base);
    } else if (resolved != platform::Error::none || !DirectoryExists(*s.temp_base)) {
      problem = Format("The directory \"%s\" does not exist. ", *s.temp_base);
    } else if (FreeSpace(*s.temp_base) > s.payload_total) {
      break;
    } else {
      problem = Format("The directory \"%s\" does not have enough space. ", *s.temp_base);
    }
    // A silent run asks nothing, but its log should say why it stopped.
    if (s.mode == LAUNCH_SILENT) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      return false;
    }
    if (s.mode == LAUNCH_CONSOLE) {
      std::fprintf(stderr, "%s\n", problem.c_str());
      s.temp_base = std::string();
      std::fputs("Please input another directory or [Exit]:", stdout);
      std::fflush(stdout);
      std::string line;
      bool got = ReadConsoleLine(line);
      s.temp_base = line;
      if (!got || line.empty() || line == "Exit") return false;
      continue;
    }
    if (Ask(problem + "Do you want to change directory?", platform::MessageButtons::ok_cancel) !=
        platform::DIALOG_OK) {
      return false;
    }
    std::string chosen;
    if (!BrowseForExtractionDirectory(chosen)) return false;
    s.temp_base = chosen;
  }
  s.temp_base = full;

  std::string unique;
  platform::Error e = fs.unique_temp_file(*s.temp_base, "sfx", unique);
  if (e != platform::Error::none || unique.size() > kMaxPath) {
    if (e == platform::Error::access_denied) {
      std::string text =
          Format("Could not create temporary directory under \"%s\". Access is denied.", *s.temp_base);
      if (s.mode == LAUNCH_GUI) {
        Ask(text, platform::MessageButtons::ok);
      } else {
        std::fprintf(stderr, "%s\n", text.c_str());
      }
    } else if (e == platform::Error::none) {
      fs.delete_file(unique);  // made, but too long a name to keep
    }
    s.extraction_dir.reset();
    return false;
  }
  // The unique file reserves the name; the directory takes its place.
  if (fs.delete_file(unique) != platform::Error::none ||
      fs.create_directory(unique) != platform::Error::none ||
      fs.set_current_directory(unique) != platform::Error::none) {
    s.extraction_dir.reset();
    return false;
  }
  s.extraction_dir = unique;
  return true;
}

}  // namespace launcher
