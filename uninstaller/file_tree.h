// Removing the installation directory tree: the in-use test of the JVM
// library, the file count for the progress bar, and a depth-first removal
// with bounded retries through held directories (platform/tree_removal.h):
// links inside the tree go themselves and are never followed, nothing on
// another volume is entered, and whatever stays is reported.
#pragma once

#include <string>
#include <vector>

#include "platform/tree_removal.h"
#include "progress.h"

// True when the JVM library exists but cannot be opened for reading and
// writing: a running JVM keeps it mapped. A missing library is not in use.
bool IsJvmInUse(const std::string& jvm_path);

// The files below the opened tree, not counting directories; links and
// mount points count as files and are not entered, a directory that cannot
// be listed counts as one file.
int CountFiles(const platform::TreeTop& top);

// What a tree removal needs besides the tree: the progress (none in a
// silent run), the files that must survive it because this process holds
// them (its own program file, the helper library it loaded; the
// self-removal script deletes them once the process has ended), and where
// to note every path that stays for any other reason.
struct RemovalContext {
  Progress* progress = nullptr;
  std::vector<platform::FileIdentity> keep;
  std::vector<std::string> not_removed;  // "<path> (<why>)", one per path that stays
};

// Notes what this process holds and the self-removal script deletes later.
void KeepForLater(RemovalContext& context, const std::string& path);

// Removes the opened tree, depth first: up to 20 attempts per path, 200 ms
// apart after a sharing violation, at once after any other failure. Every
// removal advances the progress; every path that resists is noted.
void DeleteTree(platform::TreeTop& top, RemovalContext& context);

// "<path> (<why>)" for a path that stays, as the log lists it.
std::string NotRemovedLine(const platform::LeftPath& left);
