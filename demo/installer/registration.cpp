// Registering the installed product with the uninstaller and the system.
#include "registration.h"

#include <cstdlib>
#include <fstream>

#include "install_error.h"
#include "platform/file_system.h"
#include "platform/registry.h"
#include "record_writer.h"

namespace fs = std::filesystem;
using platform::Error;
using platform::RegistryKey;
using platform::RegistryRoot;
using platform::RegistryValue;

namespace qelinst {
namespace {

constexpr const char* SHELL_FOLDERS_KEY = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
constexpr const char* COMMON_PROGRAMS = "Common Programs";
constexpr const char* JAR_COMMAND_KEY = "jarfile\\shell\\open\\command";

std::string full_name(RegistryRoot root, const std::string& path) {
  return std::string(platform::registry_root_name(root)) + "\\" + path;
}

[[noreturn]] void fail(const std::string& what, Error e) {
  std::string message = what + ": " + platform::error_text(e);
  const std::string detail = platform::registry().last_error_message();
  if (!detail.empty()) message += " (" + detail + ")";
  throw InstallError(EXIT_REGISTRATION_FAILED, message);
}

// The installation directory as the uninstaller takes it: no trailing
// separator.
std::string directory_text(const fs::path& target) {
  std::string s = uninstall_record::PathText(target);
  while (s.size() > 1 && (s.back() == '/' || s.back() == '\\')) s.pop_back();
  return s;
}

std::string join(const std::string& directory, std::initializer_list<const char*> parts) {
  const char sep = platform::file_system().path_separator();
  std::string s = directory;
  for (const char* p : parts) s += sep + std::string(p);
  return s;
}

uninstall_record::Record make_record(const ProductIdentity& id, const fs::path& target) {
  using namespace uninstall_record;
  Record r;
  r[ProductName] = id.name;
  r[InstallDir] = directory_text(target);
  r[PublicJreDir] = directory_text(target);
  r[VersionMajor] = id.major;
  r[VersionMinor] = id.minor;
  r[VersionMicro] = id.micro;
  r[VersionUpdate] = id.update;
  r[FullVersion] = id.full_version;
  r[IsJre] = id.is_jre ? "1" : "0";
  r[Integrated] = "0";  // the uninstaller cleans the vendor keys itself
  r[StartMenuFolder] = id.start_menu_folder;
  r[UninstallKey] = full_name(RegistryRoot::local_machine, id.uninstall_key());
  return r;
}

// Registry writes that remember how to take themselves back.
class UndoableRegistry {
 public:
  explicit UndoableRegistry(std::vector<std::function<void()>>& undo) : undo_(undo) {}

  // Opens the key, creating each missing key on the way; every key it
  // creates is deleted again on undo.
  RegistryKey create(RegistryRoot root, const std::string& path) {
    platform::Registry& reg = platform::registry();
    const RegistryKey base = reg.root(root);
    RegistryKey key;
    for (size_t end = 0; end != std::string::npos;) {
      end = path.find('\\', end + 1);
      const std::string prefix = path.substr(0, end);
      bool created = false;
      key.close();
      const Error e = reg.create_key(base, prefix, platform::RegistryAccess::all, key, created);
      if (e != Error::none) fail("cannot create the registry key " + full_name(root, prefix), e);
      if (created) {
        undo_.push_back([root, prefix] {
          platform::Registry& r = platform::registry();
          r.delete_key(r.root(root), prefix);
        });
      }
    }
    return key;
  }

  void set(RegistryRoot root, const std::string& path, const std::string& name, const RegistryValue& value) {
    RegistryKey key = create(root, path);
    platform::Registry& reg = platform::registry();
    RegistryValue old;
    const bool existed = reg.query_value(key, name, old) == Error::none;
    const Error e = reg.set_value(key, name, value);
    const std::string shown = full_name(root, path) + (name.empty() ? "" : " value " + name);
    if (e != Error::none) fail("cannot write the registry key " + shown, e);
    undo_.push_back([root, path, name, existed, old] {
      platform::Registry& r = platform::registry();
      RegistryKey k;
      if (r.open_key(r.root(root), path, platform::RegistryAccess::all, k) != Error::none) return;
      if (existed) r.set_value(k, name, old);
      else r.delete_value(k, name);
    });
  }

