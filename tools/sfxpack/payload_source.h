// The entries of a payload taken from a directory tree: archive names,
// kinds, Unix permission bits, modification times and sizes, in a fixed
// order (each directory before its contents, names in byte order, whatever
// order the file system lists them in) so that packing the same tree twice
// gives the same archive.
#pragma once

#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

namespace sfxpack {

struct SourceEntry {
  std::string name;             // '/'-separated; a directory's name ends with '/'
  bool directory = false;
  std::filesystem::path path;   // where the data comes from
  uint32_t permissions = 0644;  // Unix permission bits (07777)
  std::time_t modified = 0;     // seconds since 1970
  uint64_t size = 0;            // a file's length when it was listed
};

// Walks `root` (which itself is not an entry). Symbolic links are followed,
// since the payload must hold the data; a dangling link is left out with a
// warning, a link that leads back into its own ancestors is refused, and so
// is anything that is neither a file nor a directory (a device, a pipe).
std::vector<SourceEntry> collect_directory(const std::filesystem::path& root,
                                           std::vector<std::string>& warnings);

}  // namespace sfxpack
