// The engine's own allocations: when the per-call state cannot be
// allocated the call ends with 4 and touches none of the caller's callbacks
// (not even the default sound); a buffer whose size an archive states is
// never larger than the archive's bytes can fill, and when it cannot be had
// the failure is reported and counted, not swallowed.
#include <gtest/gtest.h>

#include <algorithm>
#include <new>
#include <string>

#include "engine/engine_harness.h"
#include "zipengine/zipengine.h"

namespace {
bool g_fail_nothrow_new = false;
size_t g_fail_size = 0;      // non-zero: non-throwing requests of exactly this size fail
size_t g_largest_nothrow = 0;  // the largest non-throwing request seen
int g_prints = 0;
std::string g_text;
int counting_print(const char* text, uint32_t length) {
  g_text.append(text, length);
  return ++g_prints;
}
int any_replace(char*) { return 0; }

void* nothrow_allocate(std::size_t size) {
  g_largest_nothrow = std::max(g_largest_nothrow, size);
  if (g_fail_nothrow_new || (g_fail_size != 0 && size == g_fail_size)) return nullptr;
  try {
    return ::operator new(size);
  } catch (...) {
    return nullptr;
  }
}
}  // namespace

// The engine allocates its context and the buffers an archive sizes with
// the non-throwing new; this test binary replaces it so that it can watch
// and fail it on demand.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return nothrow_allocate(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return nothrow_allocate(size); }

TEST(ContextAllocation, FailureGivesNoMemoryWithoutTouchingCallbacks) {
  EngineOptions o{};
  o.archive_path = "whatever.zip";
  o.list_contents = 1;
  EngineCallbacks cb{};
  cb.print = counting_print;
  cb.replace = any_replace;
  g_fail_nothrow_new = true;
  int rc = zipengine_run(0, nullptr, 0, nullptr, &o, &cb);
  g_fail_nothrow_new = false;
  EXPECT_EQ(rc, RC_NO_MEMORY);
  EXPECT_EQ(cb.sound, nullptr);
  EXPECT_EQ(g_prints, 0);
  EXPECT_EQ(cb.entry_count, 0u);
}

namespace {

using engine_test::put16;
using engine_test::put32;

// One stored entry whose local extra field holds a security block (0x4453)
// claiming a descriptor of `declared` bytes, stored with `method`, followed
// by `body`.
std::string archive_with_security_block(uint32_t declared, uint16_t method, const std::string& body) {
  std::string block;
  put16(block, 0x4453);
  put16(block, static_cast<uint32_t>(11 + body.size()));
  put32(block, declared);
  block.push_back(0);  // version
  put16(block, method);
  put32(block, engine_test::crc32_of(body));
  block += body;
  engine_test::zip_entry e = engine_test::stored("s.txt", "y");
  e.local_extra = block;
  return engine_test::build_zip({e});
}

// Extracts (or, with `test_only`, tests) the archive with -X.
int extract_restoring_security(const std::string& zip, bool test_only = false) {
  fakes::TempDir dir("alloc");
  const std::string archive = engine_test::join(dir, "s.zip");
  engine_test::write_file(archive, zip);
  EngineOptions o{};
  o.archive_path = archive.c_str();
  o.target_directory = dir.path().c_str();
  o.keep_paths = 1;
  o.overwrite_always = 1;
  o.restore_security = 1;
  o.test_only = test_only ? 1 : 0;
  EngineCallbacks cb{};
  cb.print = counting_print;
  cb.replace = any_replace;
  g_text.clear();
  g_largest_nothrow = 0;
  return zipengine_run(0, nullptr, 0, nullptr, &o, &cb);
}

TEST(ArchiveSizedAllocation, DescriptorSizeIsCheckedAgainstTheBlock) {
  // A 19-byte block that claims a 4 GiB descriptor, stored and deflated.
  for (uint16_t method : {uint16_t{0}, uint16_t{8}}) {
    int rc = extract_restoring_security(archive_with_security_block(0xFFFFFFF0u, method, "abcd"));
    EXPECT_EQ(rc, RC_ERROR) << method;
    EXPECT_NE(g_text.find("error:  invalid compressed data to inflate_installer"), std::string::npos) << g_text;
    // Nothing near the claimed size was asked for (the engine's own
    // buffers are below a megabyte).
    EXPECT_LT(g_largest_nothrow, size_t{1} << 20) << method;
    // Testing checks the same claim before it allocates.
    rc = extract_restoring_security(archive_with_security_block(0xFFFFFFF0u, method, "abcd"), true);
    EXPECT_EQ(rc, method == 0 ? 8 * 256 + 2 : RC_ERROR) << g_text;
    EXPECT_NE(g_text.find(method == 0 ? " bad CRC for extended attributes\n" : " invalid compressed data for EAs\n"),
              std::string::npos)
        << g_text;
    EXPECT_LT(g_largest_nothrow, size_t{1} << 20) << method;
  }
}

TEST(ArchiveSizedAllocation, FailureIsReportedNotSwallowed) {
  const std::string descriptor(77, 'd');
  g_fail_size = descriptor.size();
  const std::string zip = archive_with_security_block(77, 0, descriptor);
  int rc = extract_restoring_security(zip);
  EXPECT_EQ(rc, RC_NO_MEMORY_BLOCK);
  EXPECT_NE(g_text.find("error:  not enough memory for the security descriptor of "), std::string::npos) << g_text;
  EXPECT_NE(g_text.find("s.txt (77 bytes)\n"), std::string::npos);
  rc = extract_restoring_security(zip, true);
  g_fail_size = 0;
  EXPECT_EQ(rc, RC_NO_MEMORY_BLOCK);
  EXPECT_NE(g_text.find(" out of memory while inflating EAs\n"), std::string::npos) << g_text;
}

}  // namespace
