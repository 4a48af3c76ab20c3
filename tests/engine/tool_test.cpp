// The zipengine command-line tool, run as a child process: the listing
// lines and the total line on standard output, engine messages on standard
// error, the engine's result code as exit status.
#include <gtest/gtest.h>

#include "engine_harness.h"
#include "platform/file_system.h"

using namespace engine_test;

namespace {

// The Windows build's programs end in ".exe"; their shell is cmd.exe.
bool built_for_windows() {
  std::string self;
  platform::native<platform::FileSystem>().program_path(self);
  std::string tail = self.size() > 4 ? self.substr(self.size() - 4) : "";
  return tail == ".exe" || tail == ".EXE";
}

// The tool is built next to the tests: <build>/tools/zipengine/zipengine,
// found from this test program's own path (<build>/tests/engine/...).
std::string tool_path() {
  std::string self;
  platform::native<platform::FileSystem>().program_path(self);
  std::string dir = self;
  for (int up = 0; up < 3; ++up) {
    size_t cut = dir.find_last_of("/\\");
    if (cut == std::string::npos) return "zipengine";
    dir.erase(cut);
  }
  std::string tool = dir + "/tools/zipengine/zipengine" + (built_for_windows() ? ".exe" : "");
  if (built_for_windows())
    for (char& c : tool)
      if (c == '/') c = '\\';
  return tool;
}

struct tool_run {
  int status = -1;
  std::string out, err;
};

tool_run run_tool(const fakes::TempDir& dir, const std::string& args, const std::string& input = "") {
  tool_run r;
  std::string out = join(dir, "tool.out"), err = join(dir, "tool.err"), in = join(dir, "tool.in");
  write_file(in, input);
  std::string command = "\"" + tool_path() + "\" " + args + " < \"" + in + "\" > \"" + out + "\" 2> \"" + err + "\"";
  // cmd.exe drops the first and the last quote of a command line that
  // starts with one: one more pair keeps the quoting intact.
  if (built_for_windows()) command = "\"" + command + "\"";
  r.status = run_command(command);
  r.out = read_file(out);
  r.err = read_file(err);
  // The Windows build writes text-mode standard streams.
  for (std::string* s : {&r.out, &r.err}) {
    std::string clean;
    for (char ch : *s)
      if (ch != '\r') clean.push_back(ch);
    *s = clean;
  }
  return r;
}

TEST(Tool, ListPrintsTheThirteenValuesAndTheTotals) {
  fakes::TempDir dir{"tool"};
  zip_entry a = stored("a.txt", "hello\n");
  a.dos_time = ((2022u - 1980u) << 25) | (7u << 21) | (4u << 16) | (9u << 11) | (8u << 5);
  zip_entry b = a;
  b.name = "b.bin";
  b.data = std::string(30, 'b');
  b.flags = 1;
  b.plain = std::string(10, 'p');
  b.plain_given = true;
  write_file(join(dir, "t.zip"), build_zip({a, b}));
  tool_run r = run_tool(dir, "list \"" + join(dir, "t.zip") + "\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.out, "6\t6\t0\t7\t4\t22\t9\t8\t \ta.txt\tStored\t" + [] {
                     char c[9];
                     std::snprintf(c, sizeof c, "%08lx", static_cast<unsigned long>(crc32_of("hello\n")));
                     return std::string(c);
                   }() + "\t \n" +
                       "10\t18\t80\t7\t4\t22\t9\t8\t \tb.bin\tStored\t" + [] {
                         char c[9];
                         std::snprintf(c, sizeof c, "%08lx", static_cast<unsigned long>(crc32_of(std::string(10, 'p'))));
                         return std::string(c);
                       }() + "\tE\n" + "total\t16\t24\t50\t2\n");
  EXPECT_EQ(r.err, "");
}

TEST(Tool, PatternsAndExcludesSelectEntries) {
  fakes::TempDir dir{"tool"};
  write_file(join(dir, "p.zip"), build_zip({stored("keep.txt", "1"), stored("skip.txt", "2"), stored("x.bin", "3")}));
  tool_run r = run_tool(dir, "list \"" + join(dir, "p.zip") + "\" \"*.txt\" -x \"skip*\"");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\tkeep.txt\t"), std::string::npos);
  EXPECT_EQ(r.out.find("skip.txt"), std::string::npos);
  EXPECT_EQ(r.out.find("x.bin"), std::string::npos);
  EXPECT_NE(r.out.find("total\t1\t1\t0\t1\n"), std::string::npos);
}

TEST(Tool, EngineMessagesGoToStandardErrorAndTheCodeIsTheExitStatus) {
  fakes::TempDir dir{"tool"};
  write_file(join(dir, "empty.zip"), build_zip({}));
  tool_run r = run_tool(dir, "list \"" + join(dir, "empty.zip") + "\"");
  EXPECT_EQ(r.status, RC_WARNING);
  EXPECT_EQ(r.err, "warning [" + join(dir, "empty.zip") + "]:  zipfile is empty\n");
  EXPECT_EQ(r.out, "total\t0\t0\t0\t0\n");

  tool_run missing = run_tool(dir, "list \"" + join(dir, "none") + "\"");
  EXPECT_EQ(missing.status, RC_NO_ARCHIVE);
}

