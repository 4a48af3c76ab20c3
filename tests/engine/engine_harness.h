// Test support for the engine: a small ZIP writer that can build well-formed
// and deliberately damaged archives, and a runner that calls zipengine_run
// with callbacks that record everything the engine says.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "fakes/temp_dir.h"
#include "zipengine/zipengine.h"

namespace engine_test {

inline uint32_t crc32_of(const std::string& data) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : data) {
    crc ^= c;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

inline void put16(std::string& s, uint32_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>((v >> 8) & 0xFF));
}
inline void put32(std::string& s, uint32_t v) {
  put16(s, v & 0xFFFF);
  put16(s, v >> 16);
}

// 2024-03-15 10:30:20 in MS-DOS form.
inline constexpr uint32_t DEFAULT_DOS_TIME = ((2024u - 1980u) << 25) | (3u << 21) | (15u << 16) | (10u << 11) |
                                             (30u << 5) | (20u / 2);

struct zip_entry {
  std::string name;
  std::string data;        // the entry's bytes as stored (compressed form for method != 0)
  std::string plain;       // uncompressed bytes when they differ from `data` (for CRC and size)
  bool plain_given = false;
  uint16_t method = 0;
  uint16_t flags = 0;
  uint32_t dos_time = DEFAULT_DOS_TIME;
  uint8_t made_by_version = 20;
  uint8_t made_by_host = 0;
  uint8_t needed_version = 20;
  uint8_t needed_host = 0;
  uint16_t internal_attributes = 0;
  uint32_t external_attributes = 0;
  std::string central_extra, local_extra, comment;
  std::string local_name;  // when non-empty, the name in the local header
  // Overrides for damaged archives.
  bool crc_given = false;
  uint32_t crc = 0;
};

struct zip_layout {
  std::string prefix;             // bytes in front of the archive (an executable, say)
  bool offsets_from_file_start = false;
  bool local_offsets_absolute = false;  // local header offsets count from the file start regardless
  std::string comment;
  int32_t central_size_delta = 0;  // added to the stored central-directory size
  int32_t total_entries_override = -1;
  uint16_t this_disk = 0;
  bool omit_end_record = false;
};

inline std::string build_zip(const std::vector<zip_entry>& entries, const zip_layout& layout = {}) {
  std::string out = layout.prefix;
  const uint32_t base = layout.offsets_from_file_start ? 0 : static_cast<uint32_t>(layout.prefix.size());
  std::vector<uint32_t> offsets;
  for (const zip_entry& e : entries) {
    const std::string& plain = e.plain_given ? e.plain : e.data;
    uint32_t crc = e.crc_given ? e.crc : crc32_of(plain);
    offsets.push_back(static_cast<uint32_t>(out.size()) - (layout.local_offsets_absolute ? 0 : base));
    const std::string& lname = e.local_name.empty() ? e.name : e.local_name;
    out += std::string("PK\3\4", 4);
    out.push_back(static_cast<char>(e.needed_version));
    out.push_back(static_cast<char>(e.needed_host));
    put16(out, e.flags);
    put16(out, e.method);
    put32(out, e.dos_time);
    put32(out, crc);
    put32(out, static_cast<uint32_t>(e.data.size()));
    put32(out, static_cast<uint32_t>(plain.size()));
    put16(out, static_cast<uint32_t>(lname.size()));
    put16(out, static_cast<uint32_t>(e.local_extra.size()));
    out += lname + e.local_extra + e.data;
  }
  const uint32_t central_start = static_cast<uint32_t>(out.size()) - base;
  for (size_t i = 0; i < entries.size(); ++i) {
    const zip_entry& e = entries[i];
    const std::string& plain = e.plain_given ? e.plain : e.data;
    uint32_t crc = e.crc_given ? e.crc : crc32_of(plain);
    out += std::string("PK\1\2", 4);
    out.push_back(static_cast<char>(e.made_by_version));
    out.push_back(static_cast<char>(e.made_by_host));
    out.push_back(static_cast<char>(e.needed_version));
    out.push_back(static_cast<char>(e.needed_host));
    put16(out, e.flags);
    put16(out, e.method);
    put32(out, e.dos_time);
    put32(out, crc);
    put32(out, static_cast<uint32_t>(e.data.size()));
    put32(out, static_cast<uint32_t>(plain.size()));
    put16(out, static_cast<uint32_t>(e.name.size()));
    put16(out, static_cast<uint32_t>(e.central_extra.size()));
    put16(out, static_cast<uint32_t>(e.comment.size()));
    put16(out, 0);
    put16(out, e.internal_attributes);
    put32(out, e.external_attributes);
    put32(out, offsets[i]);
    out += e.name + e.central_extra + e.comment;
  }
  const uint32_t central_size = static_cast<uint32_t>(out.size()) - base - central_start;
  if (layout.omit_end_record) return out;
  uint32_t total = layout.total_entries_override >= 0 ? static_cast<uint32_t>(layout.total_entries_override)
                                                      : static_cast<uint32_t>(entries.size());
  out += std::string("PK\5\6", 4);
  put16(out, layout.this_disk);
  put16(out, layout.this_disk);
  put16(out, total);
  put16(out, total);
  put32(out, static_cast<uint32_t>(static_cast<int64_t>(central_size) + layout.central_size_delta));
  put32(out, central_start);
  put16(out, static_cast<uint32_t>(layout.comment.size()));
  out += layout.comment;
  return out;
}

