// The engine's file status query: kind, permission bits, size and times in
// seconds since 1970, as the update rules compare them with entry times.
#include <cctype>
#include <cstring>
#include <string>

#include "context.h"
#include "file_metadata.h"
#include "platform/file_system.h"
#include "platform/local_time.h"
#include "volume.h"

namespace {

constexpr int64_t TIME_MAX = 0x7FFFFFFF;

bool executable_name(const char* path) {
  const char* dot = std::strrchr(path, '.');
  if (!dot || std::strpbrk(dot, "/\\") || std::strlen(dot) != 4) return false;
  char ext[5] = {};
  for (int i = 0; i < 4; ++i) ext[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(dot[i])));
  return !std::strcmp(ext, ".exe") || !std::strcmp(ext, ".cmd") || !std::strcmp(ext, ".bat") ||
         !std::strcmp(ext, ".com");
}

// A stored file time in seconds since 1970. A volume that keeps local time
// gave back local wall-clock time shifted by today's offset: undo that
// shift and read the wall-clock time by the rules of its own date.
int64_t seconds_of(const platform::FileTime& ft, bool local_time_volume) {
  int64_t t = ft.seconds;
  if (local_time_volume) {
    auto& lt = platform::local_time();
    int64_t local_ticks = 0;
    if (lt.file_time_to_local(platform::file_time_to_ticks(ft), local_ticks)) {
      platform::FileTime wall = platform::file_time_from_ticks(local_ticks);
      // Civil date of the wall-clock seconds (days from 1970, proleptic Gregorian).
      int64_t days = wall.seconds >= 0 ? wall.seconds / 86400 : (wall.seconds - 86399) / 86400;
      int64_t rest = wall.seconds - days * 86400;
      int64_t z = days + 719468;
      int64_t era = (z >= 0 ? z : z - 146096) / 146097;
      int64_t doe = z - era * 146097;
      int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
      int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
      int64_t mp = (5 * doy + 2) / 153;
      platform::BrokenDownTime bt;
      bt.day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
      bt.month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
      bt.year = static_cast<int>(yoe + era * 400 + (bt.month <= 2 ? 1 : 0));
      bt.hour = static_cast<int>(rest / 3600);
      bt.minute = static_cast<int>(rest % 3600 / 60);
      bt.second = static_cast<int>(rest % 60);
      int64_t back = 0;
      if (lt.from_local(bt, back)) t = back;
    }
  }
  if (t < 0) return 0;
  if (t > TIME_MAX) return -1;
  return t;
}

}  // namespace

int file_status(EngineContext& ctx, const char* path, status_record& out) {
  auto& fs = platform::file_system();
  out = status_record{};
  platform::FileStatus st;
  platform::Error e = fs.status(path, st);
  if (e == platform::Error::none && st.kind == platform::FileKind::missing) return -1;
  if (e != platform::Error::none) {
    // Some directories (a drive root) cannot be queried that way but still
    // say what they are through their attributes.
    uint32_t attributes = 0;
    if (fs.get_attributes(path, attributes) == platform::Error::none &&
        (attributes & platform::FILE_ATTR_DIRECTORY)) {
      out.is_directory = true;
      out.permissions = STATUS_READ | ((attributes & platform::FILE_ATTR_READONLY) ? 0 : STATUS_WRITE);
      out.modification = out.access = out.creation = dos_to_unix_time(0x00210000);
      return 0;
    }
    return -1;
  }
  out.is_directory = st.kind == platform::FileKind::directory;
  out.permissions = STATUS_READ;
  if (!(st.attributes & platform::FILE_ATTR_READONLY)) out.permissions |= STATUS_WRITE;
  if (executable_name(path)) out.permissions |= STATUS_EXECUTE;
  out.size = static_cast<uint32_t>(st.size);
  bool local = query_volume(ctx, path).local_time;
  out.modification = seconds_of(st.modification, local);
  out.access = seconds_of(st.access, local);
  out.creation = seconds_of(st.creation, local);
  if (out.access == 0) out.access = out.modification;
  if (out.creation == 0) out.creation = out.modification;
  return 0;
}
