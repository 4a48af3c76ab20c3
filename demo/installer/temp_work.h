// The installer's own scratch directory in the temporary directory the
// launcher handed it, and the "to_be_deleted" list there that asks the
// launcher to remove it once the installer has ended (a running program
// cannot always remove what it still uses).
#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace qelinst {

inline constexpr const char* DELETE_LIST_NAME = "to_be_deleted";

// Creates a new, uniquely named directory under `temp_dir`; nothing when
// that is impossible (the installation goes on without it).
std::optional<std::filesystem::path> make_work_directory(const std::filesystem::path& temp_dir, std::string& error);

// Adds `path` (absolute) as one line to `temp_dir`/to_be_deleted, creating
// the list when it is missing. A list that is a symbolic link or not a
// regular file is left alone: in a shared temporary directory it may have
// been planted by someone else. False with a reason on failure.
bool add_to_delete_list(const std::filesystem::path& temp_dir, const std::filesystem::path& path, std::string& error);

}  // namespace qelinst
