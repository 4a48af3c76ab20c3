// The run sequences in-process with fake services: the IA64 WOW64 refusal
// in every mode, the exit code of a graphical run, the dots of console
// progress, the progress share and Cancel as the engine sees them, nested
// archives that do not fit or are aimed outside, and an interruption.
#include "engine_calls.h"
#include "fakes/fake_file_system.h"
#include "installer_process.h"
#include "launcher_test_support.h"
#include "platform/interruption.h"
#include "run_sequence.h"

#include <cstdlib>

using launcher::State;
using launcher_test::LauncherTest;

class RunSequence : public LauncherTest {
 protected:
  launcher_test::RecordingDialogs dialogs_;
  launcher_test::CountingConsole console_;
  launcher_test::FixedSystemInfo ia64_{true};
  platform::ScopedService<platform::Dialogs> use_dialogs_{dialogs_};
  platform::ScopedService<platform::Console> use_console_{console_};
};

TEST_F(RunSequence, Ia64Wow64IsRefusedBeforeAnythingIsExtracted) {
  platform::ScopedService<platform::SystemInfo> use(ia64_);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(launcher::LauncherMain({"stub", "-mode=console", "-Djava.io.tmpdir=" + dir_.path()}), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "ERROR: This Qel installer can not be executed in an IA64 WOW64 environment.\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "\n...Installation failed. Press any key to close this window...\n");
  EXPECT_EQ(console_.setups, 1);
  EXPECT_EQ(console_.key_waits, 1);
  std::vector<platform::DirectoryEntry> entries;
  platform::native<platform::FileSystem>().list_directory(dir_.path(), entries);
  EXPECT_EQ(entries.size(), 2u);

  launcher::ResetState();
  testing::internal::CaptureStderr();
  EXPECT_EQ(launcher::LauncherMain({"stub", "-mode=silent"}), -1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(console_.key_waits, 1);  // silent mode never waits

  launcher::ResetState();
  EXPECT_EQ(launcher::LauncherMain({"stub"}), -1);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].request.text, "This Qel installer can not be executed in an IA64 WOW64 environment.");
  EXPECT_FALSE(dialogs_.boxes[0].request.title.has_value());  // the system's default title
  EXPECT_EQ(dialogs_.boxes[0].request.icon, platform::MessageIcon::error);
  EXPECT_FALSE(dialogs_.boxes[0].owned);
}

TEST_F(RunSequence, GraphicalModeExitsZeroUnlessTheDialogCouldNotBeShown) {
  for (int result : {platform::DIALOG_OK, platform::DIALOG_CANCEL}) {
    launcher::ResetState();
    dialogs_.modal_result = result;
    testing::internal::CaptureStderr();
    EXPECT_EQ(launcher::LauncherMain({"stub", "-log=x"}), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  }
  EXPECT_TRUE(dialogs_.boxes.empty());

  // No display: nothing ran, so the run must not pass for a success.
  launcher::ResetState();
  dialogs_.modal_result = platform::DIALOG_FAILED;
  testing::internal::CaptureStderr();
  EXPECT_EQ(launcher::LauncherMain({"stub"}), -1);
  const std::string text =
      "Could not show the installer window. Without a display, start the installer with -mode=console or "
      "-mode=silent.";
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "**** " + text + "\n");
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].request.text, text);
  EXPECT_EQ(dialogs_.boxes[0].request.title.value_or(""), "ERROR");
  EXPECT_FALSE(dialogs_.boxes[0].owned);
  EXPECT_EQ(dialogs_.modal_runs, 3);
  EXPECT_EQ(console_.setups, 0);
}

TEST_F(RunSequence, ConsoleDotsFollowThePercentAndStartAgainAfterAHundred) {
  testing::internal::CaptureStdout();
  launcher::PrintProgressDots("a", 0);
  launcher::PrintProgressDots("a", 37);
  launcher::PrintProgressDots("a", 37);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(37, '.'));
  testing::internal::CaptureStdout();
  launcher::PrintProgressDots("b", 100);
  launcher::PrintProgressDots("c", 5);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), std::string(63, '.') + std::string(5, '.'));
}

namespace {
std::vector<int> g_percents;
void RecordPercent(const char*, int percent) { g_percents.push_back(percent); }
}  // namespace

