// Fuzz target: name patterns and archive-name wildcards. A pattern and a
// name (both fuzzed) go through the matcher, which must answer 0, 1 or 2
// and agree with properties that hold for every input: a pattern without
// wildcards matches exactly its unescaped text; a name with every byte
// escaped matches itself; '*' and one '?' per character match anything.
// The pattern also expands, as an archive path, over a small real
// directory: the expansion ends, and every path handed out is the pattern
// itself or a file there.
//
// Input: byte 0 bit 0 folds case; then the pattern, a NUL, the name.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "archive_names.h"
#include "context.h"
#include "fakes/temp_dir.h"
#include "name_match.h"
#include "platform/file_system.h"

namespace {

[[noreturn]] void wrong(const char* what, const std::string& pattern, const std::string& name) {
  std::fprintf(stderr, "%s: pattern \"%s\", name \"%s\"\n", what, pattern.c_str(), name.c_str());
  std::abort();
}

bool same(const std::string& a, const std::string& b, bool fold) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = static_cast<unsigned char>(a[i]), y = static_cast<unsigned char>(b[i]);
    if ((fold ? fold_byte(x) : x) != (fold ? fold_byte(y) : y)) return false;
  }
  return true;
}

// The literal text of a pattern without wildcards; false when it ends in a
// lone backslash (which never matches).
bool unescaped(const std::string& pattern, std::string& out) {
  out.clear();
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '\\') {
      if (++i == pattern.size()) return false;
    }
    out += pattern[i];
  }
  return true;
}

struct fixture {
  fakes::TempDir dir{"qel_fuzz_patterns"};
  fixture() {
    auto& fs = platform::native<platform::FileSystem>();
    for (const char* n : {"a.zip", "B.ZIP", "noext", "[x].zip", ".hidden", "sub.zip"}) {
      platform::File f;
      fs.create(dir.path() + "/" + n, f);
    }
    fs.create_directory(dir.path() + "/sub");
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static fixture files;
  if (size < 1) return 0;
  const bool fold = data[0] & 1;
  const std::string rest(reinterpret_cast<const char*>(data + 1), size - 1);
  const size_t nul = rest.find('\0');
  const std::string pattern = rest.substr(0, nul);
  std::string name = nul == std::string::npos ? std::string() : rest.substr(nul + 1);
  name = name.substr(0, std::strlen(name.c_str()));
  if (name.size() > 300) name.resize(300);

  const int r = match_pattern(pattern.c_str(), name.c_str(), fold);
  if (r < 0 || r > 2) wrong("answer out of range", pattern, name);
  const bool matched = name_matches(name.c_str(), pattern.c_str(), fold);
  if (matched != (r == 1)) wrong("name_matches disagrees", pattern, name);

  if (!has_wildcards(pattern.c_str())) {
    std::string literal;
    const bool expected = unescaped(pattern, literal) && same(literal, name, fold);
    if (matched != expected) wrong("plain pattern", pattern, name);
  }
  std::string escaped, any_chars;
  for (char c : name) {
    escaped += '\\';
    escaped += c;
    any_chars += '?';
  }
  if (!name_matches(name.c_str(), escaped.c_str(), fold)) wrong("escaped name", escaped, name);
  if (!name_matches(name.c_str(), "*", fold)) wrong("star", "*", name);
  if (!name_matches(name.c_str(), any_chars.c_str(), fold)) wrong("one ? per character", any_chars, name);

  // The expansion is tried inside the fixture's directory only (a '/' in
  // the pattern would take it elsewhere, where the files are not ours).
  if (files.dir.path().empty() || pattern.size() > 200 || pattern.find('/') != std::string::npos) return 0;
  const std::string archive_pattern = files.dir.path() + "/" + pattern;
  auto ctx = std::make_unique<EngineContext>();
  for (int calls = 0;; ++calls) {
    const char* got = next_archive_name(*ctx, archive_pattern.c_str());
    if (!got) break;
    if (calls > 64) wrong("expansion does not end", archive_pattern, "");
    if (archive_pattern == got) continue;
    platform::FileStatus st;
    if (platform::native<platform::FileSystem>().status(got, st) != platform::Error::none ||
        st.kind == platform::FileKind::missing)
      wrong("expansion names no file", archive_pattern, got);
  }
  return 0;
}
