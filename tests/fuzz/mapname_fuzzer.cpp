// Fuzz target: output name mapping and directory creation. An entry name
// (with the options that change its mapping: junk paths, spaces, freshen,
// an 8.3-only volume, a volume label) goes through mapname below a real
// target root on disk, and a root of fuzzed length goes through
// PATH_SET_ROOT. Every file-system change the engine makes is checked on
// the way, and every path mapname hands back: it must lie inside the root,
// or the entry must have been refused.
//
// Input: byte 0 option bits, byte 1 extra root length, the rest the name.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "context.h"
#include "extraction/forwarding_file_system.h"
#include "fakes/temp_dir.h"
#include "mapname.h"

namespace {

bool is_separator(char c) { return c == '/' || c == '\\'; }

// How Windows reads a path component (trailing dots and blanks dropped):
// -1 it leads upward (two dots or more, nothing else), 0 it stays where it
// is (empty, one dot, blanks), 1 it names something.
int step_of(const std::string& c) {
  int dots = 0;
  for (char ch : c) {
    if (ch == '.')
      ++dots;
    else if (ch != ' ')
      return 1;
  }
  return dots >= 2 ? -1 : 0;
}

// True when `path` names `root` (which ends in '/') or something below it,
// read with both separators: no component leads upward. With `strictly`, at
// least one component must name something (a file is never the root).
bool inside(const std::string& root, const std::string& path, bool strictly) {
  if (path.compare(0, root.size(), root) != 0) return false;
  int names = 0;
  std::string component;
  for (size_t i = root.size(); i <= path.size(); ++i) {
    if (i == path.size() || is_separator(path[i])) {
      int step = step_of(component);
      if (step < 0) return false;
      names += step;
      component.clear();
    } else if (path[i] == ':') {
      return false;  // a drive or stream prefix inside the path
    } else {
      component += path[i];
    }
  }
  return names > 0 || !strictly;
}

[[noreturn]] void escaped(const char* what, const std::string& path) {
  std::fprintf(stderr, "%s outside the target root: %s\n", what, path.c_str());
  std::abort();
}

// The real file system, with every change confined to `allowed`, and an
// 8.3-only FAT volume when asked.
class ConfinedFileSystem final : public extraction_test::ForwardingFileSystem {
 public:
  std::string allowed;  // ends in '/'
  bool fat = false;
  bool changed = false;

  Error volume_info(const std::string& path, VolumeInfo& out) override {
    Error e = inner_.volume_info(path, out);
    if (e == Error::none && fat) {
      out.max_component_length = 12;
      out.file_system_name = "FAT";
    }
    return e;
  }
  Error create_directory(const std::string& path) override { return change("directory", path) ? inner_.create_directory(path) : Error::access_denied; }
  Error create(const std::string& path, File& out) override { return change("file", path, true) ? inner_.create(path, out) : Error::access_denied; }
  Error create_exclusive(const std::string& path, File& out) override { return change("file", path, true) ? inner_.create_exclusive(path, out) : Error::access_denied; }
  Error create_exclusive_with_mode(const std::string& path, uint32_t m, File& out) override { return change("file", path, true) ? inner_.create_exclusive_with_mode(path, m, out) : Error::access_denied; }
  Error set_attributes(const std::string& path, uint32_t a) override { return change("attributes", path) ? inner_.set_attributes(path, a) : Error::access_denied; }
  Error set_unix_mode(const std::string& path, uint32_t m) override { return change("mode", path) ? inner_.set_unix_mode(path, m) : Error::access_denied; }
  Error set_times(const std::string& path, const FileTimes& t) override { return change("times", path) ? inner_.set_times(path, t) : Error::access_denied; }
  Error delete_file(const std::string& path) override { return change("deletion", path) ? inner_.delete_file(path) : Error::access_denied; }
  Error remove_directory(const std::string& path) override { return change("removal", path) ? inner_.remove_directory(path) : Error::access_denied; }
  Error rename(const std::string& from, const std::string& to) override {
    return change("rename", from) && change("rename", to) ? inner_.rename(from, to) : Error::access_denied;
  }

 private:
  bool change(const char* what, const std::string& path, bool strictly = false) {
    if (!inside(allowed, path, strictly)) escaped(what, path);
    changed = true;
    return true;
  }
};

int no_message(EngineContext&, const char*, uint32_t, unsigned) { return 0; }

struct fixture {
  fakes::TempDir base{"qel_fuzz_mapname"};
  std::string top = base.path() + "/";
  ConfinedFileSystem fs;
  platform::ScopedService<platform::FileSystem> installed{fs};
};

void clear_below(const std::string& dir) {
  std::vector<platform::DirectoryEntry> list;
  if (platform::native<platform::FileSystem>().list_directory(dir, list) != platform::Error::none) return;
  for (const auto& e : list)
    if (e.name != "." && e.name != "..") fakes::TempDir::remove_tree(dir + "/" + e.name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fixture state;
  fixture* f = &state;
  if (f->base.path().empty() || size < 2) return 0;
  const uint8_t options = data[0];
  // A root of one component, from short to longer than the name buffer
  // can take with a name after it.
  const std::string root = f->top + std::string(1 + data[1] % 250, 'r');
  std::string name(reinterpret_cast<const char*>(data + 2), size - 2);
  name = name.substr(0, std::strlen(name.c_str()));  // the engine's names end at a NUL
  if (name.size() >= NAME_BUFFER_SIZE) name.resize(NAME_BUFFER_SIZE - 1);

  f->fs.fat = (options & 8) != 0;
  f->fs.changed = false;
  // The root itself is the caller's to make.
  f->fs.allowed = f->top;

  auto owner = std::make_unique<EngineContext>();
  EngineContext& ctx = *owner;
  ctx.message_hook = no_message;
  ctx.info = &ctx.infos[0];
  ctx.junk_paths = options & 1;
  ctx.spaces_to_underscores = (options >> 1) & 1;
  ctx.freshen = (options >> 2) & 1;
  ctx.info->volume_label = (options >> 4) & 1;
  ctx.create_directories = 1;

  int r = set_target_root(ctx, root.c_str());
  const bool fits = root.size() <= NAME_BUFFER_SIZE - 3;
  if (fits != (r == RC_OK)) {
    std::fprintf(stderr, "root of %zu characters: result %d\n", root.size(), r);
    std::abort();
  }
  if (r == RC_OK) {
    f->fs.allowed = root + "/";
    std::memcpy(ctx.output_name, name.c_str(), name.size() + 1);
    r = mapname(ctx, 0);
    if (r == 0 || r == 1) {
      const std::string out(ctx.output_name);
      if (!inside(f->fs.allowed, out, true)) escaped("output name", out);
      if (out.size() >= NAME_BUFFER_SIZE) escaped("over-long output name", out);
    }
    if (ctx.path.building) {
      std::fprintf(stderr, "path builder left open (result %d)\n", r);
      std::abort();
    }
  }
  clear_below(f->top);
  return 0;
}
