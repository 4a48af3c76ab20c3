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

}  // namespace

std::string SelfRemovalScriptText(const UninstallInfo& info, const std::string& program,
                                  const std::string& script) {
  const platform::SelfRemoval& sh = platform::self_removal();
  const char sep = platform::file_system().path_separator();
  auto under = [&](const std::string& base, std::initializer_list<const char*> names) {
    std::string path = base;
    for (const char* name : names) (path += sep) += name;
    return path;
  };

  std::string text = sh.change_to_root();
  text += sh.begin_attempts();
  // The program file is busy until this process has ended; each pause runs
  // the program itself in its pause course, which ends after half a second.
  for (int attempt = 1; attempt <= kDeletionAttempts; ++attempt) {
    text += sh.delete_file(program);
    text += sh.end_if_missing(program);
    if (attempt < kDeletionAttempts) text += sh.run(program, "-sleep");
    text += "\n";
  }
  text += sh.end_attempts();

  const std::string& d = info.InstallDir;
  if (info.IsJre) {
    text += sh.delete_file(under(d, {"bin", "RidOvavu.dll"}));
    text += sh.remove_directory(under(d, {"bin"}));
  } else {
    text += sh.delete_file(under(d, {"jre", "bin", "RidOvavu.dll"}));
    text += sh.remove_directory(under(d, {"jre", "bin"}));
    text += sh.remove_directory(under(d, {"jre"}));
  }
  text += sh.remove_directory(d);

  size_t last = program.find_last_of(sep);
  if (last != std::string::npos) {
    std::string x = program.substr(0, last);
    text += sh.remove_directory(x);
    // An uninstaller kept in a subdirectory of the installation held the
    // installation directory up until now: remove the emptied ancestors.
    if (x.size() > d.size() && x.compare(0, d.size(), d) == 0 && IsSeparator(x[d.size()])) {
      for (size_t cut = x.find_last_of(sep); cut != std::string::npos && cut >= d.size();
           cut = x.find_last_of(sep, cut - 1)) {
        text += sh.remove_directory(x.substr(0, cut));
        if (cut == d.size()) break;
      }
    }
  }
  text += sh.delete_file(script);
  return text;
}

void WriteSelfRemovalScript(const UninstallInfo& info) {
  platform::FileSystem& fs = platform::file_system();
  std::string program, temp;
  if (fs.program_path(program) != platform::Error::none) return;
  if (fs.temp_directory(temp) != platform::Error::none) return;

  std::string script;
  platform::File file;
  // An exclusive create under an unguessable name: nobody can have planted
  // a link or a script of their own under it beforehand.
  if (platform::text_files().create_unique(temp, kScriptPrefix, platform::self_removal().script_extension(),
                                           script, file) != platform::Error::none)
    return;
  platform::TextWriter writer(file);
  writer.write(SelfRemovalScriptText(info, program, script));
  bool written = writer.ok() && file.close() == platform::Error::none;
  // A half-written script could stop after deleting the library but before
  // deleting itself; better none at all.
  if (!written) {
    fs.delete_file(script);
    return;
  }
  LaunchSelfRemovalScript(script);
}

bool LaunchSelfRemovalScript(const std::string& script) {
  platform::FileSystem& fs = platform::file_system();
  std::string program, short_program, interpreter;
  if (fs.program_path(program) != platform::Error::none) return false;
  if (fs.short_path(program, short_program) != platform::Error::none) return false;
  if (platform::self_removal().command_interpreter(interpreter) != platform::Error::none) return false;
  return platform::self_removal().start_script(interpreter, script, short_program);
}

void RebootSystem() {
  platform::SystemRestart& restart = platform::system_restart();
  if (!restart.enable_restart_privilege()) return;
  restart.restart();
}
