// The self-removal script and the restart course.
#include "self_removal_script.h"

#include "platform/file.h"
#include "platform/file_system.h"
#include "platform/self_removal.h"
#include "platform/system_restart.h"
#include "platform/text_file.h"

namespace {

constexpr int kDeletionAttempts = 10;
constexpr const char* kScriptPrefix = "uninstall";

bool IsSeparator(char c) { return c == '/' || c == '\\'; }

// The lines of the script, each path in the form the script can name it.
class ScriptLines {
 public:
  ScriptLines() : sh_(platform::self_removal()) {}

  // The script form of a path that must be named.
  bool Named(const std::string& path, std::string& out) {
    if (sh_.script_path(path, out) == platform::Error::none) return true;
    if (problem_.empty()) problem_ = path;
    return false;
  }
  // A line about a path that may be gone already; a gone path that the
  // script could not name needs no line.
  template <class Line> void About(const std::string& path, Line line) {
    std::string named;
    platform::Error e = sh_.script_path(path, named);
    if (e == platform::Error::none)
      text_ += (sh_.*line)(named);
    else if (e != platform::Error::not_found && problem_.empty())
      problem_ = path;
  }

  const platform::SelfRemoval& sh() const { return sh_; }
  std::string& text() { return text_; }
  const std::string& problem() const { return problem_; }

 private:
  const platform::SelfRemoval& sh_;
  std::string text_;
  std::string problem_;
};

}  // namespace

bool SelfRemovalScriptText(const UninstallInfo& info, const std::string& install_dir, const std::string& program,
                           const std::string& script, std::string& text, std::string& problem) {
  const char sep = platform::file_system().path_separator();
  auto under = [&](const std::string& base, std::initializer_list<const char*> names) {
    std::string path = base;
    for (const char* name : names) (path += sep) += name;
    return path;
  };
  using SR = platform::SelfRemoval;

  ScriptLines lines;
  const SR& sh = lines.sh();
  // Another run's script may have taken the program file already (a rerun
  // after an interrupted removal): then only the directories are left to do.
  platform::FileStatus status;
  const bool program_there = platform::file_system().status(program, status) != platform::Error::none ||
                             status.kind != platform::FileKind::missing;
  std::string e, s;
  if ((program_there && !lines.Named(program, e)) || !lines.Named(script, s)) {
    problem = lines.problem();
    return false;
  }
  std::string& out = lines.text();
  out = sh.change_to_root();
  if (program_there) {
    out += sh.begin_attempts();
    // The program file is busy until this process has ended; each pause
    // runs the program itself in its pause course, which ends after half a
    // second.
    for (int attempt = 1; attempt <= kDeletionAttempts; ++attempt) {
      out += sh.delete_file(e);
      out += sh.end_if_missing(e);
      if (attempt < kDeletionAttempts) out += sh.run(e, "-sleep");
      out += "\n";
    }
    out += sh.end_attempts();
  }

  const std::string& d = install_dir;
  if (info.IsJre) {
    lines.About(under(d, {"bin", "RidOvavu.dll"}), &SR::delete_file);
    lines.About(under(d, {"bin"}), &SR::remove_directory);
  } else {
    lines.About(under(d, {"jre", "bin", "RidOvavu.dll"}), &SR::delete_file);
    lines.About(under(d, {"jre", "bin"}), &SR::remove_directory);
    lines.About(under(d, {"jre"}), &SR::remove_directory);
  }
  lines.About(d, &SR::remove_directory);

  size_t last = program.find_last_of(sep);
  if (last != std::string::npos) {
    std::string x = program.substr(0, last);
    lines.About(x, &SR::remove_directory);
    // An uninstaller kept in a subdirectory of the installation held the
    // installation directory up until now: remove the emptied ancestors.
    if (x.size() > d.size() && x.compare(0, d.size(), d) == 0 && IsSeparator(x[d.size()])) {
      for (size_t cut = x.find_last_of(sep); cut != std::string::npos && cut >= d.size();
           cut = x.find_last_of(sep, cut - 1)) {
        lines.About(x.substr(0, cut), &SR::remove_directory);
        if (cut == d.size()) break;
      }
    }
  }
  out += sh.delete_file(s);
  if (!lines.problem().empty()) {
    problem = lines.problem();
    return false;
  }
  text = std::move(out);
  return true;
}

bool WriteSelfRemovalScript(const UninstallInfo& info, const std::string& install_dir, std::string& problem) {
  platform::FileSystem& fs = platform::file_system();
  std::string program, temp;
  if (fs.program_path(program) != platform::Error::none) {
    problem = "its own program file cannot be found";
    return false;
  }
  if (fs.temp_directory(temp) != platform::Error::none) {
    problem = "there is no temporary directory";
    return false;
  }

  std::string script;
  platform::File file;
  // An exclusive create under an unguessable name: nobody can have planted
  // a link or a script of their own under it beforehand.
  if (platform::Error e = platform::text_files().create_unique(temp, kScriptPrefix,
                                                               platform::self_removal().script_extension(), script, file);
      e != platform::Error::none) {
    problem = "it cannot be created in " + temp + " (" + platform::error_text(e) + ")";
    return false;
  }
  std::string text, unnamed;
  if (!SelfRemovalScriptText(info, install_dir, program, script, text, unnamed)) {
    file.close();
    fs.delete_file(script);
    problem = "it cannot name " + unnamed;
    return false;
  }
  platform::TextWriter writer(file);
  writer.write(text);
  bool written = writer.ok() && file.close() == platform::Error::none;
  // A half-written script could stop after deleting the library but before
  // deleting itself; better none at all.
  if (!written) {
    fs.delete_file(script);
    problem = "it could not be written to " + script;
    return false;
  }
  if (!LaunchSelfRemovalScript(script)) {
    fs.delete_file(script);
    problem = "the command interpreter could not be started";
    return false;
  }
  return true;
}

bool LaunchSelfRemovalScript(const std::string& script) {
  platform::FileSystem& fs = platform::file_system();
  std::string program, short_program, interpreter;
  if (fs.program_path(program) != platform::Error::none) return false;
  // The shell hears of the program's deletion by its short name; a program
  // file that is gone already has none.
  if (fs.short_path(program, short_program) != platform::Error::none) short_program = program;
  if (platform::self_removal().command_interpreter(interpreter) != platform::Error::none) return false;
  return platform::self_removal().start_script(interpreter, script, short_program);
}

void RebootSystem() {
  platform::SystemRestart& restart = platform::system_restart();
  if (!restart.enable_restart_privilege()) return;
  restart.restart();
}
