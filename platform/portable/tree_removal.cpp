// Portable. No OS headers.
//
// The walk behind tree_removal.h, over the held directories of
// directory_tree.h.
#include "platform/tree_removal.h"

#include "platform/clock.h"
#include "platform/file_system.h"

namespace platform {

DirectoryHandle& DirectoryHandle::operator=(DirectoryHandle&& other) noexcept {
  if (this != &other) {
    close();
    owner_ = other.owner_;
    handle_ = other.handle_;
    path_ = std::move(other.path_);
    mount_ = other.mount_;
    attributes_ = other.attributes_;
    other.owner_ = nullptr;
    other.handle_ = INVALID_NATIVE_HANDLE;
  }
  return *this;
}

void DirectoryHandle::close() {
  if (handle_ != INVALID_NATIVE_HANDLE && owner_) owner_->close_handle(handle_);
  handle_ = INVALID_NATIVE_HANDLE;
  owner_ = nullptr;
}

const char* left_reason_text(LeftReason reason) {
  switch (reason) {
    case LeftReason::kept: return "kept for later";
    case LeftReason::mount_point: return "another file system is mounted here";
    case LeftReason::not_removed: return "could not be removed";
    case LeftReason::not_listed: return "could not be read";
  }
  return "left";
}

bool TreeRemovalReport::complete() const {
  for (const LeftPath& left_path : left)
    if (left_path.reason != LeftReason::kept) return false;
  return error == Error::none || error == Error::not_found;
}

std::string TreeTop::path() const {
  if (directory.is_open()) return directory_tree().message_path(directory.path());
  return parent.is_open() ? directory_tree().message_path(parent.path()) : std::string();
}

namespace {

// What stays of a subtree once its walk is over.
enum class Stays { nothing, kept_only, something };

Stays Worse(Stays a, Stays b) { return a > b ? a : b; }

std::string Join(const std::string& directory, const std::string& name) {
  const char separator = file_system().path_separator();
  std::string path = directory;
  if (path.empty() || path.back() != separator) path += separator;
  path += name;
  return path;
}

// Up to policy.attempts tries; not_found ends them too: what is gone is gone.
template <class Op>
Error Attempt(const RetryPolicy& policy, const std::function<bool(uint32_t)>& pause, Op op) {
  const int attempts = policy.attempts < 1 ? 1 : policy.attempts;
  Error e = Error::none;
  for (int attempt = 1; attempt <= attempts; ++attempt) {
    e = op();
    if (e == Error::none || e == Error::not_found) return e;
    if (e == Error::sharing_violation && attempt < attempts) {
      if (!pause) {
        monotonic_clock().sleep_ms(policy.pause_ms);
      } else if (!pause(policy.pause_ms)) {
        break;
      }
    }
  }
  return e;
}

class Walk {
 public:
  Walk(const TreeRemovalOptions& options, TreeRemovalReport& report, uint64_t mount)
      : tree_(directory_tree()), options_(options), report_(report), mount_(mount) {}

  // Removes everything inside the held `directory`.
  Stays Empty(const DirectoryHandle& directory) {
    std::vector<TreeEntry> entries;
    Error e = tree_.list(directory, entries);
    if (e != Error::none) return Leave(directory.path(), LeftReason::not_listed, e);
    Stays stays = Stays::nothing;
    for (TreeEntry& entry : entries) stays = Worse(stays, Entry(directory, entry));
    return stays;
  }

  // Removes one entry of `directory` (a whole subtree for a directory).
  Stays Entry(const DirectoryHandle& directory, TreeEntry& entry) {
    switch (entry.kind) {
      case TreeEntryKind::mount_point:
        return Leave(Join(directory.path(), entry.name), LeftReason::mount_point, Error::none);
      case TreeEntryKind::link:
        return Remove(directory, entry, options_.file);
      case TreeEntryKind::file:
        if (IsKept(directory, entry)) return Leave(Join(directory.path(), entry.name), LeftReason::kept, Error::none);
        if (entry.attributes & FILE_ATTR_READONLY) tree_.clear_read_only(directory, entry);
        return Remove(directory, entry, options_.file);
      case TreeEntryKind::directory:
        return Subdirectory(directory, entry);
    }
    return Stays::something;
  }

  // Empties `directory` (held), then removes it as `entry` of `parent`.
  Stays Finish(const DirectoryHandle& parent, TreeEntry& entry, DirectoryHandle& directory) {
    if (directory.mount() != mount_) {
      directory.close();
      return Leave(Join(parent.path(), entry.name), LeftReason::mount_point, Error::none);
    }
    if (directory.attributes() & FILE_ATTR_READONLY) tree_.make_writable(directory);
    Stays stays = Empty(directory);
    // Closed first: Windows removes no directory that is held open.
    directory.close();
    if (stays != Stays::nothing) return stays;
    return Remove(parent, entry, options_.directory);
  }

