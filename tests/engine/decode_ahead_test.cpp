// Decoding ahead on a worker thread must not be visible to the caller: over
// the test archives and a larger mixed one (more entries than one central
// block, stored and deflated data, damaged entries), every run is made once
// on the calling thread alone and once with the worker, and the interleaved
// sequence of callbacks, the result and the files written must be the same.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <map>
#include <sstream>

#include "decode_ahead.h"
#include "engine_harness.h"

using namespace engine_test;
namespace fs = std::filesystem;

namespace {

// Every callback in the order the engine made it.
std::vector<std::string>* g_log = nullptr;

void log(const std::string& line) {
  if (g_log) g_log->push_back(line);
}

int log_print(const char* text, uint32_t length) {
  log("print " + std::string(text, length));
  return record_print(text, length);
}
int log_replace(char* name) {
  log("replace " + std::string(name));
  int answer = record_replace(name);
  log("answer " + std::to_string(answer) + " " + name);
  return answer;
}
int log_password(char* buffer, int size, const char* prompt, const char* entry) {
  log("password " + std::string(prompt ? prompt : "") + " " + (entry ? entry : ""));
  return record_password(buffer, size, prompt, entry);
}
int log_progress(const char* name, int stage, uint32_t value) {
  int answer = record_progress(name, stage, value);
  log("progress " + std::string(name ? name : "") + " " + std::to_string(stage) + " " + std::to_string(value) +
      " -> " + std::to_string(answer));
  return answer;
}
void log_sound() { log("sound"); }

struct scenario {
  std::string name;
  void (*set_up)(engine_call& call, const std::string& target);
  // Files put in the target before the run (names relative to it).
  std::vector<std::string> existing;
};

// What a run leaves behind: each path below the target with its kind,
// permission bits, modification time and contents.
std::map<std::string, std::string> tree_of(const std::string& top) {
  std::map<std::string, std::string> tree;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(top, ec); !ec && it != fs::recursive_directory_iterator();
       it.increment(ec)) {
    const fs::path& p = it->path();
    std::ostringstream d;
    auto st = fs::symlink_status(p);
    d << static_cast<int>(st.type()) << " " << static_cast<unsigned>(st.permissions()) << " ";
    if (st.type() == fs::file_type::regular) {
      d << fs::last_write_time(p).time_since_epoch().count() << " " << read_file(p.string());
    }
    tree[fs::relative(p, top).generic_string()] = d.str();
  }
  return tree;
}

struct outcome {
  std::vector<std::string> log;
  int result = -1;
  std::map<std::string, std::string> tree;
};

outcome run_once(const std::string& archive, const scenario& s, decode_ahead_mode mode) {
  set_decode_ahead_mode(mode);
  fakes::TempDir dir("qel-ahead");
  const std::string target = dir.path() + "/out";
  fs::create_directories(target);
  for (const std::string& name : s.existing) {
    fs::create_directories(fs::path(target + "/" + name).parent_path());
    write_file(target + "/" + name, "there before");
    // 2000-01-01, older than every entry, and the same in both runs.
    fs::last_write_time(target + "/" + name,
                        fs::file_time_type::clock::from_sys(std::chrono::sys_seconds{std::chrono::seconds(946684800)}));
  }
  engine_call call;
  call.callbacks.print = log_print;
  call.callbacks.replace = log_replace;
  call.callbacks.password = log_password;
  call.callbacks.progress = log_progress;
  call.callbacks.sound = log_sound;
  call.options.target_directory = nullptr;
  s.set_up(call, target);
  outcome o;
  g_log = &o.log;
  std::string target_text = target;
  if (!call.options.test_only && !call.options.data_to_print) call.options.target_directory = target_text.c_str();
  o.result = call.run(archive);
  g_log = nullptr;
  set_decode_ahead_mode(decode_ahead_mode::automatic);
  // The log names the target; the two runs have different ones.
  for (std::string& line : o.log) {
    for (size_t at; (at = line.find(target)) != std::string::npos;) line.replace(at, target.size(), "<target>");
  }
  o.tree = tree_of(target);
  return o;
}

