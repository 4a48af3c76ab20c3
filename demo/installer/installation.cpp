// The installation sequence.
#include "installation.h"

#include <cstdlib>
#include <fstream>
#include <iostream>

#include "install_error.h"
#include "platform/dialogs.h"
#include "platform/environment.h"
#include "record_writer.h"
#include "product_copy.h"
#include "product_identity.h"
#include "registration.h"
#include "silent_xml.h"
#include "temp_work.h"

namespace fs = std::filesystem;

namespace qelinst {
namespace {

constexpr const char* PRODUCT_NAME = "Qel Demo";

std::optional<std::string> environment(const char* name) {
  std::optional<std::string> value = platform::environment().get(name);
  if (!value || value->empty()) return std::nullopt;
  return value;
}

fs::path choose_install_dir(const InstallerOptions& o, const SilentAnswers& answers, InstallLog& log) {
  if (o.silent_xml) {
    if (!answers.install_dir) {
      throw InstallError(EXIT_BAD_ANSWER_FILE, "the answer file " + *o.silent_xml + " cannot be used: " + *answers.error);
    }
    log.info("Answer file: " + *o.silent_xml);
    return uninstall_record::PathOf(*answers.install_dir);
  }
  const std::optional<fs::path> fallback = default_install_dir();
  if (!fallback) {
    throw InstallError(EXIT_BAD_TARGET, "no installation directory: name one with -silent_xml=<answer file>");
  }
  return *fallback;
}

// Console mode asks on the console; Enter keeps the proposal.
fs::path ask_on_console(const fs::path& proposal) {
  std::cout << "Install " << PRODUCT_NAME << " into " << proposal.string() << "?\n"
            << "Press Enter to accept, type another directory, or type q to cancel: " << std::flush;
  std::string line;
  if (!std::getline(std::cin, line)) {
    std::cout << '\n';
    return proposal;  // no input to read: take the proposal
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  if (line == "q" || line == "Q") throw InstallError(EXIT_CANCELLED, "cancelled by the user");
  return line.empty() ? proposal : uninstall_record::PathOf(line);
}

void ask_in_dialog(const fs::path& target) {
  platform::MessageBoxRequest request;
  request.title = std::string(PRODUCT_NAME) + " Setup";
  request.text = "Install " + std::string(PRODUCT_NAME) + " into " + target.string() + "?";
  request.buttons = platform::MessageButtons::ok_cancel;
  if (platform::dialogs().message_box(nullptr, request) != platform::DIALOG_OK) {
    throw InstallError(EXIT_CANCELLED, "cancelled by the user");
  }
}

void tell_in_dialog(const std::string& text, bool failed) {
  platform::MessageBoxRequest request;
  request.title = std::string(PRODUCT_NAME) + " Setup";
  request.text = text;
  request.icon = failed ? platform::MessageIcon::error : platform::MessageIcon::none;
  platform::dialogs().message_box(nullptr, request);
}

// The scratch directory holds a note of what this run did; the launcher
// removes it through the deletion list after the installer has ended.
void leave_scratch(const InstallerOptions& o, const fs::path& target, InstallLog& log) {
  std::error_code ec;
  const fs::path temp = o.temp_dir && !o.temp_dir->empty() ? uninstall_record::PathOf(*o.temp_dir) : fs::temp_directory_path(ec);
  std::string error;
  const std::optional<fs::path> work = make_work_directory(temp, error);
  if (!work) {
    log.info("Note: no scratch directory (" + error + ")");
    return;
  }
  std::ofstream note(*work / "install-state.txt");
  note << "product=" << PRODUCT_NAME << "\ninstalldir=" << target.string() << "\n";
  note.close();
  const fs::path absolute = fs::absolute(*work, ec);
  if (add_to_delete_list(temp, absolute, error)) {
    log.info("Scratch directory " + absolute.string() + " is listed in " + (temp / DELETE_LIST_NAME).string());
  } else {
    log.info("Note: " + error + "; removing the scratch directory now");
    fs::remove_all(*work, ec);
  }
}

}  // namespace

std::optional<fs::path> default_install_dir() {
  if (const auto program_files = environment("ProgramFiles")) return uninstall_record::PathOf(*program_files) / PRODUCT_NAME;
  if (const auto home = environment("HOME")) return uninstall_record::PathOf(*home) / ".local" / "opt" / "qel-demo";
  return std::nullopt;
}

int run_installation(const InstallerOptions& o, InstallLog& log) {
  try {
    log.info(std::string(PRODUCT_NAME) + " installer (" + mode_name(o.mode) + " mode)");
    if (o.error) throw InstallError(EXIT_BAD_ARGUMENTS, *o.error);
    for (const std::string& a : o.ignored) log.info("Ignoring the argument " + a);

    const SilentAnswers answers = o.silent_xml ? read_silent_xml(*o.silent_xml) : SilentAnswers{};
    fs::path target = choose_install_dir(o, answers, log);
    if (!o.silent_xml && o.mode == InstallMode::console) target = ask_on_console(target);
    if (!o.silent_xml && o.mode == InstallMode::graphical) ask_in_dialog(target);
    target.make_preferred();
    check_install_target(target);
    const ProductIdentity id;
    if (o.uninstaller) {
      const std::string problem = record_problem(id, target);
      if (!problem.empty()) {
        throw InstallError(EXIT_BAD_TARGET, "the uninstaller could not be told about " + target.string() + ": " + problem);
      }
      if (!fs::is_regular_file(*o.uninstaller)) {
        throw InstallError(EXIT_COPY_FAILED, "the uninstaller " + *o.uninstaller + " is missing");
      }
    }

    log.info("Installing into " + target.string());
    const CopyReport copied = copy_product(uninstall_record::PathOf(o.product_dir), target);
    log.info("Copied " + std::to_string(copied.files) + " files in " + std::to_string(copied.directories) +
             " directories (" + std::to_string(copied.bytes) + " bytes)");
    if (o.uninstaller) {
      try {
        Registration registration(id, log);
        RegistrationOptions r;
        r.uninstaller = *o.uninstaller;
        r.target = target;
        if (answers.programs_folder) r.programs_folder = uninstall_record::PathOf(*answers.programs_folder);
        registration.run(r);
        registration.commit();
      } catch (const InstallError&) {
        remove_created(copied);  // the registration has undone itself
        throw;
      }
    } else {
      log.info("No uninstaller given (-uninstaller=): the product is not registered");
    }

    leave_scratch(o, target, log);
    log.info(std::string(PRODUCT_NAME) + " is installed in " + target.string());
    if (o.mode == InstallMode::graphical) tell_in_dialog(std::string(PRODUCT_NAME) + " is installed in " + target.string() + ".", false);
    return 0;
  } catch (const InstallError& e) {
    log.error(std::string("Installation failed: ") + e.what());
    if (o.mode == InstallMode::graphical && e.exit_code() != EXIT_CANCELLED) {
      tell_in_dialog(std::string("Installation failed: ") + e.what(), true);
    }
    return e.exit_code();
  } catch (const std::exception& e) {
    log.error(std::string("Installation failed: ") + e.what());
    return EXIT_COPY_FAILED;
  }
}

}  // namespace qelinst
