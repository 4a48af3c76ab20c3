// Decoding benchmark: decodes the same raw Deflate streams with our decoder,
// zlib's inflate and libdeflate, and runs our CRC-32 against zlib's and
// libdeflate's, in one run; prints MB/s (of uncompressed data) and ratios.
//
//   decode_bench [--text FILE] [--binary FILE] [--compressed FILE] [--mb N]
//
// Without files it gathers its data from the machine: C headers under
// /usr/include (text), the JDK's lib/modules (program binaries) and the
// gzip-compressed manual pages (already-compressed data).
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "crc32.h"
#include "inflate.h"

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

namespace {

size_t g_limit = 48u << 20;

void append_file(bytes& out, const fs::path& p, size_t limit) {
  std::ifstream f(p, std::ios::binary);
  char buf[1 << 16];
  while (out.size() < limit) {
    f.read(buf, sizeof buf);
    if (f.gcount() <= 0) break;
    size_t n = std::min<size_t>(static_cast<size_t>(f.gcount()), limit - out.size());
    out.insert(out.end(), buf, buf + n);
  }
}

bytes gather(const fs::path& root, const std::string& extension, size_t limit) {
  bytes out;
  std::vector<fs::path> files;
  std::error_code ec;
  for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::skip_permission_denied, ec);
       it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (ec) break;
    if (it->is_regular_file(ec) && it->path().extension() == extension) files.push_back(it->path());
  }
  std::sort(files.begin(), files.end());
  for (const auto& f : files) {
    if (out.size() >= limit) break;
    append_file(out, f, limit);
  }
  return out;
}

bytes raw_deflate(const bytes& data, int level) {
  z_stream z{};
  deflateInit2(&z, level, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY);
  bytes out(deflateBound(&z, data.size()));
  z.next_in = const_cast<Bytef*>(data.data());
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Best of several runs, in CPU time of this thread: the machine is shared,
// and time spent waiting for a core says nothing about the decoder.
double thread_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F> double best_seconds(int runs, F&& f) {
  double best = 1e30;
  for (int i = 0; i < runs; ++i) {
    double t0 = thread_seconds();
    f();
    best = std::min(best, thread_seconds() - t0);
  }
  return best;
}

// Our decoder as the engine drives it: input in 8 KiB buffers, output
// flushed a window at a time into the destination.
struct our_run {
  const bytes* in;
  size_t given = 0;
  uint8_t* read_ptr = nullptr;
  int32_t unread = 0;
  uint8_t* out;
  size_t produced = 0;
};

size_t ours(const bytes& in, bytes& out, inflate_workspace& tables, uint8_t* window) {
  our_run r{&in, 0, nullptr, 0, out.data(), 0};
  decoder_io io{};
  io.read_ptr = &r.read_ptr;
  io.unread_count = &r.unread;
  io.refill = [](void* o) {
    auto* s = static_cast<our_run*>(o);
    if (s->given >= s->in->size()) return false;
    size_t n = std::min<size_t>(8192, s->in->size() - s->given);
    s->read_ptr = const_cast<uint8_t*>(s->in->data()) + s->given;
    s->unread = static_cast<int32_t>(n);
    s->given += n;
    return true;
  };
  io.unloaded = [](void* o) {
    auto* s = static_cast<our_run*>(o);
    return static_cast<int64_t>(s->in->size() - s->given);
  };
  io.flush = [](void* o, const uint8_t* b, uint32_t n) {
    auto* s = static_cast<our_run*>(o);
    std::memcpy(s->out + s->produced, b, n);
    s->produced += n;
    return 0;
  };
  io.opaque = &r;
  io.window = window;
  int message;
  if (inflate_stream(io, tables, &message) != 0) return 0;
  return r.produced;
}

size_t zlib_inflate(const bytes& in, bytes& out) {
  z_stream z{};
  inflateInit2(&z, -15);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  int r = inflate(&z, Z_FINISH);
  size_t n = z.total_out;
  inflateEnd(&z);
  return r == Z_STREAM_END ? n : 0;
}

size_t libdeflate_inflate(libdeflate_decompressor* d, const bytes& in, bytes& out) {
  size_t n = 0;
  if (libdeflate_deflate_decompress(d, in.data(), in.size(), out.data(), out.size(), &n) != LIBDEFLATE_SUCCESS)
    return 0;
  return n;
}

double mbps(size_t n, double s) { return static_cast<double>(n) / 1e6 / s; }

}  // namespace