std::string deflate_fixture(const std::string& name) {
  return read_file(source_dir() + "/tests/data/decoders/" + name);
}

// Deflate streams with their uncompressed sizes and CRCs (from the decoder fixtures).
struct deflated {
  std::string data;
  uint32_t size;
  uint32_t crc;
};

std::vector<deflated> deflated_fixtures() {
  std::vector<deflated> out;
  std::istringstream manifest(read_file(source_dir() + "/tests/data/decoders/manifest.txt"));
  std::string name, crc;
  uint32_t size;
  while (manifest >> name >> size >> crc) out.push_back({deflate_fixture(name), size, static_cast<uint32_t>(std::stoul(crc, nullptr, 16))});
  return out;
}

zip_entry deflated_entry(const std::string& name, const deflated& d) {
  zip_entry e;
  e.name = name;
  e.data = d.data;
  e.method = 8;
  e.plain = std::string(d.size, '\0');
  e.plain_given = true;
  e.crc_given = true;
  e.crc = d.crc;
  return e;
}

std::string pseudo_random(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  for (size_t i = 0; i < n; ++i) {
    seed = seed * 1103515245u + 12345u;
    s[i] = static_cast<char>(seed >> 24);
  }
  return s;
}

// 150 entries in seven directories: every deflate fixture and stored data of
// sizes around the 32 KiB flush block, with damage here and there.
std::string mixed_archive() {
  const std::vector<deflated> streams = deflated_fixtures();
  const size_t stored_sizes[] = {0, 1, 5000, 32767, 32768, 65536, 70000, 200000};
  std::vector<zip_entry> entries;
  for (int i = 0; i < 150; ++i) {
    const std::string name = "d" + std::to_string(i % 7) + "/f" + std::to_string(i) + ".bin";
    zip_entry e = (i % 3 == 0) ? stored(name, pseudo_random(stored_sizes[i % 8], static_cast<uint32_t>(i)))
                               : deflated_entry(name, streams[static_cast<size_t>(i) % streams.size()]);
    e.made_by_host = 3;
    e.external_attributes = (0100000u | (i % 2 ? 0644u : 0755u)) << 16;
    e.dos_time = DEFAULT_DOS_TIME + static_cast<uint32_t>(i % 30);
    switch (i) {
      case 10: e.crc_given = true; e.crc ^= 1; break;                  // bad CRC
      case 20: e.plain.resize(e.plain.size() / 2); break;              // goes on past its declared size
      case 31: e.plain.resize(e.plain.size() + 99); break;             // ends short of it
      case 41: if (e.data.size() > 100) e.data[e.data.size() / 2] ^= 0x55; break;  // damaged stream
      case 52: e.local_name = "elsewhere.bin"; break;                  // local header disagrees
      case 70: e.name = "d0/f0.bin"; break;                            // a name used before
      case 95: e.data.resize(e.data.size() / 3); break;                // data cut short
      default: break;
    }
    entries.push_back(e);
  }
  return build_zip(entries);
}

