// Reading the demo installer's command line.
#include "installer_options.h"

#include <string_view>

namespace qelinst {
namespace {

bool starts_with(std::string_view s, std::string_view prefix) { return s.substr(0, prefix.size()) == prefix; }

// The launcher quotes the absolute paths of -log= and -silent_xml=; on the
// way to a process the quotes are normally removed, but a value typed by
// hand may still carry them.
std::string unquote(std::string value) {
  if (value.size() >= 2 && value.front() == '"' && value.back() == '"') return value.substr(1, value.size() - 2);
  return value;
}

}  // namespace

const char* mode_name(InstallMode mode) {
  switch (mode) {
    case InstallMode::silent:
      return "silent";
    case InstallMode::console:
      return "console";
    case InstallMode::graphical:
      break;
  }
  return "graphical";
}

InstallerOptions parse_arguments(int argc, const char* const* argv) {
  InstallerOptions o;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "-mode=silent") {
      o.mode = InstallMode::silent;
    } else if (a == "-mode=console") {
      o.mode = InstallMode::console;
    } else if (a == "-mode=graphical" || a == "-mode=gui") {
      o.mode = InstallMode::graphical;
    } else if (starts_with(a, "-mode=")) {
      o.error = "unknown mode in " + a + " (expected -mode=silent or -mode=console)";
    } else if (starts_with(a, "-log=")) {
      o.log_path = unquote(a.substr(5));
      if (o.log_path->empty()) o.error = "-log= needs a file name";
    } else if (starts_with(a, "-silent_xml=")) {
      o.silent_xml = unquote(a.substr(12));
      if (o.silent_xml->empty()) o.error = "-silent_xml= needs a file name";
    } else if (starts_with(a, "-Djava.io.tmpdir=")) {
      o.temp_dir = unquote(a.substr(17));
    } else if (starts_with(a, "-uninstaller=")) {
      o.uninstaller = unquote(a.substr(13));
    } else if (starts_with(a, "-product=")) {
      o.product_dir = unquote(a.substr(9));
    } else {
      o.ignored.push_back(a);
    }
  }
  return o;
}

}  // namespace qelinst
