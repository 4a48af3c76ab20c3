// File I/O benchmark: writes a file in 32 KiB blocks (as the extractor does)
// and reads it back in 8 KiB blocks (as the archive reader does), through
// platform::File and through unbuffered C stdio on the same file, and prints
// MB/s and the ratio. Both go through the page cache, so the numbers measure
// the per-call cost of each layer, which is what the platform layer adds.
//
//   file_io_bench [--mb N] [--dir DIRECTORY] [--rounds R]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "platform/file.h"
#include "platform/file_system.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
  return std::chrono::duration<double>(clock_type::now() - start).count();
}

bool platform_write(const std::string& path, const std::vector<char>& block, size_t blocks) {
  platform::File f;
  if (platform::file_system().create(path, f) != platform::Error::none) return false;
  for (size_t i = 0; i < blocks; ++i) {
    if (!f.write(block.data(), block.size()).ok()) return false;
  }
  return f.close() == platform::Error::none;
}

bool platform_read(const std::string& path, size_t block_size, uint64_t& sum) {
  platform::File f;
  if (platform::file_system().open_read(path, f) != platform::Error::none) return false;
  std::vector<char> buf(block_size);
  for (;;) {
    auto r = f.read(buf.data(), buf.size());
    if (!r.ok()) return false;
    if (r.value == 0) break;
    sum += static_cast<unsigned char>(buf[0]);
  }
  return true;
}

bool stdio_write(const std::string& path, const std::vector<char>& block, size_t blocks) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  for (size_t i = 0; i < blocks; ++i) {
    if (std::fwrite(block.data(), 1, block.size(), f) != block.size()) return false;
  }
  return std::fclose(f) == 0;
}

bool stdio_read(const std::string& path, size_t block_size, uint64_t& sum) {
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return false;
  std::setvbuf(f, nullptr, _IONBF, 0);
  std::vector<char> buf(block_size);
  for (;;) {
    size_t n = std::fread(buf.data(), 1, buf.size(), f);
    if (n == 0) break;
    sum += static_cast<unsigned char>(buf[0]);
  }
  std::fclose(f);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  size_t mb = 256;
  int rounds = 3;
  std::string dir;
  for (int i = 1; i + 1 < argc; i += 2) {
    if (std::strcmp(argv[i], "--mb") == 0) mb = std::strtoul(argv[i + 1], nullptr, 10);
    else if (std::strcmp(argv[i], "--dir") == 0) dir = argv[i + 1];
    else if (std::strcmp(argv[i], "--rounds") == 0) rounds = std::atoi(argv[i + 1]);
  }
  auto& fs = platform::file_system();
  if (dir.empty() && fs.temp_directory(dir) != platform::Error::none) return 1;
  std::string path;
  if (fs.unique_temp_file(dir, "fio", path) != platform::Error::none) {
    std::fprintf(stderr, "cannot create a file in %s\n", dir.c_str());
    return 1;
  }
  std::vector<char> block(32768);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
  const size_t blocks = mb * 1024 * 1024 / block.size();
  const double megabytes = static_cast<double>(blocks * block.size()) / 1e6;

  // Best of the rounds for each, alternating so both see the same cache;
  // each write starts on a fresh file, since truncating the previous one
  // costs the writer that comes first.
  double best[4] = {1e9, 1e9, 1e9, 1e9};
  uint64_t sum = 0;
  bool ok = true;
  for (int r = 0; r < rounds && ok; ++r) {
    fs.delete_file(path);
    auto t = clock_type::now();
    ok &= platform_write(path, block, blocks);
    best[0] = std::min(best[0], seconds_since(t));
    t = clock_type::now();
    ok &= platform_read(path, 8192, sum);
    best[1] = std::min(best[1], seconds_since(t));
    fs.delete_file(path);
    t = clock_type::now();
    ok &= stdio_write(path, block, blocks);
    best[2] = std::min(best[2], seconds_since(t));
    t = clock_type::now();
    ok &= stdio_read(path, 8192, sum);
    best[3] = std::min(best[3], seconds_since(t));
  }
  fs.delete_file(path);
  if (!ok) {
    std::fprintf(stderr, "I/O failed\n");
    return 1;
  }
  std::printf("%.0f MB, best of %d rounds (checksum %llu)\n", megabytes, rounds,
              static_cast<unsigned long long>(sum));
  std::printf("write 32 KiB blocks: platform::File %8.0f MB/s   stdio %8.0f MB/s   ratio %.2f\n",
              megabytes / best[0], megabytes / best[2], best[2] / best[0]);
  std::printf("read   8 KiB blocks: platform::File %8.0f MB/s   stdio %8.0f MB/s   ratio %.2f\n",
              megabytes / best[1], megabytes / best[3], best[3] / best[1]);
  return 0;
}