const std::vector<scenario>& scenarios() {
  static const std::vector<scenario> list = {
      {"extract, overwriting", [](engine_call& c, const std::string&) {
         c.options.overwrite_always = 1;
         c.options.prompt_to_overwrite = 0;
       }, {}},
      {"extract, asking", [](engine_call& c, const std::string&) {
         c.answers.replace = {REPLACE_NO, 0, REPLACE_RENAME, REPLACE_ALL};
         c.answers.rename_to = {"renamed.bin"};
       }, {"d1/f1.bin", "d2/f2.bin", "d3/f3.bin", "d4/f4.bin", "d5/f5.bin", "d6/f6.bin"}},
      {"freshen", [](engine_call& c, const std::string&) {
         c.options.freshen = 1;
         c.options.overwrite_always = 1;
       }, {"d1/f1.bin", "d3/f3.bin"}},
      {"test", [](engine_call& c, const std::string&) { c.options.test_only = 1; }, {}},
      {"test, quiet", [](engine_call& c, const std::string&) {
         c.options.test_only = 1;
         c.options.quiet_level = 2;
       }, {}},
      {"print", [](engine_call& c, const std::string&) { c.options.data_to_print = 1; }, {}},
      {"text conversion", [](engine_call& c, const std::string&) {
         c.options.text_conversion = 2;
         c.options.overwrite_always = 1;
       }, {}},
      {"some entries", [](engine_call& c, const std::string&) {
         c.options.overwrite_always = 1;
         c.includes = {"d[135]/*", "*.txt", "*.class"};
         c.excludes = {"*9.bin"};
       }, {}},
      {"cancel during data", [](engine_call& c, const std::string&) {
         c.options.overwrite_always = 1;
         c.answers.cancel_at_stage = PROGRESS_DATA;
         c.answers.cancel_after = 23;
       }, {}},
      {"cancel at an entry's start", [](engine_call& c, const std::string&) {
         c.options.overwrite_always = 1;
         c.answers.cancel_at_stage = PROGRESS_START;
         c.answers.cancel_after = 77;
       }, {}},
      {"with passwords", [](engine_call& c, const std::string&) {
         c.options.overwrite_always = 1;
         c.answers.passwords = {"wrong", "secret", "geheim"};
       }, {}},
  };
  return list;
}

void expect_same(const std::string& archive) {
  for (const scenario& s : scenarios()) {
    SCOPED_TRACE(archive + ": " + s.name);
    outcome alone = run_once(archive, s, decode_ahead_mode::never);
    outcome ahead = run_once(archive, s, decode_ahead_mode::always);
    EXPECT_EQ(alone.result, ahead.result);
    EXPECT_EQ(alone.log.size(), ahead.log.size());
    for (size_t i = 0; i < std::min(alone.log.size(), ahead.log.size()); ++i) {
      if (alone.log[i] == ahead.log[i]) continue;
      ADD_FAILURE() << "callback " << i << " differs:\n  alone: " << alone.log[i].substr(0, 160)
                    << "\n  ahead: " << ahead.log[i].substr(0, 160);
      break;
    }
    for (const auto& [path, what] : alone.tree) {
      auto it = ahead.tree.find(path);
      if (it != ahead.tree.end() && it->second == what) continue;
      ADD_FAILURE() << path << " differs: " << what.substr(0, 80) << " / "
                    << (it == ahead.tree.end() ? "missing" : it->second.substr(0, 80));
      break;
    }
    EXPECT_EQ(alone.tree.size(), ahead.tree.size());
  }
}

}  // namespace

TEST(DecodeAhead, TestArchivesGiveTheSameCallbacksResultsAndFiles) {
  for (const char* name : {"7zz.zip", "bsdtar.zip", "python.zip", "methods.zip", "bad_crc.zip", "encrypted.zip",
                           "encrypted_bad_crc.zip", "encrypted_bsdtar.zip", "zip64_python.zip", "zip64_bsdtar.zip"})
    expect_same(fixture(name));
  for (const char* name : {"basic.zip", "descriptors.zip", "encrypted.zip", "traversal.zip"})
    expect_same(source_dir() + "/tests/data/extraction/" + name);
}

TEST(DecodeAhead, ALargeMixedArchiveGivesTheSameCallbacksResultsAndFiles) {
  fakes::TempDir dir("qel-ahead-zip");
  const std::string path = dir.path() + "/mixed.zip";
  write_file(path, mixed_archive());
  expect_same(path);

  // The same archive behind an executable's worth of bytes: the worker finds
  // the local headers through the preceding-bytes count too.
  const std::string behind = dir.path() + "/behind.zip";
  write_file(behind, pseudo_random(12345, 7) + mixed_archive());
  expect_same(behind);
}
