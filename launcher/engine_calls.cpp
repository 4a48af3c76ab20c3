// Engine calls: a fresh options and callbacks record per call, owned here
// for the whole call, no include or exclude patterns.
#include "engine_calls.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "launcher_state.h"
#include "platform/file_system.h"
#include "platform/interruption.h"

namespace launcher {
namespace {

EngineEntry g_engine = nullptr;

// The sizes come in full (zip64 archives go beyond 4 GiB), so the sums
// do not wrap where the space checks and the progress share need them.
void AddPayloadSize(uint64_t uncompressed, uint64_t, int, int, int, int, int, int, char, const char* name,
                    const char*, uint32_t, char) {
  LauncherState& s = State();
  s.payload_total += uncompressed;
  if (name) s.payload_longest_name = std::max(s.payload_longest_name, std::strlen(name));
}

void AddNestedSize(uint64_t uncompressed, uint64_t, int, int, int, int, int, int, char, const char*,
                   const char*, uint32_t, char) {
  State().nested_total += uncompressed;
}

int CallEngine(bool list, const std::string& archive, const std::string* target,
               engine_list_entry64_fn list_entry, engine_progress_fn progress) {
  auto options = std::make_unique<EngineOptions>();
  auto callbacks = std::make_unique<EngineCallbacks>();
  *options = EngineOptions{};
  *callbacks = EngineCallbacks{};
  options->list_contents = list ? 1 : 0;
  options->keep_paths = 1;
  options->overwrite_always = 1;
  options->restore_security = 1;
  options->archive_path = archive.c_str();
  options->target_directory = target ? target->c_str() : nullptr;
  callbacks->print = DiscardText;
  callbacks->replace = AnswerReplace;
  callbacks->list_entry64 = list_entry;
  callbacks->progress = progress;
  EngineEntry entry = g_engine ? g_engine : zipengine_run;
  return entry(0, nullptr, 0, nullptr, options.get(), callbacks.get());
}

// The payload is the launcher's own file. A path the engine cannot take
// (too long, or none at all) is reported as no archive.
int CallEngineOnPayload(bool list) {
  std::string self;
  if (platform::file_system().program_path(self) != platform::Error::none || self.empty() ||
      self.size() > kEnginePathLimit) {
    return RC_NO_ARCHIVE;
  }
  return CallEngine(list, self, nullptr, AddPayloadSize, ReportPayloadProgress);
}

}  // namespace

void SetEngineEntry(EngineEntry entry) { g_engine = entry; }

int DiscardText(const char*, uint32_t length) { return static_cast<int>(length); }

int AnswerReplace(char*) { return 1; }

bool OwnPathTooLong() {
  std::string self;
  return platform::file_system().program_path(self) == platform::Error::none && self.size() > kEnginePathLimit;
}

// The user's Cancel never stops a nested call (the dialog is hidden while
// it runs); an interruption from outside does.
int NeverCancel(const char*, int, uint32_t) { return platform::interruptions().interrupted() ? 1 : 0; }

int ReportPayloadProgress(const char* entry_name, int stage, uint32_t value) {
  if (stage != PROGRESS_DATA) return 0;
  LauncherState& s = State();
  s.payload_written += value;
  // A listing that reported no data cannot give a share: count it as done.
  int percent = 100;
  if (s.payload_total != 0) {
    double share = static_cast<double>(s.payload_written) / static_cast<double>(s.payload_total) * 100.0;
    percent = static_cast<int>(share);
  }
  if (s.progress_display) s.progress_display(entry_name, percent);
  return RunStopped() ? 1 : 0;
}

int QueryArchive() { return CallEngineOnPayload(true); }

int ExtractArchive() { return CallEngineOnPayload(false); }

int ListNestedArchive(const std::string& archive) {
  return CallEngine(true, archive, nullptr, AddNestedSize, NeverCancel);
}

int ExtractNestedArchive(const std::string& archive) {
  return CallEngine(false, archive, &State().nested_target, AddNestedSize, NeverCancel);
}

}  // namespace launcher