TEST(Tool, HelpAndBadCommandLines) {
  fakes::TempDir dir{"tool"};
  tool_run help = run_tool(dir, "--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_NE(help.out.find("zipengine list"), std::string::npos);
  EXPECT_NE(help.out.find("--password"), std::string::npos);
  tool_run bad = run_tool(dir, "frobnicate x.zip");
  EXPECT_EQ(bad.status, 64);
  tool_run none = run_tool(dir, "list");
  EXPECT_EQ(none.status, 64);
}

}  // namespace

namespace {

TEST(Tool, TestAndExtractCommands) {
  fakes::TempDir dir{"tool"};
  tool_run good = run_tool(dir, "test \"" + fixture("python.zip") + "\"");
  EXPECT_EQ(good.status, 0);
  EXPECT_NE(good.err.find("No errors detected in compressed data of"), std::string::npos) << good.err;
  tool_run bad = run_tool(dir, "test -q \"" + fixture("bad_crc.zip") + "\"");
  EXPECT_EQ(bad.status, RC_ERROR);
  EXPECT_NE(bad.err.find(" bad CRC 13c6669a  (should be 12345678)\n"), std::string::npos) << bad.err;
  tool_run pw = run_tool(dir, "test --password secret \"" + fixture("encrypted.zip") + "\"");
  EXPECT_EQ(pw.status, 0) << pw.err;
  // No terminal to ask on: the password question is answered with a cancel.
  tool_run nopw = run_tool(dir, "test \"" + fixture("encrypted.zip") + "\"");
  EXPECT_EQ(nopw.status, RC_ALL_BAD_PASSWORD);

  std::string out = join(dir, "x");
  tool_run ex = run_tool(dir, "extract -q -d \"" + out + "\" \"" + fixture("python.zip") + "\" \"docs/*\"");
  EXPECT_EQ(ex.status, 0) << ex.err;
  EXPECT_EQ(read_file(out + "/docs/notes.txt"), "line one\r\nline two\rline three\n");
  // Again: the file exists and there is no terminal, so it is kept.
  write_file(out + "/docs/notes.txt", "mine");
  tool_run again = run_tool(dir, "extract -d \"" + out + "\" \"" + fixture("python.zip") + "\" docs/notes.txt");
  EXPECT_EQ(again.status, 0);
  EXPECT_EQ(read_file(out + "/docs/notes.txt"), "mine");
  EXPECT_NE(again.err.find("Target file exists.\n"), std::string::npos) << again.err;
  tool_run over = run_tool(dir, "extract -o -q -d \"" + out + "\" \"" + fixture("python.zip") + "\" docs/notes.txt");
  EXPECT_EQ(over.status, 0);
  EXPECT_EQ(read_file(out + "/docs/notes.txt"), "line one\r\nline two\rline three\n");

  tool_run stdout_data = run_tool(dir, "extract -p -q \"" + fixture("python.zip") + "\" empty.txt readme.txt");
  EXPECT_EQ(stdout_data.status, 0);
  EXPECT_EQ(stdout_data.out.substr(0, 29), "Hello from the engine tests.\n");
}

TEST(Tool, VmsQuestionIsAnsweredFromStandardInput) {
  fakes::TempDir dir{"tool"};
  zip_entry e = stored("vms.txt", "from VMS");
  e.needed_host = 2;
  e.needed_version = 20;
  write_file(join(dir, "vms.zip"), build_zip({e}));
  std::string out = join(dir, "o");
  tool_run no = run_tool(dir, "extract -d \"" + out + "\" \"" + join(dir, "vms.zip") + "\"", "n\n");
  EXPECT_EQ(no.status, RC_ALL_UNSUPPORTED);
  EXPECT_NE(no.err.find("\nvms.txt:  stored in VMS format.  Extract anyway? (y/n) "), std::string::npos) << no.err;
  tool_run none = run_tool(dir, "extract -d \"" + out + "\" \"" + join(dir, "vms.zip") + "\"", "");
  EXPECT_EQ(none.status, RC_ALL_UNSUPPORTED);
  tool_run yes = run_tool(dir, "extract -d \"" + out + "\" \"" + join(dir, "vms.zip") + "\"", "y\n");
  EXPECT_EQ(yes.status, 0) << yes.err;
  EXPECT_EQ(read_file(out + "/vms.txt"), "from VMS");
}

}  // namespace

namespace {

TEST(Tool, DataToStandardOutputIsByteForByte) {
  // LF, CR LF, a lone CR and Ctrl-Z: the Windows C runtime's text mode
  // would change the first and could stop at the last.
  fakes::TempDir dir{"tool"};
  const std::string data = std::string("one\ntwo\r\nthree\rfour\x1a" "five\n") + std::string(3, '\0');
  write_file(join(dir, "d.zip"), build_zip({stored("d.bin", data)}));
  tool_run r = run_tool(dir, "extract -qq -p \"" + join(dir, "d.zip") + "\"");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(read_file(join(dir, "tool.out")), data);
}

}  // namespace
