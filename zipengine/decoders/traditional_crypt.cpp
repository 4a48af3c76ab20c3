// Portable. Traditional decryption of an entry: the key set-up, the test of
// a password against the encryption header, and the password dialogue.
#include "traditional_crypt.h"

#include <cstdlib>
#include <cstring>
#include <string>

#include "input.h"
#include "platform/code_page.h"

namespace {

constexpr int HEADER_SIZE = 12;

// The byte the header's last plain byte must equal.
uint8_t check_byte(const EngineContext& ctx) {
  if (ctx.local.flags & 0x0008) return static_cast<uint8_t>(ctx.local.dos_time >> 8);
  return static_cast<uint8_t>(ctx.local.crc32 >> 24);
}

// Tests one password text. On a match the keys are left ready for the
// entry's data and the bytes already buffered are decrypted.
bool test_one(EngineContext& ctx, const uint8_t* header, const char* password) {
  crypt_init_keys(ctx, password);
  uint8_t plain = 0;
  for (int i = 0; i < HEADER_SIZE; ++i) {
    plain = static_cast<uint8_t>(header[i] ^ crypt_decrypt_byte(ctx));
    crypt_update_keys(ctx, plain);
  }
  if (plain != check_byte(ctx)) return false;
  // Every buffered unread byte belongs to the entry (what lies beyond it
  // was set aside), and none of them has been decrypted yet: later refills
  // are decrypted by the byte reader as they come in.
  uint8_t* p = ctx.read_ptr;
  for (int32_t n = ctx.unread_count; n > 0; --n, ++p) {
    *p = static_cast<uint8_t>(*p ^ crypt_decrypt_byte(ctx));
    crypt_update_keys(ctx, *p);
  }
  return true;
}

// The password arrives in UTF-8. Windows archivers wrote it in the ANSI
// code page, a console of an older system in OEM, newer tools in UTF-8:
// each different form is tried once, in that order (on POSIX ANSI is UTF-8).
bool test_password(EngineContext& ctx, const uint8_t* header, const char* password) {
  platform::CodePage& cp = platform::code_page();
  const std::string ansi = cp.utf8_to_ansi(password);
  if (ansi.size() < ZIPENGINE_PASSWORD_SIZE && test_one(ctx, header, ansi.c_str())) return true;
  char oem[ZIPENGINE_PASSWORD_SIZE];
  size_t written = 0;
  if (cp.utf8_to_oem(password, oem, sizeof oem, written) == platform::Error::none && ansi != oem &&
      test_one(ctx, header, oem))
    return true;
  return ansi != password && test_one(ctx, header, password);
}

void drop_password(EngineContext& ctx) {
  std::free(ctx.password);
  ctx.password = nullptr;
}

}  // namespace

void crypt_init_keys(EngineContext& ctx, const char* password) {
  ctx.decoder.keys[0] = 0x12345678u;
  ctx.decoder.keys[1] = 0x23456789u;
  ctx.decoder.keys[2] = 0x34567890u;
  for (const char* p = password; *p; ++p) crypt_update_keys(ctx, static_cast<uint8_t>(*p));
}

int decrypt_entry_header(EngineContext& ctx) {
  uint8_t header[HEADER_SIZE];
  ctx.input_encrypted = 0;
  for (int i = 0; i < HEADER_SIZE; ++i) header[i] = static_cast<uint8_t>(read_entry_byte(ctx));
  ctx.input_encrypted = 1;

  // No password carries over from one archive to the next.
  if (ctx.decoder.new_archive) {
    ctx.decoder.new_archive = false;
    drop_password(ctx);
  }
  if (ctx.password) {
    if (test_password(ctx, header, ctx.password)) return 0;
    if (ctx.no_more_passwords) return 1;
  } else {
    ctx.password = static_cast<char*>(std::calloc(ZIPENGINE_PASSWORD_SIZE, 1));
    if (!ctx.password) return RC_NO_MEMORY_PASSWORD;
  }

  // The hook decides how many attempts remain through the counter.
  int retry = 0;
  do {
    int answer = ctx.password_hook ? ctx.password_hook(ctx, &retry, ctx.password, ZIPENGINE_PASSWORD_SIZE,
                                                       ctx.current_archive, ctx.output_name)
                                   : 1;
    if (answer == RC_NO_MEMORY_PASSWORD) {
      drop_password(ctx);
      return RC_NO_MEMORY_PASSWORD;
    }
    ctx.password[ZIPENGINE_PASSWORD_SIZE - 1] = '\0';
    if (answer != 0) {
      ctx.password[0] = '\0';
      retry = 0;
    }
    if (test_password(ctx, header, ctx.password)) return 0;
    if (answer == -2) ctx.no_more_passwords = 1;
  } while (retry > 0);
  return 1;
}
