// Restoring stored Windows security: the 0x4453 extra-field blocks are
// parsed, checked for truncation, expanded and validated wherever they are
// met; they are written only on systems and volumes that keep access
// control lists. Directory descriptors wait until the archive's files
// exist. The state here is process-wide and guarded by its own locks.
#include <cctype>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <vector>

#include "context.h"
#include "crc32.h"
#include "decoder_state.h"
#include "file_metadata.h"
#include "messages.h"
#include "platform/file_system.h"
#include "platform/security.h"

namespace {

constexpr uint16_t TAG_NT_SECURITY = 0x4453;
constexpr size_t ROOT_LIMIT = 260;

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// One request to write a descriptor: the volume's capabilities as cached,
// and what the call adds.
struct security_request {
  platform::VolumeSecurity volume;
  bool use_privileges = false;  // restore_security 2
  uint32_t attributes = 0;      // the entry's attributes (directory bit)
  bool process_now = false;     // set for deferred directories only
};

struct deferred_directory {
  std::string path;
  security_request request;
  std::vector<uint8_t> descriptor;
};

struct security_state {
  platform::Privileges privileges;
  std::mutex list_lock;
  std::deque<deferred_directory> deferred;
  std::mutex cache_lock;
  bool cache_valid = false;
  std::string cache_root;
  platform::VolumeSecurity cache;
};

// Initialised once, by the first thread that needs it; privileges are
// enabled then and stay enabled for the life of the process.
security_state& state() {
  static security_state* s = [] {
    auto* fresh = new security_state;
    auto& sec = platform::security();
    if (sec.nt_family()) fresh->privileges = sec.enable_privileges();
    return fresh;
  }();
  return *s;
}

bool same_root(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

// The volume root of the target: "\\server\share\", "X:\", or "" for the
// current drive. False when the root is too long to be a path.
bool volume_root_of(const std::string& target, std::string& out) {
  if (target.size() > ROOT_LIMIT) return false;
  std::string t = target;
  for (char& c : t)
    if (c == '/') c = '\\';
  out.clear();
  if (t.size() > 2 && t[0] == '\\' && t[1] == '\\' && t[2] != '\\') {
    size_t server_end = t.find('\\', 2);
    if (server_end == std::string::npos) return false;
    size_t share_end = t.find('\\', server_end + 1);
    out = t.substr(0, share_end == std::string::npos ? t.size() : share_end) + "\\";
  } else if (t.size() >= 2 && std::isalpha(static_cast<unsigned char>(t[0])) && t[1] == ':') {
    out = t.substr(0, 2) + "\\";
  }
  return true;
}

bool query_capabilities(EngineContext& ctx, const char* path, security_request& request) {
  security_state& st = state();
  std::string root;
  if (!volume_root_of(ctx.path.root_set ? ctx.path.root : std::string(), root)) return false;
  std::lock_guard<std::mutex> lock(st.cache_lock);
  if (st.cache_valid && same_root(st.cache_root, root)) {
    request.volume = st.cache;
    return true;
  }
  platform::VolumeSecurity vs;
  if (platform::security().volume_security(root, request.use_privileges ? path : std::string(), vs) !=
      platform::Error::none) {
    st.cache_valid = false;
    return false;
  }
  st.cache_valid = true;
  st.cache_root = root;
  st.cache = vs;
  request.volume = vs;
  return true;
}

bool set_security(const std::string& path, const security_request& request, const uint8_t* sd,
                  uint32_t length) {
  security_state& st = state();
  bool directory = (request.attributes & platform::FILE_ATTR_DIRECTORY) != 0;
  if (directory && !request.process_now) {
    try {
      deferred_directory node{path, request, std::vector<uint8_t>(sd, sd + length)};
      node.request.process_now = true;
      std::lock_guard<std::mutex> lock(st.list_lock);
      st.deferred.push_back(std::move(node));
    } catch (const std::bad_alloc&) {
      return false;
    }
    return true;
  }
  if (!validate_security(sd, length)) return false;
  bool restore = false, system_security = false;
  if (request.use_privileges) {
    if (request.volume.remote) {
      restore = (request.volume.remote_privileges & platform::REMOTE_RESTORE_OWNER) != 0;
      system_security = (request.volume.remote_privileges & platform::REMOTE_SET_SACL) != 0;
    } else {
      restore = st.privileges.restore;
      system_security = st.privileges.security;
    }
  }
  uint32_t parts = 0;
  if (security_has_dacl(sd, length)) parts |= platform::SECURITY_PART_DACL;
  if (restore) parts |= platform::SECURITY_PART_OWNER | platform::SECURITY_PART_GROUP;
  if (security_has_sacl(sd, length) && (restore || system_security)) parts |= platform::SECURITY_PART_SACL;
  if (parts == 0) return false;
  return platform::security().apply_descriptor(path, sd, length, parts, directory, restore) ==
         platform::Error::none;
}

// Expands a descriptor stored as (method 0 or 8, CRC-32, data) into
// out[0..size).
int expand_descriptor(EngineContext& ctx, const uint8_t* block, uint32_t block_size, uint8_t* out,
                      uint32_t size) {
  uint16_t method = read16(block);
  uint32_t expected = read32(block + 2);
  const uint8_t* data = block + 6;
  uint32_t data_size = block_size - 6;
  if (method == 0) {
    std::memcpy(out, data, size);
  } else {
    uint32_t produced = 0;
    int r = inflate_to_memory(ctx, data, data_size, out, size, &produced);
    if (r == 3) {
      message(ctx, "\n  error:  %s%s\n", "not enough memory to ", "inflate_installer");
      return RC_NO_MEMORY_INFLATE;
    }
    if (r != 0 || produced != size) {
      message(ctx, "\n  error:  %s%s\n", "invalid compressed data to ", "inflate_installer");
      return RC_ERROR;
    }
  }
  uint32_t crc = crc32_update(0, out, size);
  if (crc != expected) {
    message(ctx, "error [%s]:  bad extra-field CRC %08lx (should be %08lx)\n",
            display_form(ctx.current_archive).c_str(), static_cast<unsigned long>(crc),
            static_cast<unsigned long>(expected));
    return RC_ERROR;
  }
  return 0;
}

// One security block's data (after tag and size). `apply`: the volume keeps
// access control lists, so the descriptor is written, not only checked.
int apply_one_block(EngineContext& ctx, const std::string& path, const uint8_t* d, uint32_t size,
                    security_request& request, bool apply) {
  if (size < 5 || d[4] != 0) return 0;
  uint32_t sd_size = read32(d);
  if (sd_size == 0) return 0;
  if (size <= 11) return RC_BLOCK_TRUNCATED;
  const uint16_t method = read16(d + 5);
  if (method != 0 && method != 8) {
    message(ctx, "\nerror:  unsupported extra-field compression type (%u)--skipping\n", method);
    return RC_ERROR;
  }
  // The size is the archive's claim: no more is allocated than the block's
  // bytes can expand to.
  if (sd_size > block_expansion_limit(method, size - 11)) {
    message(ctx, "\n  error:  %s%s\n", "invalid compressed data to ", "inflate_installer");
    return RC_ERROR;
  }
  std::unique_ptr<uint8_t[]> sd(new (std::nothrow) uint8_t[sd_size]);
  if (!sd) {
    message(ctx, "\nerror:  not enough memory for the security descriptor of %s (%lu bytes)\n",
            display_form(path.c_str()).c_str(), static_cast<unsigned long>(sd_size));
    return RC_NO_MEMORY_BLOCK;
  }
  int r = expand_descriptor(ctx, d + 5, size - 5, sd.get(), sd_size);
  if (r != 0) return r;
  if (!apply) return 0;
  if (set_security(path, request, sd.get(), sd_size) &&
      !(request.attributes & platform::FILE_ATTR_DIRECTORY) && !ctx.test_only && ctx.quiet_level < 2)
    message(ctx, " (%ld bytes security)", static_cast<long>(sd_size));
  return 0;
}

}  // namespace

void clear_security_cache() {
  security_state& st = state();
  std::lock_guard<std::mutex> lock(st.cache_lock);
  st.cache_valid = false;
}

int apply_security_blocks(EngineContext& ctx, const char* path, const uint8_t* extra, uint32_t length) {
  if (ctx.security_level == 0 || !extra) return 0;
  const std::string target(path);
  while (length >= 4) {
    uint16_t tag = read16(extra);
    uint16_t size = read16(extra + 2);
    extra += 4;
    length -= 4;
    if (size > length) break;
    if (tag == TAG_NT_SECURITY) {
      security_request request;
      request.attributes = ctx.info ? ctx.info->file_attributes : 0;
      request.use_privileges = ctx.security_level > 1;
      bool apply = false;
      if (platform::security().nt_family()) {
        // A volume that cannot be asked is tried all the same.
        bool known = query_capabilities(ctx, path, request);
        apply = !known || request.volume.keeps_acls();
      }
      int r = apply_one_block(ctx, target, extra, size, request, apply);
      if (r != 0) return r;
    }
    extra += size;
    length -= size;
  }
  return 0;
}

void report_truncated_security(EngineContext& ctx, const char* path) {
  if (ctx.quiet_level != 0) message(ctx, "%-22s ", display_form(path).c_str());
  int first_length = ctx.extra_field_length >= 4 ? read16(ctx.extra_field + 2) : 0;
  message(ctx, " compressed WinNT security data missing (%d bytes)%s", first_length - 10,
          ctx.quiet_level != 0 ? "\n" : "");
}

void report_deferred_security(EngineContext& ctx) {
  security_state& st = state();
  unsigned long done = 0, failed = 0, done_bytes = 0, failed_bytes = 0;
  {
    std::lock_guard<std::mutex> lock(st.list_lock);
    while (!st.deferred.empty()) {
      deferred_directory node = std::move(st.deferred.front());
      st.deferred.pop_front();
      uint32_t n = static_cast<uint32_t>(node.descriptor.size());
      if (set_security(node.path, node.request, node.descriptor.data(), n)) {
        ++done;
        done_bytes += n;
      } else {
        ++failed;
        failed_bytes += n;
      }
    }
  }
  if (ctx.test_only || ctx.quiet_level >= 2) return;
  if (done) message(ctx, "    updated: %lu directory entries with %lu bytes security", done, done_bytes);
  if (failed) message(ctx, "     failed: %lu directory entries with %lu bytes security", failed, failed_bytes);
}
