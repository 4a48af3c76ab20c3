// The answer file of a silent installation: a small XML document naming the
// installation directory,
//
//   <?xml version="1.0" encoding="UTF-8"?>
//   <installation>
//     <installdir>/opt/qel-demo</installdir>
//     <programsfolder>/opt/menu</programsfolder>   (optional)
//   </installation>
//
// <programsfolder> is used only where the system has no start-menu programs
// folder of its own. Only the first element of each name matters; the five
// predefined entities and numeric character references are decoded,
// surrounding blanks dropped.
#pragma once

#include <optional>
#include <string>

namespace qelinst {

struct SilentAnswers {
  std::optional<std::string> install_dir;
  std::optional<std::string> programs_folder;
  std::optional<std::string> error;  // why the file could not be used
};

SilentAnswers parse_silent_xml(const std::string& document);
SilentAnswers read_silent_xml(const std::string& path);

}  // namespace qelinst
