// Removal of the installation directory tree, with the progress it drives.
#include "file_tree.h"

#include "platform/directory_tree.h"
#include "platform/file.h"
#include "platform/file_system.h"

namespace {

constexpr int kRemoveAttempts = 20;
constexpr uint32_t kSharingViolationPauseMs = 200;

}  // namespace

bool IsJvmInUse(const std::string& jvm_path) {
  platform::FileSystem& fs = platform::file_system();
  platform::File file;
  if (fs.open_read_write(jvm_path, file) == platform::Error::none) return false;
  // Only a library that is there can be held; a missing one (a removal that
  // was interrupted after it went) must not block the removal for ever.
  platform::FileStatus status;
  if (fs.status(jvm_path, status) == platform::Error::none && status.kind == platform::FileKind::missing)
    return false;
  return true;
}

int CountFiles(const platform::TreeTop& top) { return platform::count_tree_files(top); }

void KeepForLater(RemovalContext& context, const std::string& path) {
  platform::FileIdentity identity;
  if (platform::directory_tree().identify_path(path, identity) == platform::Error::none)
    context.keep.push_back(identity);
}

std::string NotRemovedLine(const platform::LeftPath& left) {
  std::string why = platform::left_reason_text(left.reason);
  if (left.error != platform::Error::none) why += std::string(": ") + platform::error_text(left.error);
  return left.path + " (" + why + ")";
}

void DeleteTree(platform::TreeTop& top, RemovalContext& context) {
  platform::TreeRemovalOptions options;
  options.file = {kRemoveAttempts, kSharingViolationPauseMs};
  options.directory = {kRemoveAttempts, kSharingViolationPauseMs};
  options.keep = context.keep;
  if (context.progress) {
    Progress* progress = context.progress;
    options.removed = [progress](const std::string&, platform::TreeEntryKind) { AdvanceProgress(*progress); };
  }
  platform::TreeRemovalReport report = platform::remove_tree(top, options);
  for (const platform::LeftPath& left : report.left)
    if (left.reason != platform::LeftReason::kept) context.not_removed.push_back(NotRemovedLine(left));
}
