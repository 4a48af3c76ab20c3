// Structural check of a self-relative Windows security descriptor as stored
// in an archive: every offset and length stays inside the block, and the
// access control lists and security identifiers it points to are well
// formed. Done on every platform, before anything is handed to the OS.
#include <cstdint>

#include "file_metadata.h"

namespace {

constexpr uint16_t SE_DACL_PRESENT = 0x0004;
constexpr uint16_t SE_SACL_PRESENT = 0x0010;
constexpr uint16_t SE_SELF_RELATIVE = 0x8000;
constexpr uint32_t HEADER_SIZE = 20;
constexpr uint8_t MAX_SUB_AUTHORITIES = 15;

uint16_t read16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t read32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

// A security identifier of at most `room` bytes at p; its length on success.
bool valid_sid(const uint8_t* p, uint32_t room, uint32_t& length) {
  if (room < 8 || p[0] != 1 || p[1] > MAX_SUB_AUTHORITIES) return false;
  length = 8 + 4u * p[1];
  return length <= room;
}

bool valid_acl(const uint8_t* p, uint32_t room) {
  if (room < 8) return false;
  uint8_t revision = p[0];
  uint16_t size = read16(p + 2);
  uint16_t count = read16(p + 4);
  if (revision < 2 || revision > 4 || size < 8 || size > room) return false;
  uint32_t at = 8;
  for (uint16_t i = 0; i < count; ++i) {
    if (at + 4 > size) return false;
    uint8_t type = p[at];
    uint16_t ace_size = read16(p + at + 2);
    if (ace_size < 4 || at + ace_size > size) return false;
    // The four basic ACE types hold a mask and then one identifier.
    if (type <= 3) {
      uint32_t sid_length = 0;
      if (ace_size < 8 || !valid_sid(p + at + 8, ace_size - 8, sid_length)) return false;
    }
    at += ace_size;
  }
  return true;
}

}  // namespace

bool validate_security(const uint8_t* sd, uint32_t length) {
  if (!sd || length < HEADER_SIZE) return false;
  if (sd[0] != 1) return false;
  uint16_t control = read16(sd + 2);
  if (!(control & SE_SELF_RELATIVE)) return false;
  uint32_t owner = read32(sd + 4), group = read32(sd + 8), sacl = read32(sd + 12), dacl = read32(sd + 16);
  for (uint32_t offset : {owner, group}) {
    if (offset == 0) continue;
    uint32_t sid_length = 0;
    if (offset < HEADER_SIZE || offset >= length || !valid_sid(sd + offset, length - offset, sid_length))
      return false;
  }
  if ((control & SE_SACL_PRESENT) && sacl != 0 &&
      (sacl < HEADER_SIZE || sacl >= length || !valid_acl(sd + sacl, length - sacl)))
    return false;
  if ((control & SE_DACL_PRESENT) && dacl != 0 &&
      (dacl < HEADER_SIZE || dacl >= length || !valid_acl(sd + dacl, length - dacl)))
    return false;
  return true;
}

// The descriptor's control word says which parts it carries.
bool security_has_dacl(const uint8_t* sd, uint32_t length) {
  return length >= HEADER_SIZE && (read16(sd + 2) & SE_DACL_PRESENT) != 0;
}
bool security_has_sacl(const uint8_t* sd, uint32_t length) {
  return length >= HEADER_SIZE && (read16(sd + 2) & SE_SACL_PRESENT) != 0;
}
