// decrypt_entry_header on real engine state: the password dialogue through
// the hook (attempt counter, cancel, skip-all, failure, no hook), the OEM
// retry, the check byte with and without a data descriptor, the password
// held across entries and dropped at a new archive, and that every buffered
// byte of a small entry is decrypted before it is inflated.
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "context.h"
#include "platform/code_page.h"
#include "decoder_state.h"
#include "decoders/deflate_writer.h"
#include "decoders/zipcrypto_writer.h"
#include "inflate.h"
#include "traditional_crypt.h"

namespace {

// The answers the caller gives, in order, and what the hook saw.
struct dialogue {
  std::vector<std::pair<int, std::string>> answers;
  size_t next = 0;
  std::vector<std::string> prompts;
};
dialogue* g_dialogue = nullptr;

// Behaves as the engine's hook: the counter starts the entry's attempts.
int scripted_hook(EngineContext&, int* retry, char* buffer, int size, const char*, const char*) {
  g_dialogue->prompts.push_back(*retry == 0 ? "Enter password for: " : "Password incorrect--reenter: ");
  if (*retry == 0) *retry = 2;
  else --*retry;
  if (g_dialogue->next >= g_dialogue->answers.size()) return 1;
  auto [answer, text] = g_dialogue->answers[g_dialogue->next++];
  std::snprintf(buffer, static_cast<size_t>(size), "%s", text.c_str());
  return answer;
}

// "hello, hello, hello" as one fixed Deflate block.
std::vector<uint8_t> small_deflate() {
  deflate_writer w;
  w.block_header(true, 1);
  for (char c : std::string("hello, ")) w.fixed_symbol(static_cast<unsigned char>(c));
  w.fixed_symbol(265);  // length 11..12
  w.put_bits(1, 1);     // +1: 12
  w.fixed_distance_code(5);  // distance 7..8
  w.put_bits(0, 1);          // 7
  w.fixed_symbol(256);
  return w.finish();
}

struct engine_entry {
  std::unique_ptr<EngineContext> ctx = std::make_unique<EngineContext>();
  std::vector<uint8_t> stored;  // encryption header + encrypted data
  dialogue d;
  uint8_t out[256];

  engine_entry() {
    g_dialogue = &d;
    ctx->password_hook = scripted_hook;
  }
  ~engine_entry() { g_dialogue = nullptr; }

  // Puts an encrypted entry in the input, as the byte reader will see it.
  void entry(const std::string& password, bool data_descriptor = false) {
    ctx->local.crc32 = 0xA1B2C3D4u;
    ctx->local.dos_time = 0x58215E77u;
    ctx->local.flags = static_cast<uint16_t>(1 | (data_descriptor ? 8 : 0));
    uint8_t check = data_descriptor ? 0x5E : 0xA1;
    zipcrypto_writer z(password);
    stored = z.encrypt_entry(small_deflate(), check);
    ctx->read_ptr = stored.data();
    ctx->unread_count = static_cast<int32_t>(stored.size());
    ctx->remaining_compressed = 0;  // the whole entry is in the buffer
    ctx->memory_input = 1;
  }
  std::string inflated() {
    ctx->decoder.memory_output = true;
    ctx->decoder.memory_target = out;
    ctx->decoder.memory_room = sizeof out;
    ctx->decoder.memory_produced = 0;
    int r = inflate_entry(*ctx);
    ctx->decoder.memory_output = false;
    if (r != 0) return "inflate result " + std::to_string(r);
    return std::string(reinterpret_cast<char*>(out), ctx->decoder.memory_produced);
  }
};

}  // namespace

TEST(DecryptPasswordDialogue, RightPasswordAtTheThirdAttempt) {
  engine_entry e;
  e.entry("secret");
  e.d.answers = {{0, "wrong"}, {0, "Secret"}, {0, "secret"}};
  ASSERT_EQ(decrypt_entry_header(*e.ctx), 0);
  EXPECT_EQ(e.d.prompts, (std::vector<std::string>{"Enter password for: ", "Password incorrect--reenter: ",
                                                   "Password incorrect--reenter: "}));
  EXPECT_EQ(e.inflated(), "hello, hello, hello");
}

TEST(DecryptPasswordDialogue, ThreeWrongAnswersSkipTheEntry) {
  engine_entry e;
  e.entry("secret");
  e.d.answers = {{0, "a"}, {0, "b"}, {0, "c"}, {0, "secret"}};
  EXPECT_EQ(decrypt_entry_header(*e.ctx), 1);
  EXPECT_EQ(e.d.next, 3u);
}

