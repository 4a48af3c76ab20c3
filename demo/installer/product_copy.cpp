// Copying the product into place.
#include "product_copy.h"

#include <cstdlib>
#include <fstream>
#include <vector>

#include "install_error.h"
#include "platform/environment.h"
#include "record_writer.h"

namespace fs = std::filesystem;

namespace qelinst {
namespace {

bool same_directory(const fs::path& a, const fs::path& b) {
  std::error_code ec;
  return fs::equivalent(a, b, ec);
}

// Undoes a partial copy unless it was completed.
struct Rollback {
  std::vector<fs::path> created;  // in creation order
  bool done = false;
  ~Rollback() {
    if (done) return;
    std::error_code ec;
    for (auto it = created.rbegin(); it != created.rend(); ++it) fs::remove(*it, ec);
  }
};

}  // namespace

void remove_created(const CopyReport& report) {
  std::error_code ec;
  for (auto it = report.created.rbegin(); it != report.created.rend(); ++it) fs::remove(*it, ec);
}

void check_install_target(const fs::path& target) {
  const std::string shown = target.string();
  if (!target.is_absolute()) {
    throw InstallError(EXIT_BAD_TARGET, "the installation directory " + shown + " is not an absolute path");
  }
  if (target.relative_path().empty() || target == target.root_path()) {
    throw InstallError(EXIT_BAD_TARGET, "refusing to install into the root directory " + shown);
  }
  for (const char* home : {"HOME", "USERPROFILE"}) {
    const std::optional<std::string> value = platform::environment().get(home);
    if (value && !value->empty() && same_directory(target, uninstall_record::PathOf(*value))) {
      throw InstallError(EXIT_BAD_TARGET, "refusing to install into the home directory " + shown);
    }
  }
  std::error_code ec;
  const fs::file_status status = fs::symlink_status(target, ec);
  if (!fs::exists(status)) return;
  if (!fs::is_directory(status)) {
    throw InstallError(EXIT_BAD_TARGET, "the installation directory " + shown + " exists and is not a directory");
  }
  if (!fs::is_empty(target, ec) && !fs::exists(target / INSTALL_MARKER, ec)) {
    throw InstallError(EXIT_BAD_TARGET, "the directory " + shown +
                                            " is not empty and holds no earlier installation of this product");
  }
}

CopyReport copy_product(const fs::path& product, const fs::path& target) {
  std::error_code ec;
  if (!fs::is_directory(product, ec)) {
    throw InstallError(EXIT_COPY_FAILED, "the product files are missing: " + product.string() + " is not a directory");
  }
  CopyReport report;
  Rollback rollback;

  // Create the missing parents too, and remember which ones were new.
  std::vector<fs::path> missing;
  for (fs::path p = target; !p.empty() && !fs::exists(p, ec); p = p.parent_path()) {
    missing.push_back(p);
    if (p == p.parent_path()) break;
  }
  for (auto it = missing.rbegin(); it != missing.rend(); ++it) {
    if (!fs::create_directory(*it, ec) && ec) {
      throw InstallError(EXIT_COPY_FAILED, "cannot create " + it->string() + ": " + ec.message());
    }
    rollback.created.push_back(*it);
  }

  for (fs::recursive_directory_iterator it(product, ec), end; !ec && it != end; it.increment(ec)) {
    const fs::path relative = fs::relative(it->path(), product, ec);
    if (ec) break;
    const fs::path destination = target / relative;
    const fs::file_status status = it->symlink_status(ec);
    if (ec) break;
    if (fs::is_directory(status)) {
      const bool existed = fs::is_directory(destination, ec);
      if (!existed && !fs::create_directory(destination, ec)) {
        throw InstallError(EXIT_COPY_FAILED, "cannot create " + destination.string() + ": " + ec.message());
      }
      if (!existed) rollback.created.push_back(destination);
      ++report.directories;
    } else if (fs::is_regular_file(status)) {
      const bool existed = fs::exists(destination, ec);
      if (!fs::copy_file(it->path(), destination, fs::copy_options::overwrite_existing, ec)) {
        throw InstallError(EXIT_COPY_FAILED, "cannot copy " + relative.string() + " to " + destination.string() +
                                                 ": " + ec.message());
      }
      if (!existed) rollback.created.push_back(destination);
      ++report.files;
      report.bytes += fs::file_size(destination, ec);
    }
  }
  if (ec) throw InstallError(EXIT_COPY_FAILED, "cannot read the product files: " + ec.message());

  const fs::path marker = target / INSTALL_MARKER;
  const bool marker_existed = fs::exists(marker, ec);
  std::ofstream mark(marker, std::ios::trunc);
  mark << "Qel Demo\n";
  mark.close();
  if (!mark) throw InstallError(EXIT_COPY_FAILED, "cannot write " + marker.string());
  if (!marker_existed) rollback.created.push_back(marker);
  rollback.done = true;
  report.created = rollback.created;
  return report;
}

}  // namespace qelinst
