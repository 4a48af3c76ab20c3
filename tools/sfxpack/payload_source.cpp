// Walking a directory tree into payload entries.
#include "payload_source.h"

#include <algorithm>
#include <system_error>

#include "dos_time.h"
#include "pack_error.h"

namespace fs = std::filesystem;

namespace sfxpack {
namespace {

uint32_t permission_bits(const fs::file_status& status) {
  return static_cast<uint32_t>(status.permissions() & fs::perms::mask) & 07777;
}

struct Walker {
  std::vector<SourceEntry>& entries;
  std::vector<std::string>& warnings;
  std::vector<fs::path> ancestors;  // canonical paths of the directories being walked

  void walk(const fs::path& directory, const std::string& prefix) {
    std::error_code ec;
    std::vector<fs::path> children;
    for (fs::directory_iterator it(directory, ec), end; !ec && it != end; it.increment(ec)) {
      children.push_back(it->path());
    }
    if (ec) throw PackError("cannot read the directory " + directory.string() + ": " + ec.message());
    std::sort(children.begin(), children.end(),
              [](const fs::path& a, const fs::path& b) { return a.filename().string() < b.filename().string(); });

    for (const fs::path& child : children) {
      const std::string name = prefix + child.filename().generic_string();
      const fs::file_status link_status = fs::symlink_status(child, ec);
      if (ec) throw PackError("cannot read " + child.string() + ": " + ec.message());
      const fs::file_status status = fs::status(child, ec);
      if (fs::is_symlink(link_status) && (ec || !fs::exists(status))) {
        warnings.push_back("leaving out the dangling symbolic link " + child.string());
        continue;
      }
      if (ec) throw PackError("cannot read " + child.string() + ": " + ec.message());

      SourceEntry entry;
      entry.path = child;
      entry.permissions = permission_bits(status);
      entry.modified = unix_time_of(fs::last_write_time(child, ec));
      if (ec) throw PackError("cannot read the time of " + child.string() + ": " + ec.message());

      if (fs::is_directory(status)) {
        const fs::path canonical = fs::canonical(child, ec);
        if (ec) throw PackError("cannot resolve " + child.string() + ": " + ec.message());
        if (std::find(ancestors.begin(), ancestors.end(), canonical) != ancestors.end()) {
          throw PackError("the symbolic link " + child.string() + " leads back into its own parent directories");
        }
        entry.name = name + "/";
        entry.directory = true;
        entries.push_back(entry);
        ancestors.push_back(canonical);
        walk(child, entry.name);
        ancestors.pop_back();
      } else if (fs::is_regular_file(status)) {
        entry.name = name;
        entry.size = fs::file_size(child, ec);
        if (ec) throw PackError("cannot read the size of " + child.string() + ": " + ec.message());
        entries.push_back(entry);
      } else {
        throw PackError("cannot pack " + child.string() + ": it is neither a file nor a directory");
      }
    }
  }
};

}  // namespace

std::vector<SourceEntry> collect_directory(const fs::path& root, std::vector<std::string>& warnings) {
  std::error_code ec;
  if (!fs::is_directory(root, ec)) throw PackError(root.string() + " is not a directory");
  std::vector<SourceEntry> entries;
  Walker walker{entries, warnings, {}};
  walker.ancestors.push_back(fs::canonical(root, ec));
  if (ec) throw PackError("cannot resolve " + root.string() + ": " + ec.message());
  walker.walk(root, "");
  return entries;
}

}  // namespace sfxpack