TEST_F(RunSequence, ProgressIsTheShareOfTheListedTotalAndCancelStopsTheEngine) {
  g_percents.clear();
  State().progress_display = RecordPercent;
  State().payload_total = 3;
  EXPECT_EQ(launcher::ReportPayloadProgress("x", PROGRESS_START, 99), 0);
  EXPECT_EQ(launcher::ReportPayloadProgress("x", PROGRESS_DATA, 1), 0);
  EXPECT_EQ(launcher::ReportPayloadProgress("x", PROGRESS_DATA, 1), 0);
  State().cancel_requested = 1;
  EXPECT_EQ(launcher::ReportPayloadProgress("x", PROGRESS_DATA, 1), 1);
  EXPECT_EQ(g_percents, (std::vector<int>{33, 66, 100}));
  // A listing that reported nothing: no division by zero.
  State().payload_total = 0;
  State().cancel_requested = 0;
  EXPECT_EQ(launcher::ReportPayloadProgress("x", PROGRESS_DATA, 10), 0);
  EXPECT_EQ(g_percents.back(), 100);
}

namespace {
int g_engine_calls = 0;
int ListTenMebibytes(int, const char* const*, int, const char* const*, const EngineOptions* options,
                     EngineCallbacks* callbacks) {
  ++g_engine_calls;
  if (options->list_contents) callbacks->list_entry64(10u << 20, 0, 0, 0, 0, 0, 0, 0, ' ', "x", "", 0, ' ');
  return 0;
}
}  // namespace

namespace {
// Two entries of 3 GiB: their sum wraps in 32 bits.
int ListSixGibibytes(int, const char* const*, int, const char* const*, const EngineOptions* options,
                     EngineCallbacks* callbacks) {
  if (options->list_contents)
    for (const char* name : {"a", "b"}) callbacks->list_entry64(3ull << 30, 0, 0, 0, 0, 0, 0, 0, ' ', name, "", 0, ' ');
  return 0;
}
}  // namespace

TEST_F(RunSequence, PayloadTotalAndProgressHoldBeyondFourGibibytes) {
  launcher::SetEngineEntry(ListSixGibibytes);
  State().payload_total = 0;
  ASSERT_EQ(launcher::QueryArchive(), 0);
  EXPECT_EQ(State().payload_total, 6ull << 30);
  g_percents.clear();
  State().progress_display = RecordPercent;
  State().payload_written = (3ull << 30) - 0x10000;
  EXPECT_EQ(launcher::ReportPayloadProgress("a", PROGRESS_DATA, 0x10000), 0);
  EXPECT_EQ(g_percents, (std::vector<int>{50}));
  launcher::SetEngineEntry(nullptr);
}