inline zip_entry stored(const std::string& name, const std::string& data) {
  zip_entry e;
  e.name = name;
  e.data = data;
  return e;
}

inline void write_file(const std::string& path, const std::string& content) {
  std::ofstream f(path, std::ios::binary | std::ios::trunc);
  f.write(content.data(), static_cast<std::streamsize>(content.size()));
}

inline std::string read_file(const std::string& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

// One list_entry call, as recorded.
struct listed_entry {
  uint32_t uncompressed = 0, compressed = 0;
  int ratio = 0, date1 = 0, date2 = 0, date3 = 0, hour = 0, minute = 0;
  char case_mark = ' ';
  std::string name, method;
  uint32_t crc = 0;
  char encryption_mark = ' ';
};

struct progress_event {
  std::string name;
  int stage;
  uint32_t value;
};

// What one engine call said and did.
struct engine_record {
  std::string text;                    // everything passed to print, in order
  std::vector<std::string> prints;     // each print call
  std::vector<listed_entry> listed;
  std::vector<progress_event> progress;
  std::vector<std::string> replace_names;
  std::vector<std::string> password_prompts;
  int sounds = 0;
};

// Answers the engine's questions during one call.
struct engine_answers {
  std::vector<int> replace;               // answers in order; afterwards `replace_default`
  int replace_default = 0;
  std::vector<std::string> rename_to;     // names written for REPLACE_RENAME answers
  std::vector<std::string> passwords;     // answers in order; afterwards cancel (-1)
  int cancel_at_stage = 0;                // progress answers non-zero at this stage...
  int cancel_after = 0;                   // ...after this many calls of it
};

engine_record*& current_record();
engine_answers*& current_answers();

int record_print(const char* text, uint32_t length);
void record_sound();
int record_replace(char* name);
int record_password(char* buffer, int size, const char* prompt, const char* entry);
void record_list(uint32_t u, uint32_t c, int ratio, int d1, int d2, int d3, int hour, int minute, char case_mark,
                 const char* name, const char* method, uint32_t crc, char enc);
int record_progress(const char* name, int stage, uint32_t value);

struct engine_call {
  EngineOptions options{};
  EngineCallbacks callbacks{};
  std::vector<std::string> includes, excludes;
  engine_answers answers;
  engine_record record;
  int result = -1;

  engine_call() {
    options.keep_paths = 1;
    options.prompt_to_overwrite = 1;
    callbacks.print = record_print;
    callbacks.sound = record_sound;
    callbacks.replace = record_replace;
    callbacks.password = record_password;
    callbacks.list_entry = record_list;
    callbacks.progress = record_progress;
  }

  int run(const std::string& archive) {
    archive_path = archive;
    options.archive_path = archive_path.c_str();
    std::vector<const char*> inc, exc;
    for (auto& s : includes) inc.push_back(s.c_str());
    for (auto& s : excludes) exc.push_back(s.c_str());
    current_record() = &record;
    current_answers() = &answers;
    result = zipengine_run(static_cast<int>(inc.size()), inc.empty() ? nullptr : inc.data(),
                           static_cast<int>(exc.size()), exc.empty() ? nullptr : exc.data(), &options, &callbacks);
    current_record() = nullptr;
    current_answers() = nullptr;
    return result;
  }

  std::string archive_path;
};

// Convenience: list an archive file.
inline engine_call list_archive(const std::string& path) {
  engine_call c;
  c.options.list_contents = 1;
  c.run(path);
  return c;
}

// A path below a temporary directory with '/' as the separator, which the
// engine uses on every platform.
inline std::string join(const fakes::TempDir& dir, const std::string& name) { return dir.path() + "/" + name; }

// Runs a command line through the system's shell; its exit status (or -1).
int run_command(const std::string& command_line);
// True when `program --version` (or the given probe) runs.
bool have_program(const std::string& probe_command);

// The source tree (from QEL_SOURCE_DIR, set by CTest).
std::string source_dir();
std::string fixture(const std::string& name);

}  // namespace engine_test
