// Finishing an extracted file: its times are set on the still open handle
// (so neither a read-only attribute nor a later close can stop them), then
// the file is closed and given its attributes, its permission bits (unless
// it was created with them) and security.
#include <string>

#include "context.h"
#include "file_metadata.h"
#include "messages.h"
#include "output_state.h"
#include "platform/file_system.h"

namespace {

constexpr uint8_t HOST_UNIX = 3;
constexpr uint32_t UNIX_TYPE_MASK = 0170000;
constexpr uint32_t UNIX_REGULAR = 0100000;

}  // namespace

int map_attributes(EngineContext& ctx) {
  if (!ctx.info) return 0;
  uint32_t external = ctx.central.external_attributes;
  uint32_t attributes = external & 0xFF;
  if (!(attributes & platform::FILE_ATTR_DIRECTORY)) attributes |= platform::FILE_ATTR_ARCHIVE;
  // Permission bits of a plain file made on a Unix host travel along, so that
  // programs in a payload stay runnable. Set-id and sticky bits are not
  // carried over: an archive does not get to hand out privileges.
  uint32_t mode = external >> 16;
  uint32_t type = mode & UNIX_TYPE_MASK;
  if (ctx.central.made_by_host == HOST_UNIX && mode != 0 && (type == 0 || type == UNIX_REGULAR))
    attributes |= ENTRY_ATTR_HAS_UNIX_MODE | ((mode & 0777) << ENTRY_ATTR_UNIX_SHIFT);
  ctx.info->file_attributes = attributes;
  return 0;
}

int close_output_file(EngineContext& ctx) {
  output_state& out = ctx.output;
  if (ctx.data_to_print) {
    out.opened = false;
    return 0;
  }
  auto& fs = platform::file_system();
  const std::string path(ctx.output_name);

  int64_t modification = 0, access = 0, creation = 0;
  uint32_t mask = entry_file_times(ctx, modification, access, creation);
  platform::FileTimes times;
  if (mask & TIME_MODIFICATION) times.modification = platform::file_time_from_ticks(modification);
  if (mask & TIME_ACCESS) times.access = platform::file_time_from_ticks(access);
  if (mask & TIME_CREATION) times.creation = platform::file_time_from_ticks(creation);

  bool was_open = out.file.is_open();
  platform::Error time_error = platform::Error::none;
  int time_code = 0;
  if (was_open && mask != 0) {
    time_error = out.file.set_times(times);
    if (time_error != platform::Error::none) time_code = fs.last_system_error();
  }
  // A delayed write that fails at close lost data just as a short write does.
  if (was_open && out.file.close() != platform::Error::none && !out.disk_full) {
    message(ctx, "%s:  write error (disk full?).\n", display_form(ctx.output_name).c_str());
    out.disk_full = OUTPUT_DISK_FULL;
  }
  out.opened = false;

  uint32_t attributes = ctx.info ? ctx.info->file_attributes : platform::FILE_ATTR_ARCHIVE;
  if ((attributes & ENTRY_ATTR_HAS_UNIX_MODE) && !(was_open && out.mode_given)) {
    if (fs.set_unix_mode(path, (attributes >> ENTRY_ATTR_UNIX_SHIFT) & 0777) != platform::Error::none)
      message(ctx, "\nwarning (%d): could not set file attributes\n", fs.last_system_error());
  }
  // A file with only the archive bit keeps the attributes it was created with.
  uint32_t dos = attributes & 0x7F;
  if (dos & ~platform::FILE_ATTR_ARCHIVE) {
    if (fs.set_attributes(path, dos) != platform::Error::none)
      message(ctx, "\nwarning (%d): could not set file attributes\n", fs.last_system_error());
  }

  int security = 0;
  if (ctx.extra_field && ctx.extra_field_length > 0) {
    int r = apply_security_blocks(ctx, path.c_str(), ctx.extra_field, ctx.extra_field_length);
    if (r == RC_BLOCK_TRUNCATED)
      report_truncated_security(ctx, path.c_str());
    else
      security = r;
  }

  if (!was_open) {
    message(ctx, "\nCreateFile error %d when trying set file time\n", fs.last_system_error());
    return security;
  }
  if (time_error != platform::Error::none) message(ctx, "\nSetFileTime failed: %d\n", time_code);
  return security;
}
