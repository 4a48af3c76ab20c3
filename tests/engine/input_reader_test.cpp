// The entry byte reader stays inside its entry: it stops at the end of the
// entry's data (also across blocks and through the bulk refill), gives the
// bytes beyond back afterwards, refuses seeks before the file start and
// turns a read error into the recovery exception.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "context.h"
#include "engine_harness.h"
#include "fakes/fake_file_system.h"
#include "input.h"
#include "platform/file.h"

using namespace engine_test;

namespace {

std::string g_messages;
int keep_message(EngineContext&, const char* text, uint32_t length, unsigned) {
  g_messages.append(text, length);
  return 0;
}

uint8_t pattern_byte(int64_t offset) { return static_cast<uint8_t>((offset * 31 + 7) & 0xFF); }

class InputReader : public ::testing::Test {
 protected:
  fakes::TempDir dir{"input"};
  std::unique_ptr<EngineContext> ctx;

  void SetUp() override {
    std::string data(50000, '\0');
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(pattern_byte(static_cast<int64_t>(i)));
    write_file(join(dir, "data.bin"), data);
    g_messages.clear();
  }

  void open() {
    ctx = std::make_unique<EngineContext>();
    ctx->message_hook = keep_message;
    ctx->current_archive = "data.bin";
    ctx->input_buffer = static_cast<uint8_t*>(std::malloc(INPUT_BUFFER_SIZE + INPUT_HOLD_SIZE));
    ctx->read_ptr = ctx->input_buffer;
    ctx->archive_file = std::make_unique<platform::File>();
    ASSERT_EQ(platform::file_system().open_read(join(dir, "data.bin"), *ctx->archive_file), platform::Error::none);
  }

  // Positions at `offset` as the entry walk does.
  void start_entry(int64_t offset, int64_t size) {
    ASSERT_EQ(seek_archive(*ctx, offset), RC_OK);
    begin_entry_data(*ctx, size);
  }

  uint8_t next_block_byte() {
    uint8_t b = 0;
    EXPECT_EQ(read_block(*ctx, &b, 1), 1u);
    return b;
  }
};

TEST_F(InputReader, EntryEndingInsideTheBlockLeavesTheNextHeaderIntact) {
  open();
  start_entry(50, 100);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(read_entry_byte(*ctx), pattern_byte(50 + i)) << i;
  EXPECT_EQ(read_entry_byte(*ctx), INPUT_EOF);
  EXPECT_EQ(ctx->remaining_compressed, -1);  // one read past the end is visible
  restore_deferred_input(*ctx);
  EXPECT_EQ(next_block_byte(), pattern_byte(150));
}

TEST_F(InputReader, EntrySpanningBlocksIsReadWholeThenStops) {
  open();
  start_entry(8000, 20000);
  for (int i = 0; i < 20000; ++i) ASSERT_EQ(read_entry_byte(*ctx), pattern_byte(8000 + i)) << i;
  EXPECT_EQ(read_entry_byte(*ctx), INPUT_EOF);
  EXPECT_EQ(read_entry_byte(*ctx), INPUT_EOF);
  restore_deferred_input(*ctx);
  EXPECT_EQ(next_block_byte(), pattern_byte(28000));
}

TEST_F(InputReader, BulkRefillHandsOutTheSameBytes) {
  open();
  start_entry(100, 30000);
  int64_t offset = 100;
  while (refill_entry_input(*ctx)) {
    ASSERT_GT(ctx->unread_count, 0);
    // Take at most 777 bytes at a time, as a decoder with its own buffer would.
    int32_t take = std::min<int32_t>(ctx->unread_count, 777);
    for (int32_t i = 0; i < take; ++i) ASSERT_EQ(ctx->read_ptr[i], pattern_byte(offset + i));
    ctx->read_ptr += take;
    ctx->unread_count -= take;
    offset += take;
  }
  EXPECT_EQ(offset, 30100);
  EXPECT_EQ(ctx->remaining_compressed, -1);
  restore_deferred_input(*ctx);
  EXPECT_EQ(next_block_byte(), pattern_byte(30100));
}

TEST_F(InputReader, PartlyConsumedEntryGivesBackWhatWasNotRead) {
  open();
  start_entry(50, 100);
  for (int i = 0; i < 30; ++i) read_entry_byte(*ctx);
  restore_deferred_input(*ctx);
  EXPECT_EQ(next_block_byte(), pattern_byte(80));
}

TEST_F(InputReader, EntryRunningIntoTheEndOfTheFileStops) {
  open();
  start_entry(49990, 100);  // claims more than the file holds
  for (int i = 0; i < 10; ++i) ASSERT_EQ(read_entry_byte(*ctx), pattern_byte(49990 + i));
  EXPECT_EQ(read_entry_byte(*ctx), INPUT_EOF);
  uint8_t buf[16];
  EXPECT_EQ(read_block(*ctx, buf, sizeof buf), 0u);
}

TEST_F(InputReader, MemoryInputEndsAtOnce) {
  open();
  start_entry(0, 1000);
  uint8_t block[3] = {1, 2, 3};
  ctx->memory_input = 1;
  ctx->read_ptr = block;
  ctx->unread_count = 3;
  EXPECT_EQ(read_entry_byte(*ctx), 1);
  EXPECT_EQ(read_entry_byte(*ctx), 2);
  EXPECT_EQ(read_entry_byte(*ctx), 3);
  EXPECT_EQ(read_entry_byte(*ctx), INPUT_EOF);
  EXPECT_FALSE(refill_entry_input(*ctx));
}

TEST_F(InputReader, SeeksBeforeTheFileStartAreRefused) {
  open();
  ctx->preceding_bytes = -100;
  EXPECT_EQ(seek_archive(*ctx, 50), RC_SEVERE);
  EXPECT_EQ(g_messages,
            "error [data.bin]:  attempt to seek before beginning of zipfile\n"
            "  (please check that you have transferred or created the zipfile in the\n"
            "  appropriate BINARY mode and that you have built the engine properly)\n");
  ctx->preceding_bytes = 0;
  EXPECT_EQ(seek_archive(*ctx, 60000), RC_EARLY_EOF);
  EXPECT_EQ(seek_archive(*ctx, 100), RC_OK);
  EXPECT_EQ(next_block_byte(), pattern_byte(100));
}

TEST_F(InputReader, ReadErrorInTheByteReaderThrowsTheRecovery) {
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  open();
  start_entry(100, 30000);
  fs.fail(fakes::FsOp::read, 1, platform::Error::io);
  bool thrown = false;
  try {
    for (int i = 0; i < 30000; ++i) read_entry_byte(*ctx);
  } catch (const input_read_error&) {
    thrown = true;
  }
  EXPECT_TRUE(thrown);
  EXPECT_EQ(g_messages, "error:  zipfile read error\n");
  ctx.reset();  // the file closes through the fake while it still exists
}

TEST_F(InputReader, ReadErrorInTheBlockReadDeliversNothing) {
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  open();
  ASSERT_EQ(seek_archive(*ctx, 8000), RC_OK);
  fs.fail(fakes::FsOp::read, 1, platform::Error::io);
  uint8_t buf[500];
  EXPECT_EQ(read_block(*ctx, buf, sizeof buf), 0u);
  EXPECT_EQ(g_messages, "error:  zipfile read error\n");
  ctx.reset();
}

}  // namespace
