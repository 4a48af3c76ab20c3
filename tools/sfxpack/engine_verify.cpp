// Listing and testing an installer with the engine.
#include "engine_verify.h"

#include "zipengine/zipengine.h"

namespace sfxpack {
namespace {

// The engine calls back through plain functions and runs one call at a time,
// so the callbacks collect into this one record.
struct Collected {
  std::string text;
  uint32_t entries = 0;
  uint64_t bytes = 0;
  const std::function<void(uint64_t)>* on_data = nullptr;
};
Collected collected;

int collect_text(const char* text, uint32_t length) {
  if (text && collected.text.size() < 65536) collected.text.append(text, length);
  return static_cast<int>(length);
}

int overwrite(char*) { return 1; }

void count_entry(uint64_t uncompressed, uint64_t, int, int, int, int, int, int, char, const char*, const char*,
                 uint32_t, char) {
  ++collected.entries;
  collected.bytes += uncompressed;
}

int report_data(const char*, int stage, uint32_t value) {
  if (stage == PROGRESS_DATA && collected.on_data && *collected.on_data) (*collected.on_data)(value);
  return 0;  // never cancels
}

int run_engine(const std::string& path, bool test, const std::function<void(uint64_t)>* on_data = nullptr) {
  collected = Collected{};
  collected.on_data = on_data;
  EngineOptions options{};
  options.list_contents = test ? 0 : 1;
  options.test_only = test ? 1 : 0;
  options.keep_paths = 1;
  options.overwrite_always = 1;
  options.restore_security = 1;
  options.archive_path = path.c_str();
  EngineCallbacks callbacks{};
  callbacks.print = collect_text;
  callbacks.replace = overwrite;
  callbacks.list_entry64 = count_entry;
  callbacks.progress = report_data;
  return zipengine_run(0, nullptr, 0, nullptr, &options, &callbacks);
}

std::string engine_text() {
  std::string t = collected.text;
  while (!t.empty() && (t.back() == '\n' || t.back() == ' ')) t.pop_back();
  return t.empty() ? "" : ":\n" + t;
}

}  // namespace

VerifyResult verify_with_engine(const std::string& archive_path, size_t expected_entries, uint64_t expected_bytes,
                                const std::function<void(uint64_t bytes)>& on_data) {
  VerifyResult r;
  if (archive_path.size() >= ZIPENGINE_NAME_SIZE) {
    r.notes.push_back("not checked with the engine: the path is longer than the engine accepts");
    return r;
  }

  int rc = run_engine(archive_path, false);
  if (rc != RC_OK) {
    r.ok = false;
    r.failure = "the launcher's engine cannot read the result (result code " + std::to_string(rc) + ")" + engine_text();
    return r;
  }
  r.listed_entries = collected.entries;
  r.listed_bytes = collected.bytes;
  if (collected.entries != expected_entries || collected.bytes != expected_bytes) {
    r.ok = false;
    r.failure = "the launcher's engine lists " + std::to_string(collected.entries) + " entries of " +
                std::to_string(collected.bytes) + " bytes, but " + std::to_string(expected_entries) +
                " entries of " + std::to_string(expected_bytes) + " bytes were written";
    return r;
  }

  rc = run_engine(archive_path, true, &on_data);
  if (rc != RC_OK) {
    r.ok = false;
    r.failure = "the launcher's engine finds errors in the result (result code " + std::to_string(rc) + ")" +
                engine_text();
  }
  return r;
}

}  // namespace sfxpack
