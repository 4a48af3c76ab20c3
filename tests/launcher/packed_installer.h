// Test helper: makes a packed installer the way the packer does, a copy of
// setupstub with a ZIP appended whose offsets count from the start of the
// file (stored entries; optionally raw Deflate data made by the caller),
// and runs it as a real child process with its streams in files.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace launcher_test {

struct ZipMember {
  std::string name;
  std::string data;        // the uncompressed bytes
  std::string deflated;    // raw Deflate data of `data`; empty: stored
  // For big members given only as Deflate data: their size and CRC-32.
  bool precomputed = false;
  uint32_t size = 0, crc = 0;
};

uint32_t Crc32(const std::string& data);

// A ZIP archive of the members, its offsets counted from `base`.
std::string MakeZip(const std::vector<ZipMember>& members, uint32_t base = 0);

// Copies setupstub to `path` and appends the archive of `members`.
void PackInstaller(const std::string& path, const std::vector<ZipMember>& members);

// The path of the setupstub program under test.
std::string SetupstubPath();

struct RunResult {
  int exit_code = 0;
  std::string out, err;
};

// Runs `program` with `args` (joined and quoted as on a command line) in
// `directory`, stdin from a file holding `input`.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args,
                     const std::string& directory, const std::string& input = "");

// The exit code a process reports for a program that returned -1.
int MinusOneExit();

}  // namespace launcher_test
