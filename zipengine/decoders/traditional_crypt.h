// Portable. The traditional PKWARE cipher (the "ZipCrypto" of the ZIP
// application note): three 32-bit keys stepped by every plain byte.
#pragma once

#include <cstdint>

#include "context.h"
#include "crc32.h"

// Sets the keys to their start values and feeds them the password.
void crypt_init_keys(EngineContext& ctx, const char* password);

// Steps the keys with one plain byte.
inline void crypt_update_keys(EngineContext& ctx, uint8_t c) {
  const uint32_t* table = crc32_table();
  uint32_t* k = ctx.decoder.keys;
  k[0] = crc32_step(table, k[0], c);
  k[1] = (k[1] + (k[0] & 0xFF)) * 134775813u + 1;
  k[2] = crc32_step(table, k[2], static_cast<uint8_t>(k[1] >> 24));
}

// The key-stream byte for the next cipher byte: plain = cipher ^ this, and
// then crypt_update_keys(plain).
inline uint8_t crypt_decrypt_byte(const EngineContext& ctx) {
  uint32_t t = (ctx.decoder.keys[2] & 0xFFFF) | 2;
  return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
}

// Reads the entry's 12-byte encryption header and finds a password that
// fits it, asking through the password hook when needed: 0 accepted (the
// data is ready to decrypt), 1 no valid password (skip the entry), 5 out of
// memory or the password callback failed.
int decrypt_entry_header(EngineContext& ctx);