TEST_F(RunSequence, NestedArchivesThatDoNotFitStartNothing) {
  // (The requirement is summed in 64 bits: 5 GiB of payload and 2 x 10 MiB
  // nested give 5140M, not a total wrapped at 4 GiB.)
  fakes::FakeFileSystem fs;
  platform::ScopedService<platform::FileSystem> use(fs);
  fs.fail_always(fakes::FsOp::free_space, platform::Error::io);
  launcher::SetEngineEntry(ListTenMebibytes);
  g_engine_calls = 0;
  State().mode = launcher::LAUNCH_SILENT;
  State().temp_base = dir_.path();
  State().payload_total = 5ull << 30;
  State().nested_enabled = true;
  State().nested_archives = "a.zip,b.zip";
  State().launch_command = "no-such-program";
  testing::internal::CaptureStderr();
  EXPECT_EQ(launcher::LaunchInstaller(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\nThe directory \"" + dir_.path() + "\" does not have enough space. 5140M diskspace space is required.\n");
  EXPECT_EQ(g_engine_calls, 2);  // both listed, neither extracted
  EXPECT_TRUE(State().launch_refused);

  State().mode = launcher::LAUNCH_GUI;
  EXPECT_EQ(launcher::LaunchInstaller(), 0);
  ASSERT_EQ(dialogs_.boxes.size(), 1u);
  EXPECT_EQ(dialogs_.boxes[0].request.icon, platform::MessageIcon::exclamation);
  EXPECT_EQ(dialogs_.boxes[0].request.title.value_or("").rfind("launcher_tests", 0), 0u);

  // Cancelled before the launch: nothing at all.
  State().cancel_requested = 1;
  g_engine_calls = 0;
  EXPECT_EQ(launcher::LaunchInstaller(), 0);
  EXPECT_EQ(g_engine_calls, 0);
  launcher::SetEngineEntry(nullptr);
}

TEST_F(RunSequence, NestedTargetOutsideTheExtractionDirectoryIsRefusedBeforeAnyCall) {
  launcher::SetEngineEntry(ListTenMebibytes);
  g_engine_calls = 0;
  const std::string ex = Path("sfx9"), outside = Path("outside");
  MakeDir(ex);
  MakeDir(outside);
  ASSERT_EQ(platform::native<platform::FileSystem>().set_current_directory(ex), platform::Error::none);
  State().mode = launcher::LAUNCH_CONSOLE;
  State().extraction_dir = ex;
  State().temp_base = dir_.path();
  State().nested_enabled = true;
  State().nested_archives = "a.zip";
  State().launch_command = "no-such-program";
  const char sep = launcher_test::Sep();
  std::vector<std::string> refused = {"..", std::string("..") + sep + "outside", outside,
                                      std::string("rt") + sep + ".." + sep + ".." + sep + "x"};
  if (sep == '/') {
    // A link the payload brought, leading out.
    ASSERT_EQ(std::system(("ln -s '" + outside + "' '" + ex + "/rt'").c_str()), 0);
    refused.push_back("rt");
    refused.push_back("rt/deeper");
  }
  for (const std::string& target : refused) {
    SCOPED_TRACE(target);
    State().nested_target = target;
    State().launch_refused = false;
    testing::internal::CaptureStderr();
    EXPECT_EQ(launcher::LaunchInstaller(), 0);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "\nThe launch configuration puts the nested archives into \"" + target +
                  "\", which is not inside the extraction directory.\n");
    EXPECT_TRUE(State().launch_refused);
  }
  EXPECT_EQ(g_engine_calls, 0);
  for (const std::string target : {"", ".", "jre", "jre/../jre2/bin"}) {
    EXPECT_TRUE(launcher::NestedTargetInside(target)) << target;
  }
  EXPECT_TRUE(launcher::NestedTargetInside(ex + sep + "jre"));
  launcher::SetEngineEntry(nullptr);
}

namespace {

// Interruptions that a test raises by hand.
class ManualInterruptions final : public platform::Interruptions {
 public:
  bool raised = false;
  int releases = 0;
  void catch_interruptions() override {}
  bool interrupted() override { return raised; }
  void share_with(const platform::ChildProcess*) override {}
  void release() override { ++releases; }
};
ManualInterruptions* g_interruptions = nullptr;

// Lists one entry; the extraction is interrupted at its first block.
int InterruptedAtTheFirstBlock(int, const char* const*, int, const char* const*, const EngineOptions* options,
                               EngineCallbacks* callbacks) {
  if (options->list_contents) {
    callbacks->list_entry64(100, 0, 0, 0, 0, 0, 0, 0, ' ', "x", "", 0, ' ');
    return 0;
  }
  g_interruptions->raised = true;
  uint32_t block = 10;
  return callbacks->progress("x", PROGRESS_DATA, block) ? RC_CANCELLED : 0;
}

}  // namespace

TEST_F(RunSequence, AnInterruptionStopsTheExtractionAndIsSaidOnceBeforeTheCleanUp) {
  ManualInterruptions interruptions;
  platform::ScopedService<platform::Interruptions> use(interruptions);
  g_interruptions = &interruptions;
  launcher::SetEngineEntry(InterruptedAtTheFirstBlock);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  EXPECT_EQ(launcher::LauncherMain({"stub", "-mode=console", "-Djava.io.tmpdir=" + dir_.path()}), RC_CANCELLED);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "**** The installer was interrupted.\n");
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Extracting ..........");
  EXPECT_EQ(interruptions.releases, 1);
  EXPECT_EQ(console_.key_waits, 0);  // no key wait after an interruption
  std::vector<platform::DirectoryEntry> entries;
  platform::native<platform::FileSystem>().list_directory(dir_.path(), entries);
  EXPECT_EQ(entries.size(), 2u);  // the extraction directory is gone
  // The nested calls stop too, though Cancel never stops them.
  EXPECT_EQ(launcher::NeverCancel("x", PROGRESS_DATA, 1), 1);
  interruptions.raised = false;
  State().cancel_requested = 1;
  EXPECT_EQ(launcher::NeverCancel("x", PROGRESS_DATA, 1), 0);
  launcher::SetEngineEntry(nullptr);
}
