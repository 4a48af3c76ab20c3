// Portable. No OS headers.
//
// Removing (or counting) a directory tree through held directories
// (directory_tree.h): links inside the tree are removed themselves and never
// followed, nothing on another volume is entered or removed, and a link
// swapped in while the walk runs is not followed either. The caller chooses
// how often a removal is tried and how long to pause after a sharing
// violation, hears of every removal, and gets a report of everything that
// stayed and why.
//
//   platform::TreeTop top;
//   if (platform::open_tree(path, top) == platform::Error::none) {
//     platform::TreeRemovalOptions options;
//     options.file = {20, 200};
//     platform::TreeRemovalReport report = platform::remove_tree(top, options);
//   }
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/directory_tree.h"
#include "platform/error.h"

namespace platform {

// Attempts of one removal. Only a sharing violation (a file another program
// holds open) is worth a pause; after any other failure the next attempt
// follows at once.
struct RetryPolicy {
  int attempts = 1;
  uint32_t pause_ms = 0;  // after a sharing violation, before the next attempt
};

struct TreeRemovalOptions {
  RetryPolicy file;       // files and links
  RetryPolicy directory;  // directories, once emptied
  // Files that must stay (the running program, a library it has loaded);
  // they, and so the directories holding them, are left and reported as kept.
  std::vector<FileIdentity> keep;
  // Called after every removal with the removed path (message form) and
  // what it was.
  std::function<void(const std::string& path, TreeEntryKind kind)> removed;
  // When set, called instead of the pause after a sharing violation, with
  // the policy's pause_ms: it waits as it sees fit, and its false ends that
  // removal's attempts (a time budget that several removals share).
  std::function<bool(uint32_t pause_ms)> pause;
};

enum class LeftReason {
  kept,         // in the keep list (or holds only kept entries)
  mount_point,  // another volume is mounted here
  not_removed,  // every attempt failed; `error` says why
  not_listed,   // a directory that could not be opened or read; `error` says why
};

// "kept for later", "another file system is mounted here", ...
const char* left_reason_text(LeftReason reason);

struct LeftPath {
  std::string path;  // message form (directory_tree.h)
  LeftReason reason = LeftReason::not_removed;
  Error error = Error::none;
};

struct TreeRemovalReport {
  // remove_path only: why the path could not be taken on at all (not_found,
  // invalid_name, access_denied on a parent ...); none otherwise.
  Error error = Error::none;
  bool top_removed = false;
  uint64_t removed = 0;  // entries removed, directories and the top included
  // Everything that stays, each once. A directory that stays only because
  // of what stays inside it is not listed itself.
  std::vector<LeftPath> left;
  // Nothing stays but kept files and the directories that hold them.
  bool complete() const;
};

// A directory opened for a walk: its parent and the directory itself are
// held from here on, so later steps work on this very directory whatever
// happens to the path meanwhile.
struct TreeTop {
  DirectoryHandle parent;
  TreeEntry entry;            // the directory as an entry of `parent`
  DirectoryHandle directory;  // open when open_tree succeeded
  // The path of the opened directory, links above it resolved (message form).
  std::string path() const;
};

// Opens `path` (UTF-8) for a walk. The links above the last name are resolved
// once, as the system does; the last name itself is never followed:
// is_link when it is a link or junction, not_directory when it is a file
// (for both, `parent` and `entry` are set, `directory` stays closed),
// not_found when it does not exist, invalid_name for a root or a path with
// a ".." step. A directory that is itself a mount point is opened: the walk
// stays on the volume mounted there.
Error open_tree(const std::string& path, TreeTop& out);

// Removes everything below the held directory, depth first, then the
// directory itself. A directory is removed only once it is empty; one that
// holds what stays is not tried. The TreeTop is spent afterwards.
TreeRemovalReport remove_tree(TreeTop& top, const TreeRemovalOptions& options);

// The files below the held directory, not counting directories: links and
// mount points count as one file each and are not entered, a directory that
// cannot be listed counts as one file.
int count_tree_files(const TreeTop& top);

// For a path that may name a file, a link or a directory (deletion lists): a
// directory is removed as by remove_tree, anything else (a link itself, never
// its target) with the file policy. A path that cannot be taken on removes
// nothing and says why in `error` (not_found for a missing one); a mount
// point stays, reported.
TreeRemovalReport remove_path(const std::string& path, const TreeRemovalOptions& options);

}  // namespace platform
