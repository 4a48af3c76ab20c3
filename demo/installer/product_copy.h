// Copies the product tree into the installation directory. A failure part
// way removes everything this copy created (and the installation directory
// itself when it was new), so a failed installation leaves nothing behind.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace qelinst {

// Marks a directory as holding an installation of this product, so that
// installing again over it is allowed while a foreign directory is not.
inline constexpr const char* INSTALL_MARKER = "qel-demo.installed";

struct CopyReport {
  size_t files = 0;
  size_t directories = 0;
  uint64_t bytes = 0;
  std::vector<std::filesystem::path> created;  // in creation order
};

// Removes what a copy created (newest first), for a failure after the copy.
void remove_created(const CopyReport& report);

// Refuses (InstallError) a target that is relative, a root, the home
// directory, a file, or a non-empty directory without the marker.
void check_install_target(const std::filesystem::path& target);

CopyReport copy_product(const std::filesystem::path& product, const std::filesystem::path& target);

}  // namespace qelinst