  void set_text(RegistryRoot root, const std::string& path, const std::string& name, const std::string& text) {
    set(root, path, name, RegistryValue::string(text));
  }

 private:
  std::vector<std::function<void()>>& undo_;
};

std::optional<std::string> read_text(RegistryRoot root, const std::string& path, const std::string& name) {
  platform::Registry& reg = platform::registry();
  RegistryKey key;
  if (reg.open_key(reg.root(root), path, platform::RegistryAccess::read, key) != Error::none) return std::nullopt;
  RegistryValue value;
  if (reg.query_value(key, name, value) != Error::none) return std::nullopt;
  return value.text();
}

// The other versions of the same family registered below the vendor key.
std::vector<std::string> family_versions(const std::string& vendor_key, const std::string& family) {
  std::vector<std::string> names;
  platform::Registry& reg = platform::registry();
  RegistryKey key;
  if (reg.open_key(reg.root(RegistryRoot::local_machine), vendor_key, platform::RegistryAccess::read, key) !=
      Error::none)
    return names;
  std::string name;
  for (uint32_t i = 0; reg.enum_subkey(key, i, name) == Error::none; ++i) {
    if (name.compare(0, family.size(), family) == 0 && name != family) names.push_back(name);
  }
  return names;
}

fs::path default_programs_folder() {
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data) return fs::path(data) / "applications";
  if (const char* home = std::getenv("HOME"); home && *home) return fs::path(home) / ".local" / "share" / "applications";
  return fs::temp_directory_path() / "qel-demo-programs";
}

}  // namespace

std::string record_problem(const ProductIdentity& id, const fs::path& target) {
  return uninstall_record::CheckRecord(make_record(id, target));
}

Registration::~Registration() {
  for (auto it = undo_.rbegin(); it != undo_.rend(); ++it) (*it)();
}

void Registration::run(const RegistrationOptions& o) {
  const fs::path placed = o.target / o.uninstaller.filename();
  place_uninstaller(o, placed);
  register_uninstall_entry(o, placed);
  register_version(o);
  make_start_menu_folder(o);
  associate_jar_files(o);
}

void Registration::place_uninstaller(const RegistrationOptions& o, const fs::path& placed) {
  std::string error;
  if (!uninstall_record::AppendRecordToFile(uninstall_record::PathText(o.uninstaller),
                                           uninstall_record::PathText(placed), make_record(id_, o.target), true,
                                           error)) {
    throw InstallError(EXIT_REGISTRATION_FAILED, "cannot place the uninstaller: " + error);
  }
  undo_.push_back([placed] {
    std::error_code ec;
    fs::remove(placed, ec);
  });
  log_.info("Placed the uninstaller " + placed.string());
}

void Registration::register_uninstall_entry(const RegistrationOptions& o, const fs::path& placed) {
  UndoableRegistry reg(undo_);
  const std::string key = id_.uninstall_key();
  const auto hklm = RegistryRoot::local_machine;
  reg.set_text(hklm, key, "DisplayName", id_.name);
  reg.set_text(hklm, key, "DisplayVersion", id_.full_version);
  reg.set_text(hklm, key, "Publisher", id_.publisher);
  reg.set_text(hklm, key, "InstallLocation", directory_text(o.target));
  reg.set_text(hklm, key, "UninstallString", "\"" + uninstall_record::PathText(placed) + "\"");
  reg.set_text(hklm, key, "QuietUninstallString", "\"" + uninstall_record::PathText(placed) + "\" -silent");
  reg.set(hklm, key, "NoModify", RegistryValue::dword(1));
  reg.set(hklm, key, "NoRepair", RegistryValue::dword(1));
  log_.info("Registered " + full_name(hklm, key));
}