 private:
  Stays Subdirectory(const DirectoryHandle& parent, TreeEntry& entry) {
    DirectoryHandle directory;
    Error e = tree_.open_directory(parent, entry, directory);
    switch (e) {
      case Error::none:
        return Finish(parent, entry, directory);
      case Error::not_found:
        return Stays::nothing;
      case Error::is_link:
        // Swapped for a link since the listing: the link goes, not its target.
        entry.kind = TreeEntryKind::link;
        return Remove(parent, entry, options_.file);
      case Error::not_directory:
        entry.kind = TreeEntryKind::file;
        return Entry(parent, entry);
      default:
        return Leave(Join(parent.path(), entry.name), LeftReason::not_listed, e);
    }
  }

  Stays Remove(const DirectoryHandle& directory, const TreeEntry& entry, const RetryPolicy& policy) {
    Error e = Attempt(policy, options_.pause, [&] { return tree_.remove(directory, entry); });
    if (e == Error::not_found) return Stays::nothing;
    if (e != Error::none) return Leave(Join(directory.path(), entry.name), LeftReason::not_removed, e);
    ++report_.removed;
    if (options_.removed) options_.removed(tree_.message_path(Join(directory.path(), entry.name)), entry.kind);
    return Stays::nothing;
  }

  bool IsKept(const DirectoryHandle& directory, TreeEntry& entry) {
    for (const FileIdentity& kept : options_.keep) {
      if (!entry.identity.known) {
        // Asking costs a system call per file on Windows: only for a size
        // that matches.
        if (kept.size != entry.size) continue;
        if (tree_.identify(directory, entry, entry.identity) != Error::none) continue;
      }
      if (entry.identity.same_file(kept)) return true;
    }
    return false;
  }

  Stays Leave(const std::string& path, LeftReason reason, Error e) {
    report_.left.push_back(LeftPath{tree_.message_path(path), reason, e});
    return reason == LeftReason::kept ? Stays::kept_only : Stays::something;
  }

  DirectoryTree& tree_;
  const TreeRemovalOptions& options_;
  TreeRemovalReport& report_;
  uint64_t mount_;
};

int CountBelow(DirectoryTree& tree, const DirectoryHandle& directory, uint64_t mount) {
  std::vector<TreeEntry> entries;
  if (tree.list(directory, entries) != Error::none) return 1;
  int count = 0;
  for (const TreeEntry& entry : entries) {
    if (entry.kind != TreeEntryKind::directory) {
      ++count;
      continue;
    }
    DirectoryHandle child;
    Error e = tree.open_directory(directory, entry, child);
    if (e == Error::not_found) continue;
    if (e != Error::none || child.mount() != mount) {
      ++count;
      continue;
    }
    count += CountBelow(tree, child, mount);
  }
  return count;
}

}  // namespace

Error open_tree(const std::string& path, TreeTop& out) {
  DirectoryTree& tree = directory_tree();
  out.directory.close();
  Error e = tree.open_parent(path, out.parent, out.entry);
  if (e != Error::none) return e;
  if (out.entry.kind == TreeEntryKind::link) return Error::is_link;
  if (out.entry.kind == TreeEntryKind::file) return Error::not_directory;
  return tree.open_directory(out.parent, out.entry, out.directory);
}

TreeRemovalReport remove_tree(TreeTop& top, const TreeRemovalOptions& options) {
  TreeRemovalReport report;
  if (!top.directory.is_open()) {
    report.error = Error::invalid_name;
    return report;
  }
  Walk walk(options, report, top.directory.mount());
  report.top_removed = walk.Finish(top.parent, top.entry, top.directory) == Stays::nothing;
  top.parent.close();
  return report;
}

int count_tree_files(const TreeTop& top) {
  if (!top.directory.is_open()) return 1;
  return CountBelow(directory_tree(), top.directory, top.directory.mount());
}

TreeRemovalReport remove_path(const std::string& path, const TreeRemovalOptions& options) {
  TreeTop top;
  Error e = open_tree(path, top);
  // A mount point named for removal is another volume altogether: it stays.
  if (e == Error::none && top.entry.kind != TreeEntryKind::mount_point) return remove_tree(top, options);
  TreeRemovalReport report;
  if (e != Error::none && e != Error::is_link && e != Error::not_directory) {
    report.error = e;
    return report;
  }
  top.directory.close();
  Walk walk(options, report, top.parent.mount());
  report.top_removed = walk.Entry(top.parent, top.entry) == Stays::nothing;
  return report;
}

}  // namespace platform
