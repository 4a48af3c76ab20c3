// Test helper: an engine context wired to collect every message, with the
// current entry's information record in place and a fresh target directory.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "context.h"
#include "fakes/temp_dir.h"
#include "mapname.h"
#include "platform/file_system.h"

namespace extraction_test {

struct Messages {
  std::string all;
  std::vector<std::string> lines;  // one per message call
};

inline int collect_message(EngineContext& ctx, const char* text, uint32_t length, unsigned) {
  auto* m = static_cast<Messages*>(static_cast<void*>(ctx.callbacks));
  m->all.append(text, length);
  m->lines.emplace_back(text, length);
  return 0;
}

inline int count_of(const std::string& hay, const std::string& needle) {
  int n = 0;
  for (size_t at = hay.find(needle); at != std::string::npos; at = hay.find(needle, at + 1)) ++n;
  return n;
}

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    root_ = dir_.path() + "/";
    // The hook reads the collector through the callbacks pointer, which the
    // functions under test never touch.
    ctx_.callbacks = static_cast<EngineCallbacks*>(static_cast<void*>(&messages_));
    ctx_.message_hook = collect_message;
    ctx_.info = &ctx_.infos[0];
    ctx_.junk_paths = 0;
    ctx_.create_directories = 1;
  }

  void set_name(const std::string& name) {
    ASSERT_LT(name.size(), sizeof ctx_.output_name);
    std::memcpy(ctx_.output_name, name.c_str(), name.size() + 1);
  }
  void use_root() { ASSERT_EQ(set_target_root_text(dir_.path()), 0); }
  int set_target_root_text(const std::string& root) { return set_target_root(ctx_, root.c_str()); }

  platform::FileKind kind(const std::string& path) {
    platform::FileStatus st;
    if (platform::native<platform::FileSystem>().status(path, st) != platform::Error::none)
      return platform::FileKind::missing;
    return st.kind;
  }
  void write_file(const std::string& path, const std::string& data) {
    auto& fs = platform::native<platform::FileSystem>();
    platform::File f;
    ASSERT_EQ(fs.create(path, f), platform::Error::none) << path;
    ASSERT_EQ(f.write(data.data(), data.size()).value, static_cast<int64_t>(data.size()));
    ASSERT_EQ(f.close(), platform::Error::none);
  }
  std::string read_file(const std::string& path) {
    auto& fs = platform::native<platform::FileSystem>();
    platform::File f;
    if (fs.open_read(path, f) != platform::Error::none) return "<missing>";
    std::string out;
    char buf[4096];
    for (;;) {
      auto r = f.read(buf, sizeof buf);
      if (!r.ok() || r.value == 0) break;
      out.append(buf, static_cast<size_t>(r.value));
    }
    return out;
  }

  fakes::TempDir dir_{"qelx"};
  std::string root_;
  Messages messages_;
  EngineContext ctx_;
};

}  // namespace extraction_test
