// flush_output keeps the CRC and progress for every block, converts line
// ends of text entries across block boundaries, sends data to print when
// asked, and turns a short write into one disk-full message and result 50.
#include <gtest/gtest.h>

#include "crc32.h"
#include "engine_fixture.h"
#include "fakes/fake_file_system.h"
#include "output.h"

namespace extraction_test {
namespace {

std::vector<uint32_t> progress_values;

int record_progress(EngineContext&, int stage, const char*, const char*, const uint32_t* value) {
  if (stage == PROGRESS_DATA) progress_values.push_back(value ? *value : 0xFFFFFFFF);
  return 0;
}
int cancel_progress(EngineContext&, int, const char*, const char*, const uint32_t*) { return 1; }

class FlushOutput : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    progress_values.clear();
    ctx_.progress_hook = record_progress;
    set_name(root_ + "out.bin");
    ctx_.output.new_file = true;
  }
  int flush(const std::string& block) {
    return flush_output(ctx_, reinterpret_cast<const uint8_t*>(block.data()), static_cast<uint32_t>(block.size()));
  }
  std::string written() {
    ctx_.output.file.close();
    return read_file(root_ + "out.bin");
  }
};

TEST_F(FlushOutput, BinaryBlocksAreWrittenAsTheyAre) {
  ASSERT_EQ(open_output_file(ctx_), 0);
  std::string a(32768, '\r'), b("\n\x1a\0z", 4);
  EXPECT_EQ(flush(a), 0);
  EXPECT_EQ(flush(b), 0);
  EXPECT_EQ(written(), a + b);
  std::string all = a + b;
  EXPECT_EQ(ctx_.output.crc, crc32_update(0, reinterpret_cast<const uint8_t*>(all.data()), all.size()));
  EXPECT_EQ(progress_values, (std::vector<uint32_t>{32768, 4}));
}

TEST_F(FlushOutput, TextLineEndsBecomeCrLf) {
  ctx_.info->text_mode = 1;
  ASSERT_EQ(open_output_file(ctx_), 0);
  EXPECT_EQ(flush("a\r\nb\rc\nd\x1a" "e\r"), 0);
  EXPECT_EQ(flush("\nf\r"), 0);   // CR at a block end and LF at the next start: one line end
  EXPECT_EQ(flush("g\n\n"), 0);   // CR at the end, next block without LF: the CR stood alone
  EXPECT_EQ(written(), "a\r\nb\r\nc\r\nd\x1a" "e\r\nf\r\ng\r\n\r\n");
  // The CRC and the progress values are those of the data before conversion.
  std::string raw = "a\r\nb\rc\nd\x1a" "e\r\nf\rg\n\n";
  EXPECT_EQ(ctx_.output.crc, crc32_update(0, reinterpret_cast<const uint8_t*>(raw.data()), raw.size()));
  EXPECT_EQ(progress_values, (std::vector<uint32_t>{11, 3, 3}));
}

TEST_F(FlushOutput, ANewEntryForgetsTheLastEntrysCr) {
  ctx_.info->text_mode = 1;
  ASSERT_EQ(open_output_file(ctx_), 0);
  EXPECT_EQ(flush("x\r"), 0);
  ctx_.output.new_file = true;
  EXPECT_EQ(flush("\ny"), 0);
  EXPECT_EQ(written(), "x\r\n\r\ny");
}

TEST_F(FlushOutput, EmptyFlushStillReportsProgress) {
  ASSERT_EQ(open_output_file(ctx_), 0);
  ctx_.output.crc = 0x1234;
  EXPECT_EQ(flush_output(ctx_, nullptr, 0), 0);
  EXPECT_EQ(progress_values, std::vector<uint32_t>{0});
  EXPECT_EQ(ctx_.output.crc, 0x1234u);
  EXPECT_EQ(written(), "");
}

TEST_F(FlushOutput, TestModeComputesTheCrcAndTouchesNoFile) {
  ctx_.test_only = 1;
  EXPECT_EQ(flush("abc"), 0);
  EXPECT_EQ(ctx_.output.crc, 0x352441C2u);
  EXPECT_EQ(progress_values, std::vector<uint32_t>{3});
  EXPECT_EQ(kind(root_ + "out.bin"), platform::FileKind::missing);
}

TEST_F(FlushOutput, CancelAtProgressStopsBeforeWriting) {
  ASSERT_EQ(open_output_file(ctx_), 0);
  ctx_.progress_hook = cancel_progress;
  EXPECT_EQ(flush("abc"), 80);
  EXPECT_EQ(written(), "");
}

TEST_F(FlushOutput, DataToPrintGoesToThePrintRoute) {
  ctx_.data_to_print = 1;
  ctx_.info->text_mode = 1;
  EXPECT_EQ(flush("l1\nl2"), 0);
  EXPECT_EQ(messages_.all, "l1\r\nl2");
  EXPECT_EQ(kind(root_ + "out.bin"), platform::FileKind::missing);
}

TEST_F(FlushOutput, FailedWriteIsReportedOnceAsDiskFull) {
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  ASSERT_EQ(open_output_file(ctx_), 0);
  EXPECT_EQ(flush("good"), 0);
  fs.fail_always(fakes::FsOp::write, platform::Error::disk_full);
  EXPECT_EQ(flush("lost"), 50);
  EXPECT_EQ(ctx_.output.disk_full, 2);
  EXPECT_EQ(flush("more"), 50);
  EXPECT_EQ(messages_.all, root_ + "out.bin:  write error (disk full?).\n");
  EXPECT_EQ(fs.calls(fakes::FsOp::write), 2);
  ctx_.output.file.close();
}

TEST_F(FlushOutput, OldFilesAreReplacedEvenWhenReadOnly) {
  write_file(root_ + "out.bin", "old contents");
  auto& fs = platform::native<platform::FileSystem>();
  ASSERT_EQ(fs.set_attributes(root_ + "out.bin", platform::FILE_ATTR_READONLY), platform::Error::none);
  ASSERT_EQ(open_output_file(ctx_), 0);
  EXPECT_EQ(flush("new"), 0);
  EXPECT_EQ(written(), "new");
  EXPECT_EQ(messages_.all, "");
}

TEST_F(FlushOutput, UnremovableOldNameIsReported) {
  auto& fs = platform::native<platform::FileSystem>();
  ASSERT_EQ(fs.create_directory(root_ + "out.bin"), platform::Error::none);
  EXPECT_EQ(open_output_file(ctx_), 1);
  EXPECT_EQ(messages_.all, "error:  cannot delete old " + root_ + "out.bin\n");
  messages_.all.clear();
  set_name(root_ + "no/such/dir/f");
  EXPECT_EQ(open_output_file(ctx_), 1);
  EXPECT_EQ(messages_.all, "error:  cannot create " + root_ + "no/such/dir/f\n");
}

}  // namespace
}  // namespace extraction_test