void Registration::register_version(const RegistrationOptions& o) {
  UndoableRegistry reg(undo_);
  const auto hklm = RegistryRoot::local_machine;
  const std::string vendor = id_.vendor_key();
  const std::string home = directory_text(o.target);
  const std::string runtime_lib = join(home, {"bin", "tarvik", "jvm.dll"});
  auto describe = [&](const std::string& key) {
    reg.set_text(hklm, key, "JavaHome", home);
    reg.set_text(hklm, key, "RuntimeLib", runtime_lib);
    reg.set_text(hklm, key, "MicroVersion", id_.micro);
  };
  describe(vendor + "\\" + id_.full_version);

  // The family key mirrors the newest version of the family.
  bool newest = true;
  for (const std::string& other : family_versions(vendor, id_.family())) {
    if (other > id_.full_version) newest = false;
  }
  if (newest) describe(vendor + "\\" + id_.family());

  const std::optional<std::string> current = read_text(hklm, vendor, "CurrentVersion");
  if (!current || *current < id_.family()) reg.set_text(hklm, vendor, "CurrentVersion", id_.family());
  log_.info("Registered " + full_name(hklm, vendor + "\\" + id_.full_version) + (newest ? " and its family key" : ""));
}

void Registration::make_start_menu_folder(const RegistrationOptions& o) {
  UndoableRegistry reg(undo_);
  const auto hklm = RegistryRoot::local_machine;
  fs::path programs;
  if (const auto known = read_text(hklm, SHELL_FOLDERS_KEY, COMMON_PROGRAMS); known && !known->empty()) {
    programs = *known;
  } else {
    // A system without a start menu of its own: name a folder for it, which
    // is where the uninstaller will look.
    programs = o.programs_folder ? *o.programs_folder : default_programs_folder();
    reg.set_text(hklm, SHELL_FOLDERS_KEY, COMMON_PROGRAMS, uninstall_record::PathText(programs));
  }

  const fs::path folder = programs / id_.start_menu_folder;
  std::vector<fs::path> missing;
  std::error_code ec;
  for (fs::path p = folder; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs::create_directory(*it, ec) && ec) {
      throw InstallError(EXIT_REGISTRATION_FAILED, "cannot create the start-menu folder " + it->string() + ": " + ec.message());
    }
    undo_.push_back([dir = *it] {
      std::error_code e;
      fs::remove(dir, e);
    });
  }
  const fs::path shortcut = folder / "Qel Demo README.url";
  std::string url = directory_text(o.target) + "/README.txt";
  for (char& c : url) {
    if (c == '\\') c = '/';
  }
  if (url.front() != '/') url = "/" + url;  // a drive letter: file:///C:/...
  std::ofstream out(shortcut, std::ios::binary | std::ios::trunc);
  out << "[InternetShortcut]\r\nURL=file://" << url << "\r\n";
  out.close();
  if (!out) throw InstallError(EXIT_REGISTRATION_FAILED, "cannot write " + shortcut.string());
  undo_.push_back([shortcut] {
    std::error_code e;
    fs::remove(shortcut, e);
  });
  log_.info("Made the start-menu folder " + folder.string());
}

void Registration::associate_jar_files(const RegistrationOptions& o) {
  const std::string home = directory_text(o.target);
  // The uninstaller recognises its association by the program path up to
  // the first blank; with a blank in the directory it could never remove it.
  if (home.find(' ') != std::string::npos) {
    log_.info("Not associating .jar files: the installation directory holds a blank");
    return;
  }
  const std::string command = "\"" + join(home, {"bin", "javaw.exe"}) + "\" -jar \"%1\" %*";
  const auto hkcr = RegistryRoot::classes_root;
  if (const auto existing = read_text(hkcr, JAR_COMMAND_KEY, ""); existing && *existing != command) {
    log_.info("Keeping the existing .jar association: " + *existing);
    return;
  }
  UndoableRegistry reg(undo_);
  reg.set_text(hkcr, ".jar", "", "jarfile");
  reg.set_text(hkcr, "jarfile", "", "Executable Jar File");
  reg.set_text(hkcr, JAR_COMMAND_KEY, "", command);
  log_.info("Associated .jar files with " + join(home, {"bin", "javaw.exe"}));
}

}  // namespace qelinst