int main(int argc, char** argv) {
  std::string text_file, binary_file, compressed_file;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--text") text_file = argv[i + 1];
    else if (a == "--binary") binary_file = argv[i + 1];
    else if (a == "--compressed") compressed_file = argv[i + 1];
    else if (a == "--mb") g_limit = std::stoul(argv[i + 1]) << 20;
  }
  struct data_set {
    const char* name;
    bytes data;
  };
  std::vector<data_set> sets;
  auto load = [](const std::string& file, bytes fallback) {
    if (file.empty()) return fallback;
    bytes b;
    append_file(b, file, g_limit);
    return b;
  };
  sets.push_back({"text (C headers)", load(text_file, text_file.empty() ? gather("/usr/include", ".h", g_limit) : bytes{})});
  bytes modules;
  if (binary_file.empty()) append_file(modules, "/usr/lib/jvm/java-17-openjdk-amd64/lib/modules", g_limit);
  sets.push_back({"binaries (JDK lib/modules)", load(binary_file, modules)});
  sets.push_back({"compressed (man .gz)",
                  load(compressed_file, compressed_file.empty() ? gather("/usr/share/man", ".gz", g_limit / 2) : bytes{})});

  auto tables = std::make_unique<inflate_workspace>();
  auto window = std::make_unique<uint8_t[]>(DECODER_WINDOW_SIZE);
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();

  std::printf("| data | size MB | compressed MB | ours MB/s | zlib MB/s | libdeflate MB/s | ours/zlib | ours/libdeflate |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|\n");
  for (auto& s : sets) {
    if (s.data.empty()) continue;
    bytes packed = raw_deflate(s.data, 6);
    bytes out(s.data.size() + 64);
    size_t n = 0;
    double t_ours = best_seconds(5, [&] { n = ours(packed, out, *tables, window.get()); });
    bool ok = n == s.data.size() && std::memcmp(out.data(), s.data.data(), n) == 0;
    double t_zlib = best_seconds(5, [&] { n = zlib_inflate(packed, out); });
    ok = ok && n == s.data.size();
    double t_ld = best_seconds(5, [&] { n = libdeflate_inflate(ld, packed, out); });
    ok = ok && n == s.data.size();
    double size = static_cast<double>(s.data.size());
    std::printf("| %s | %.1f | %.1f | %.0f | %.0f | %.0f | %.2f | %.2f |%s\n", s.name, size / 1e6,
                static_cast<double>(packed.size()) / 1e6, mbps(s.data.size(), t_ours), mbps(s.data.size(), t_zlib),
                mbps(s.data.size(), t_ld), t_zlib / t_ours, t_ld / t_ours, ok ? "" : " MISMATCH");
  }

  bytes crc_data = sets[1].data.empty() ? sets[0].data : sets[1].data;
  uint32_t a = 0, b = 0, c = 0;
  double t_ours = best_seconds(7, [&] { a = crc32_update(0, crc_data.data(), crc_data.size()); });
  double t_zlib = best_seconds(7, [&] { b = static_cast<uint32_t>(::crc32(0, crc_data.data(), static_cast<uInt>(crc_data.size()))); });
  double t_ld = best_seconds(7, [&] { c = libdeflate_crc32(0, crc_data.data(), crc_data.size()); });
  uint32_t t = ~crc32_raw_tables(~0u, crc_data.data(), crc_data.size());
  double t_tables = best_seconds(7, [&] { t = ~crc32_raw_tables(~0u, crc_data.data(), crc_data.size()); });
  std::printf("\n| CRC-32 over %.1f MB | MB/s | ours/this |\n|---|---:|---:|\n", static_cast<double>(crc_data.size()) / 1e6);
  std::printf("| ours (crc32_update) | %.0f | 1.00 |\n", mbps(crc_data.size(), t_ours));
  std::printf("| ours, table loop only | %.0f | %.2f |\n", mbps(crc_data.size(), t_tables), t_tables / t_ours);
  std::printf("| zlib crc32 | %.0f | %.2f |\n", mbps(crc_data.size(), t_zlib), t_zlib / t_ours);
  std::printf("| libdeflate_crc32 | %.0f | %.2f |\n", mbps(crc_data.size(), t_ld), t_ld / t_ours);
  if (a != b || a != c || a != t) std::printf("CRC MISMATCH %08x %08x %08x %08x\n", a, b, c, t);
  libdeflate_free_decompressor(ld);
  return 0;
}
