// Removing the installation directory tree: the in-use test of the JVM
// library, the file count for the progress bar, and a depth-first removal
// with bounded retries. Best effort: what resists stays, silently. Links
// (symbolic links, junctions) are removed as links, never followed.
#pragma once

#include <string>
#include <vector>

#include "progress.h"

// True when the JVM library exists but cannot be opened for reading and
// writing: a running JVM keeps it mapped. A missing library is not in use.
bool IsJvmInUse(const std::string& jvm_path);

// The files below `directory`, not counting directories; a path that cannot
// be listed counts as one file. Links count as files and are not entered.
int CountFiles(const std::u16string& directory);

enum class PathKind { file, directory, link };

// What a tree removal needs besides the tree: the progress (none in a
// silent run) and files that must survive it because this process holds
// them (its own program file, the helper library it loaded), which the
// self-removal script deletes after the process has ended.
struct RemovalContext {
  Progress* progress = nullptr;
  std::vector<std::u16string> keep;
};

// Up to 20 attempts to remove one path, 200 ms apart after a sharing
// violation, at once after any other failure. Advances the progress on
// success. A link is removed as a file, or as a directory where the system
// keeps directory links that way.
bool RemovePath(const std::u16string& path, PathKind kind, RemovalContext& context);

// Removes `directory` and everything below it, depth first.
void DeleteTree(const std::u16string& directory, RemovalContext& context);

// The UTF-16 form of an ANSI path.
std::u16string WidePath(const std::string& path);
