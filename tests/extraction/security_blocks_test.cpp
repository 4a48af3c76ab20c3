// Stored Windows security: descriptors are checked for structure, blocks
// for truncation, and on a volume that keeps access control lists they are
// written (directories after the archive's files, with one summary line).
#include <gtest/gtest.h>

#include <vector>

#include "crc32.h"
#include "engine_fixture.h"
#include "file_metadata.h"
#include "mapname.h"
#include "platform/security.h"

namespace extraction_test {
namespace {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, uint32_t v) {
  b.push_back(v & 0xFF);
  b.push_back((v >> 8) & 0xFF);
}
void put32(Bytes& b, uint32_t v) {
  put16(b, v & 0xFFFF);
  put16(b, v >> 16);
}
void put_sid(Bytes& b, uint8_t authority, std::initializer_list<uint32_t> subs) {
  b.push_back(1);
  b.push_back(static_cast<uint8_t>(subs.size()));
  for (int i = 0; i < 5; ++i) b.push_back(0);
  b.push_back(authority);
  for (uint32_t s : subs) put32(b, s);
}

// Owner BUILTIN\Administrators, a DACL granting Everyone full access.
Bytes sample_descriptor() {
  Bytes owner;
  put_sid(owner, 5, {32, 544});
  Bytes ace_sid;
  put_sid(ace_sid, 1, {0});
  Bytes ace{0, 0};  // ACCESS_ALLOWED, no flags
  put16(ace, static_cast<uint32_t>(8 + ace_sid.size()));
  put32(ace, 0x001F01FF);
  ace.insert(ace.end(), ace_sid.begin(), ace_sid.end());
  Bytes acl{2, 0};
  put16(acl, static_cast<uint32_t>(8 + ace.size()));
  put16(acl, 1);
  put16(acl, 0);
  acl.insert(acl.end(), ace.begin(), ace.end());
  Bytes sd{1, 0};
  put16(sd, 0x8004);  // self-relative, DACL present
  put32(sd, 20);                                       // owner
  put32(sd, 0);                                        // group
  put32(sd, 0);                                        // SACL
  put32(sd, static_cast<uint32_t>(20 + owner.size()));  // DACL
  sd.insert(sd.end(), owner.begin(), owner.end());
  sd.insert(sd.end(), acl.begin(), acl.end());
  return sd;
}

// A deflate stream of one stored block.
Bytes deflate_stored(const Bytes& raw) {
  Bytes d{0x01};
  put16(d, static_cast<uint32_t>(raw.size()));
  put16(d, static_cast<uint32_t>(~raw.size() & 0xFFFF));
  d.insert(d.end(), raw.begin(), raw.end());
  return d;
}

// A 0x4453 block holding `sd`, stored (method 0) or deflated (method 8).
Bytes security_block(const Bytes& sd, uint32_t crc_adjust = 0, uint16_t method = 0, uint8_t version = 0) {
  Bytes data;
  put32(data, static_cast<uint32_t>(sd.size()));
  data.push_back(version);
  put16(data, method);
  put32(data, crc32_update(0, sd.data(), sd.size()) + crc_adjust);
  Bytes body = method == 8 ? deflate_stored(sd) : sd;
  data.insert(data.end(), body.begin(), body.end());
  Bytes b;
  put16(b, 0x4453);
  put16(b, static_cast<uint32_t>(data.size()));
  b.insert(b.end(), data.begin(), data.end());
  return b;
}

bool valid(const Bytes& sd) { return validate_security(sd.data(), static_cast<uint32_t>(sd.size())); }

TEST(ValidateSecurity, WellFormedDescriptorPasses) { EXPECT_TRUE(valid(sample_descriptor())); }

TEST(ValidateSecurity, EveryBrokenStructureFails) {
  Bytes good = sample_descriptor();
  Bytes b = good;
  b.resize(19);
  EXPECT_FALSE(valid(b)) << "shorter than the header";
  b = good;
  b[0] = 2;
  EXPECT_FALSE(valid(b)) << "revision";
  b = good;
  b[3] = 0;
  EXPECT_FALSE(valid(b)) << "not self-relative";
  b = good;
  b[4] = 200;
  EXPECT_FALSE(valid(b)) << "owner offset outside";
  b = good;
  b[21] = 16;
  EXPECT_FALSE(valid(b)) << "too many sub-authorities";
  b = good;
  b.pop_back();
  EXPECT_FALSE(valid(b)) << "DACL cut short";
  b = good;
  size_t dacl = 20 + 16;
  b[dacl + 2] = 0xFF;
  EXPECT_FALSE(valid(b)) << "ACL size beyond the descriptor";
  b = good;
  b[dacl + 8 + 2] = 0x40;
  EXPECT_FALSE(valid(b)) << "ACE size beyond the ACL";
  b = good;
  b[dacl + 4] = 2;
  EXPECT_FALSE(valid(b)) << "more ACEs than the ACL holds";
  EXPECT_FALSE(validate_security(nullptr, 0));
}

// A system that keeps access control lists everywhere and records what
// would have been written.
class RecordingSecurity final : public platform::Security {
 public:
  struct Applied {
    std::string path;
    size_t length;
    uint32_t parts;
    bool directory;
  };
  bool nt_family() override { return true; }
  platform::Privileges enable_privileges() override { return {}; }
  platform::Error volume_security(const std::string&, const std::string&, platform::VolumeSecurity& out) override {
    out = platform::VolumeSecurity{};
    out.file_system_flags = keeps_acls ? 0x8 : 0;
    return platform::Error::none;
  }
  platform::Error apply_descriptor(const std::string& path, const uint8_t*, size_t length, uint32_t parts,
                                   bool directory, bool) override {
    applied.push_back({path, length, parts, directory});
    return platform::Error::none;
  }
  bool keeps_acls = true;
  std::vector<Applied> applied;
};

class SecurityBlocks : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    clear_security_cache();
    ctx_.security_level = 1;
    ctx_.info->file_attributes = 0x20;
  }
  void TearDown() override {
    ctx_.extra_field = nullptr;
    report_deferred_security(ctx_);  // nothing may stay queued for the next test
    clear_security_cache();
  }
  int apply(const Bytes& ef) {
    return apply_security_blocks(ctx_, (root_ + "f").c_str(), ef.data(), static_cast<uint32_t>(ef.size()));
  }
  void set_extra(Bytes ef) {
    extra_ = std::move(ef);
    ctx_.extra_field = extra_.data();
    ctx_.extra_field_length = static_cast<uint16_t>(extra_.size());
  }
  Bytes extra_;
};

