// The zipengine command-line tool, run as a child process: the listing
// lines and the total line on standard output, engine messages on standard
// error, the engine's result code as exit status.
#include <gtest/gtest.h>

#include "engine_harness.h"

using namespace engine_test;

namespace {

struct tool_run {
  int status = -1;
  std::string out, err;
};

tool_run run_tool(const fakes::TempDir& dir, const std::string& args) {
  tool_run r;
  std::string out = join(dir, "tool.out"), err = join(dir, "tool.err");
  r.status = run_command("\"" ZIPENGINE_TOOL_PATH "\" " + args + " > \"" + out + "\" 2> \"" + err + "\"");
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
