// The volume query: GetVolumeInformation-style facts about the volume that
// holds a path, reduced to the two flags the engine needs, with a cache so
// that thousands of entries in a few directories cost a few queries.
#include "volume.h"

#include <cctype>

#include "context.h"
#include "platform/file_system.h"

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

bool has_drive(const std::string& p) {
  return p.size() >= 2 && std::isalpha(static_cast<unsigned char>(p[0])) && p[1] == ':';
}

// The directory part of a path, with its trailing separator ("" for a bare name).
std::string directory_part(const std::string& p) {
  size_t i = p.find_last_of("/\\");
  return i == std::string::npos ? std::string() : p.substr(0, i + 1);
}

bool same_key(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool starts_with_upper(const std::string& name, const char* prefix) {
  for (size_t i = 0; prefix[i]; ++i)
    if (i >= name.size() || std::toupper(static_cast<unsigned char>(name[i])) != prefix[i]) return false;
  return true;
}

// Asks the platform about the volume of `dir`, climbing to the nearest
// directory that exists (the entry's own directories may not exist yet).
bool ask_platform(std::string dir, platform::VolumeInfo& info) {
  auto& fs = platform::file_system();
  for (int depth = 0; depth < 64; ++depth) {
    platform::Error e = fs.volume_info(dir.empty() ? std::string(".") : dir, info);
    if (e == platform::Error::none) return true;
    if (e != platform::Error::not_found && e != platform::Error::not_directory) return false;
    while (!dir.empty() && is_separator(dir.back())) dir.pop_back();
    size_t i = dir.find_last_of("/\\");
    if (i == std::string::npos) {
      if (dir.empty()) return false;
      dir.clear();
    } else {
      dir.resize(i + 1);
    }
  }
  return false;
}

void remember_raw(volume_cache& c, const std::string& raw, const volume_flags& f) {
  int slot = c.next_slot;
  c.next_slot = (c.next_slot + 1) % volume_cache::RAW_SLOTS;
  c.raw[slot] = raw;
  c.raw_flags[slot] = f;
  c.raw_valid[slot] = true;
}

}  // namespace

void clear_volume_cache(EngineContext& ctx) {
  volume_cache& c = ctx.path.volume;
  c.valid = false;
  c.key.clear();
  for (int i = 0; i < volume_cache::RAW_SLOTS; ++i) c.raw_valid[i] = false;
}

volume_flags query_volume(EngineContext& ctx, const std::string& path) {
  // A network path has no volume information.
  if (path.size() >= 3 && is_separator(path[0]) && is_separator(path[1]) && !is_separator(path[2]))
    return {};
  volume_cache& c = ctx.path.volume;
  const std::string raw = directory_part(path);
  for (int i = 0; i < volume_cache::RAW_SLOTS; ++i)
    if (c.raw_valid[i] && c.raw[i] == raw) return c.raw_flags[i];

  std::string absolute;
  if (has_drive(path)) {
    absolute = raw.empty() ? path : raw;
  } else if (platform::file_system().full_path(raw.empty() ? std::string(".") : raw, absolute) !=
             platform::Error::none) {
    clear_volume_cache(ctx);
    return {};
  }
  // On a system with drive letters the drive names the volume; elsewhere
  // the directory itself is asked (mount points can be anywhere).
  std::string key = absolute;
  if (has_drive(absolute))
    key = absolute.substr(0, 2) + "/";
  else if (key.empty() || !is_separator(key.back()))
    key += '/';
  if (c.valid && same_key(c.key, key)) {
    remember_raw(c, raw, c.flags);
    return c.flags;
  }
  platform::VolumeInfo info;
  if (!ask_platform(key, info)) {
    clear_volume_cache(ctx);
    return {};
  }
  volume_flags f;
  f.old_fat = info.max_component_length < 13;
  f.local_time = starts_with_upper(info.file_system_name, "VFAT") ||
                 starts_with_upper(info.file_system_name, "HPFS") ||
                 starts_with_upper(info.file_system_name, "FAT");
  c.valid = true;
  c.key = key;
  c.flags = f;
  remember_raw(c, raw, f);
  return f;
}