TEST_F(SecurityBlocks, TruncatedBlockIsReportedWithItsShortfall) {
  Bytes ef;
  put16(ef, 0x4453);
  put16(ef, 11);
  put32(ef, 64);
  ef.push_back(0);
  put16(ef, 0);
  put32(ef, 0);
  EXPECT_EQ(apply(ef), 79);
  // Through the directory path, the message counts the missing bytes.
  set_extra(ef);
  ctx_.info->file_attributes = 0x10;
  set_target_root(ctx_, dir_.path().c_str());
  set_name("d/");
  EXPECT_EQ(mapname(ctx_, 0), 77);
  EXPECT_NE(messages_.all.find(" compressed WinNT security data missing (1 bytes)"), std::string::npos)
      << messages_.all;
}

TEST_F(SecurityBlocks, NothingIsReadWithoutRestoreSecurity) {
  Bytes ef;
  put16(ef, 0x4453);
  put16(ef, 11);
  put32(ef, 64);
  ef.push_back(0);
  put16(ef, 0);
  put32(ef, 0);
  ctx_.security_level = 0;
  EXPECT_EQ(apply(ef), 0);
}

TEST_F(SecurityBlocks, OtherVersionsAndEmptyDescriptorsAreIgnored) {
  EXPECT_EQ(apply(security_block(sample_descriptor(), 0, 0, 1)), 0);
  EXPECT_EQ(apply(security_block(Bytes{})), 0);
  EXPECT_EQ(messages_.all, "");
}