TEST(DecryptPasswordDialogue, HeldPasswordServesTheNextEntryOfTheArchive) {
  engine_entry e;
  e.entry("secret");
  e.d.answers = {{0, "secret"}};
  ASSERT_EQ(decrypt_entry_header(*e.ctx), 0);
  e.entry("secret", true);  // checked against the time's high byte
  ASSERT_EQ(decrypt_entry_header(*e.ctx), 0);
  EXPECT_EQ(e.d.next, 1u);
  EXPECT_EQ(e.inflated(), "hello, hello, hello");
  // A new archive starts without it.
  e.ctx->decoder.new_archive = true;
  e.entry("secret");
  e.d.answers.push_back({0, "secret"});
  ASSERT_EQ(decrypt_entry_header(*e.ctx), 0);
  EXPECT_EQ(e.d.next, 2u);
}

TEST(DecryptPasswordDialogue, CancelSkipAllFailureAndNoHook) {
  {
    engine_entry e;  // cancel: the empty password is tried once
    e.entry("");
    e.d.answers = {{1, "ignored"}};
    EXPECT_EQ(decrypt_entry_header(*e.ctx), 0);
    EXPECT_EQ(e.d.next, 1u);
  }
  {
    engine_entry e;  // skip all: no more prompts while the (empty) password is held
    e.entry("secret");
    e.d.answers = {{-2, ""}, {0, "secret"}};
    EXPECT_EQ(decrypt_entry_header(*e.ctx), 1);
    EXPECT_EQ(e.ctx->no_more_passwords, 1);
    e.entry("secret");
    EXPECT_EQ(decrypt_entry_header(*e.ctx), 1);
    EXPECT_EQ(e.d.next, 1u);
  }
  {
    engine_entry e;  // the callback failed
    e.entry("secret");
    e.d.answers = {{5, ""}};
    EXPECT_EQ(decrypt_entry_header(*e.ctx), 5);
    EXPECT_EQ(e.ctx->password, nullptr);
  }
  {
    engine_entry e;  // no hook at all acts as a cancel
    e.entry("secret");
    e.ctx->password_hook = nullptr;
    EXPECT_EQ(decrypt_entry_header(*e.ctx), 1);
  }
}

TEST(DecryptPasswordDialogue, PasswordRightOnlyInTheOemCodePage) {
  engine_entry e;
  const std::string oem = "gr\x81n";  // "grün" in code page 437
  e.entry(oem);
  e.d.answers = {{0, platform::code_page().oem_to_utf8_string(oem)}};  // as typed
  ASSERT_EQ(decrypt_entry_header(*e.ctx), 0);
  EXPECT_EQ(e.d.next, 1u);
  EXPECT_EQ(e.inflated(), "hello, hello, hello");
}

TEST(MemoryFlush, CopiesWhatFitsAndRefusesTheRest) {
  auto ctx = std::make_unique<EngineContext>();
  uint8_t target[8] = {};
  ctx->decoder.memory_target = target;
  ctx->decoder.memory_room = 8;
  const uint8_t a[5] = {1, 2, 3, 4, 5};
  EXPECT_EQ(memory_flush(*ctx, a, 5), 0);
  EXPECT_EQ(memory_flush(*ctx, a, 4), RC_DISK_FULL);
  EXPECT_EQ(memory_flush(*ctx, a, 3), 0);
  EXPECT_EQ(ctx->decoder.memory_produced, 8u);
  EXPECT_EQ(target[7], 3);
  // A whole in-memory expansion keeps the archive input as it was.
  auto packed = small_deflate();
  uint8_t out[64];
  uint32_t produced = 0;
  uint8_t dummy = 0;
  ctx->read_ptr = &dummy;
  ctx->unread_count = -3;
  EXPECT_EQ(inflate_to_memory(*ctx, packed.data(), static_cast<uint32_t>(packed.size()), out, 64, &produced), 0);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out), produced), "hello, hello, hello");
  EXPECT_EQ(ctx->read_ptr, &dummy);
  EXPECT_EQ(ctx->unread_count, -3);
  EXPECT_EQ(inflate_to_memory(*ctx, packed.data(), static_cast<uint32_t>(packed.size()), out, 10, &produced),
            RC_DISK_FULL);
}
