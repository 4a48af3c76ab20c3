// Per-call state of the output-path builder (mapname/checkdir): the target
// root, the two forms of the path in progress and the volume cache.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// What the volume query tells about the volume holding a path.
struct volume_flags {
  bool old_fat = false;     // longest name component below 13: names are mapped to 8.3
  bool local_time = false;  // FAT, VFAT or HPFS: the volume stores local times
};

// The last volume examined. `key` is the drive ("X:/") for paths with a
// drive letter, else the directory the answer was obtained for. The raw
// slots remember directory texts as asked, so that entries in one directory
// cost no system call at all.
struct volume_cache {
  bool valid = false;
  std::string key;
  volume_flags flags;
  // Directory texts answered lately (a path and its parent alternate while
  // one entry is built), each with its answer.
  static constexpr int RAW_SLOTS = 4;
  std::string raw[RAW_SLOTS];
  volume_flags raw_flags[RAW_SLOTS];
  bool raw_valid[RAW_SLOTS] = {};
  int next_slot = 0;
};

struct path_state {
  // Target root, always ending in '/'; empty: paths are relative to the
  // current directory. Kept from the first archive of a call to its end.
  std::string root;
  bool root_set = false;

  // The entry in progress (PATH_BEGIN to PATH_FINISH).
  bool building = false;
  std::string long_form;   // names as mapped; serves the length rules and messages
  std::string short_form;  // the same after the 8.3 mapping on old-FAT volumes: the path made
  bool created_directory = false;   // this entry created at least one directory
  bool absolute_new_name = false;   // the caller's new name is an absolute path
  size_t entry_name_length = 0;

  // Directories known to exist (the short form of the deepest one checked or
  // created lately, ending in '/'): a path below it needs no status query.
  std::string known_directory;

  volume_cache volume;
};