TEST_F(SecurityBlocks, BadCrcAndUnknownMethodAreErrors) {
  ctx_.current_archive = "a.zip";
  EXPECT_EQ(apply(security_block(sample_descriptor(), 1)), 2);
  EXPECT_NE(messages_.all.find("error [a.zip]:  bad extra-field CRC "), std::string::npos) << messages_.all;
  messages_.all.clear();
  EXPECT_EQ(apply(security_block(sample_descriptor(), 0, 12)), 2);
  EXPECT_NE(messages_.all.find("unsupported extra-field compression type (12)--skipping"), std::string::npos);
}

TEST_F(SecurityBlocks, DirectoriesAreWrittenAfterTheFilesWithOneReport) {
  RecordingSecurity sec;
  platform::ScopedService<platform::Security> use(sec);
  Bytes sd = sample_descriptor();
  set_extra(security_block(sd));
  set_target_root(ctx_, dir_.path().c_str());
  ctx_.info->file_attributes = 0x10;
  set_name("one/");
  EXPECT_EQ(mapname(ctx_, 0), 77);
  set_name("two/");
  EXPECT_EQ(mapname(ctx_, 0), 77);
  EXPECT_TRUE(sec.applied.empty());
  // A file's descriptor is written at once, and said so.
  ctx_.info->file_attributes = 0x20;
  EXPECT_EQ(apply(extra_), 0);
  ASSERT_EQ(sec.applied.size(), 1u);
  EXPECT_FALSE(sec.applied[0].directory);
  EXPECT_EQ(sec.applied[0].parts, platform::SECURITY_PART_DACL);
  EXPECT_NE(messages_.all.find(" (" + std::to_string(sd.size()) + " bytes security)"), std::string::npos);
  messages_.all.clear();
  report_deferred_security(ctx_);
  ASSERT_EQ(sec.applied.size(), 3u);
  EXPECT_TRUE(sec.applied[1].directory);
  EXPECT_EQ(sec.applied[1].path, root_ + "one/");
  EXPECT_EQ(messages_.all, "    updated: 2 directory entries with " + std::to_string(2 * sd.size()) +
                               " bytes security");
}

TEST_F(SecurityBlocks, DeflatedDescriptorIsExpandedAndChecked) {
  RecordingSecurity sec;
  platform::ScopedService<platform::Security> use(sec);
  Bytes sd = sample_descriptor();
  EXPECT_EQ(apply(security_block(sd, 0, 8)), 0);
  ASSERT_EQ(sec.applied.size(), 1u);
  EXPECT_EQ(sec.applied[0].length, sd.size());
  Bytes broken = security_block(sd, 0, 8);
  broken[4 + 11] = 0x07;  // an invalid block type
  EXPECT_EQ(apply(broken), 2);
  EXPECT_NE(messages_.all.find("\n  error:  invalid compressed data to inflate_installer\n"), std::string::npos);
}

TEST_F(SecurityBlocks, InvalidDescriptorIsNotWritten) {
  RecordingSecurity sec;
  platform::ScopedService<platform::Security> use(sec);
  Bytes sd = sample_descriptor();
  sd[0] = 9;
  EXPECT_EQ(apply(security_block(sd)), 0);
  EXPECT_TRUE(sec.applied.empty());
  EXPECT_EQ(messages_.all.find("bytes security"), std::string::npos);
}

TEST_F(SecurityBlocks, VolumeWithoutAclsGetsNothingWritten) {
  RecordingSecurity sec;
  sec.keeps_acls = false;
  platform::ScopedService<platform::Security> use(sec);
  EXPECT_EQ(apply(security_block(sample_descriptor())), 0);
  EXPECT_TRUE(sec.applied.empty());
  // ... but a broken block is still found.
  EXPECT_EQ(apply(security_block(sample_descriptor(), 1)), 2);
}

}  // namespace
}  // namespace extraction_test
