// The file system as an attacker leaves it: a FIFO, a link to one or a
// device given as the archive is refused at once (never waited on); a
// target directory too long for the name buffer is refused before anything
// is written anywhere; freshening into a missing target writes nowhere, the
// current directory included. Real FIFOs, links and directories; the whole
// temporary tree is compared before and after.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <future>
#include <map>

#include "engine_fixture.h"
#include "run_engine.h"

namespace extraction_test {
namespace {

namespace stdfs = std::filesystem;

// Every path below `top` (links not followed) with what it holds.
std::map<std::string, std::string> tree_of(const std::string& top) {
  std::map<std::string, std::string> out;
  for (const auto& e : stdfs::recursive_directory_iterator(top)) {
    std::string what;
    if (e.is_symlink())
      what = "-> " + stdfs::read_symlink(e.path()).string();
    else if (e.is_directory())
      what = "dir";
    else if (e.is_regular_file()) {
      std::ifstream in(e.path(), std::ios::binary);
      what.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } else {
      what = "special";
    }
    out[e.path().string()] = what;
  }
  return out;
}

class PosixHostilePaths : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    if (std::system("command -v python3 >/dev/null 2>&1") != 0) GTEST_SKIP() << "python3 missing";
    archive_ = root_ + "a.zip";
    std::string cmd = "python3 -c 'import zipfile\nwith zipfile.ZipFile(\"" + archive_ +
                      "\", \"w\", zipfile.ZIP_DEFLATED) as z:\n z.writestr(\"hello.txt\", \"new\\n\")\n"
                      " z.writestr(\"sub/deeper.txt\", \"deeper\\n\")'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  // Runs one listing call on another thread; false when it did not come
  // back within a few seconds (the FIFO is then opened for writing, which
  // releases a reader that waits for a writer).
  bool list_within_seconds(const std::string& path, int& result, std::string& text) {
    auto call = std::async(std::launch::async, [path] {
      EngineRun run;
      run.options.list_contents = 1;
      run.options.archive_path = path.c_str();
      EngineCallbacks cb{};
      cb.print = EngineRun::print;
      cb.replace = EngineRun::replace;
      EngineRun::current() = &run;
      run.result = zipengine_run(0, nullptr, 0, nullptr, &run.options, &cb);
      EngineRun::current() = nullptr;
      return std::make_pair(run.result, run.text);
    });
    if (call.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      int fd = ::open(fifo_.c_str(), O_WRONLY);
      if (fd >= 0) ::close(fd);
      call.wait();
      return false;
    }
    auto [r, t] = call.get();
    result = r;
    text = t;
    return true;
  }

  // A real directory whose path is `length` characters long.
  std::string directory_of_length(size_t length) {
    std::string path = root_ + std::string(100, 'd') + "/" + std::string(100, 'e') + "/";
    path += std::string(length - path.size(), 'f');
    stdfs::create_directories(path);
    return path;
  }

  std::string archive_;
  std::string fifo_;
};

TEST_F(PosixHostilePaths, PipesAndDevicesAreRefusedWithoutWaiting) {
  fifo_ = root_ + "pipe";
  ASSERT_EQ(::mkfifo(fifo_.c_str(), 0600), 0);
  ASSERT_EQ(::symlink(fifo_.c_str(), (root_ + "link").c_str()), 0);
  for (const std::string& path : {fifo_, root_ + "link", std::string("/dev/null")}) {
    int result = -1;
    std::string text;
    ASSERT_TRUE(list_within_seconds(path, result, text)) << path << " was waited on";
    EXPECT_EQ(result, RC_NO_ARCHIVE) << path;
    EXPECT_NE(text.find("error:  cannot open zipfile [ " + path + " ]: not a regular file\n"), std::string::npos)
        << text;
  }
}

TEST_F(PosixHostilePaths, TargetTooLongForTheNameBufferIsRefusedBeforeAnythingIsWritten) {
  for (size_t length : {258u, 300u}) {
    const std::string target = directory_of_length(length);
    // Where a name cut to 259 characters would land: beside the target.
    const std::string beside = target.substr(0, ZIPENGINE_NAME_SIZE - 1);
    if (length >= ZIPENGINE_NAME_SIZE) write_file(beside, "precious");
    const auto before = tree_of(root_);
    EngineRun run;
    run.options.overwrite_always = 1;
    EXPECT_EQ(run.extract(archive_, target), RC_SEVERE) << length;
    EXPECT_NE(run.text.find("checkdir:  extraction directory name too long (" + std::to_string(length) +
                            " characters; at most 257): "),
              std::string::npos)
        << run.text;
    EXPECT_EQ(tree_of(root_), before) << length;
    if (length >= ZIPENGINE_NAME_SIZE) stdfs::remove(beside);
  }
  // The longest root that leaves room for a name is used: the file's name
  // is cut to fit, as the length rule says, and the directory that does not
  // fit is refused.
  const std::string target = directory_of_length(257);
  EngineRun run;
  run.options.overwrite_always = 1;
  EXPECT_EQ(run.extract(archive_, target), RC_ERROR) << run.text;
  EXPECT_EQ(read_file(target + "/h"), "new\n");
  EXPECT_NE(run.text.find("checkdir error:  path too long: " + target + "/sub\n"), std::string::npos) << run.text;

  // A name that the length rule cuts down to a blank would name the target
  // itself on Windows: refused.
  set_target_root_text(target);
  set_name(" tail");
  EXPECT_EQ(mapname(ctx_, 0), RC_SEVERE);
  EXPECT_NE(messages_.all.find("mapname:  conversion of  tail failed\n"), std::string::npos) << messages_.all;
}

TEST_F(PosixHostilePaths, FreshenIntoAMissingTargetWritesNowhere) {
  const std::string work = root_ + "work";
  stdfs::create_directory(work);
  // An older file of the same name in the current directory is what a
  // fallback to it would replace.
  write_file(work + "/hello.txt", "old");
  platform::FileTimes old_time;
  old_time.modification = platform::FileTime{946684800, 0};
  ASSERT_EQ(platform::native<platform::FileSystem>().set_times(work + "/hello.txt", old_time), platform::Error::none);
  const auto cwd = stdfs::current_path();
  stdfs::current_path(work);
  const auto before = tree_of(root_);
  EngineRun run;
  run.options.freshen = 1;
  run.options.overwrite_always = 1;
  int result = run.extract(archive_, "MISSING");
  stdfs::current_path(cwd);
  EXPECT_EQ(result, RC_ERROR);
  EXPECT_NE(run.text.find("checkdir:  extraction directory not found: MISSING\n"), std::string::npos) << run.text;
  EXPECT_EQ(tree_of(root_), before);

  // Update makes the target and extracts into it, nowhere else.
  stdfs::current_path(work);
  EngineRun update;
  update.options.extract_only_newer = 1;
  update.options.overwrite_always = 1;
  result = update.extract(archive_, "MISSING");
  stdfs::current_path(cwd);
  EXPECT_EQ(result, RC_OK) << update.text;
  EXPECT_EQ(read_file(work + "/MISSING/hello.txt"), "new\n");
  EXPECT_EQ(read_file(work + "/hello.txt"), "old");
}

}  // namespace
}  // namespace extraction_test
