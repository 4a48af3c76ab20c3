// Decoding benchmark: decodes the same raw Deflate streams with our decoder,
// zlib's inflate and libdeflate, and runs our CRC-32 against zlib's and
// libdeflate's, in one run; prints MB/s (of uncompressed data) and ratios.
//
//   decode_bench [--text FILE] [--binary FILE] [--compressed FILE] [--mb N]
//                [--runs N] [--only ours|streamed|zlib|libdeflate]
//
// Without files it gathers its data from the machine: C headers under
// /usr/include (text), the JDK's lib/modules (program binaries) and the
// gzip-compressed manual pages (already-compressed data); with any of them,
// it decodes only those.
//
// The decoders take turns: each round decodes every data set once with each
// of them, in an order that rotates from round to round, so that a busy
// spell on the shared machine falls on all of them alike. Each figure is the
// median over the rounds (with the lowest and highest), and each ratio the
// median of the ratios within a round. --only times one decoder alone (for
// profilers).
#include <libdeflate.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "crc32.h"
#include "inflate.h"
#include "input.h"

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

// CPU time of this thread: time spent waiting for a core on the shared
// machine says nothing about the decoder.
double thread_seconds() {
  timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) * 1e-9;
}

template <class F> double seconds(F&& f) {
  double t0 = thread_seconds();
  f();
  return thread_seconds() - t0;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

// "median (lowest-highest)" of a set of figures.
std::string spread(const std::vector<double>& v, const char* format) {
  char m[32], lo[32], hi[32];
  std::snprintf(m, sizeof m, format, median(v));
  std::snprintf(lo, sizeof lo, format, *std::min_element(v.begin(), v.end()));
  std::snprintf(hi, sizeof hi, format, *std::max_element(v.begin(), v.end()));
  return std::string(m) + " (" + lo + "-" + hi + ")";
}

// Our decoder as the engine drives it: the entry's data in the pieces the
// engine reads it in (the rest of the header's block, then 64 KiB at a time),
// output flushed 32 KiB at a time. `direct`: decoded straight into the
// destination, as the engine's in-memory expansion does (and libdeflate
// and zlib here); else staged and each flushed block copied out, as
// extraction hands blocks on to a file.
struct our_run {
  const bytes* in;
  size_t given = 0;
  uint8_t* read_ptr = nullptr;
  int32_t unread = 0;
  uint8_t* out;
  size_t produced = 0;
};

size_t ours(const bytes& in, bytes& out, inflate_workspace& tables, uint8_t* window, bool direct) {
  our_run r{&in, 0, nullptr, 0, out.data(), 0};
  decoder_io io{};
  io.read_ptr = &r.read_ptr;
  io.unread_count = &r.unread;
  io.refill = [](void* o) {
    auto* s = static_cast<our_run*>(o);
    if (s->given >= s->in->size()) return false;
    // Half of the header's block (say), then the engine's own pieces.
    const size_t piece = s->given == 0 ? INPUT_BUFFER_SIZE / 2 : DATA_BUFFER_SIZE;
    size_t n = std::min(piece, s->in->size() - s->given);
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
    if (b != s->out + s->produced) std::memcpy(s->out + s->produced, b, n);
    s->produced += n;
    return 0;
  };
  io.opaque = &r;
  io.window = window;
  if (direct) {
    io.direct = out.data();
    io.direct_size = static_cast<uint32_t>(out.size());
  }
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

struct contender {
  const char* name;
  std::function<size_t()> run;  // one timed run; the size of its result
  std::vector<double> times;
};

// Runs the contenders in rotating order for `rounds` rounds; `check` looks
// at each result after its run, outside the time taken.
void take_turns(std::vector<contender>& cs, int rounds, const std::function<bool(size_t)>& check) {
  for (int r = 0; r < rounds; ++r)
    for (size_t i = 0; i < cs.size(); ++i) {
      contender& c = cs[(i + static_cast<size_t>(r)) % cs.size()];
      size_t n = 0;
      c.times.push_back(seconds([&] { n = c.run(); }));
      if (!check(n)) std::printf("MISMATCH: %s\n", c.name);
    }
}

// Per-round ratios of b's time to a's (how many times faster a is).
std::vector<double> ratios(const contender& a, const contender& b) {
  std::vector<double> v;
  for (size_t i = 0; i < a.times.size(); ++i) v.push_back(b.times[i] / a.times[i]);
  return v;
}

std::vector<double> speeds(const contender& c, size_t n) {
  std::vector<double> v;
  for (double t : c.times) v.push_back(mbps(n, t));
  return v;
}

void print_load() {
  std::ifstream f("/proc/loadavg");
  std::string a, b, c;
  if (f >> a >> b >> c) std::printf("load average at start: %s %s %s\n\n", a.c_str(), b.c_str(), c.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  std::string text_file, binary_file, compressed_file, only;
  int rounds = 11;
  for (int i = 1; i + 1 < argc; i += 2) {
    std::string a = argv[i];
    if (a == "--text") text_file = argv[i + 1];
    else if (a == "--binary") binary_file = argv[i + 1];
    else if (a == "--compressed") compressed_file = argv[i + 1];
    else if (a == "--mb") g_limit = std::stoul(argv[i + 1]) << 20;
    else if (a == "--runs") rounds = std::max(1, std::stoi(argv[i + 1]));
    else if (a == "--only") only = argv[i + 1];
  }
  struct data_set {
    const char* name;
    bytes data;
  };
  std::vector<data_set> sets;
  // Files named on the command line replace the data gathered from the
  // machine; with any of them, the others are left out.
  const bool gathered = text_file.empty() && binary_file.empty() && compressed_file.empty();
  auto load = [&](const std::string& file, auto gather_default) {
    bytes b;
    if (!file.empty()) append_file(b, file, g_limit);
    else if (gathered) b = gather_default();
    return b;
  };
  sets.push_back({"text (C headers)", load(text_file, [] { return gather("/usr/include", ".h", g_limit); })});
  sets.push_back({"binaries (JDK lib/modules)", load(binary_file, [] {
                    bytes b;
                    append_file(b, "/usr/lib/jvm/java-17-openjdk-amd64/lib/modules", g_limit);
                    return b;
                  })});
  sets.push_back({"compressed (man .gz)", load(compressed_file, [] { return gather("/usr/share/man", ".gz", g_limit / 2); })});

  auto tables = std::make_unique<inflate_workspace>();
  auto window = std::make_unique<uint8_t[]>(DECODER_WINDOW_SIZE);
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();

  print_load();
  std::printf("%d rounds; MB/s and ratios as median (lowest-highest)\n\n", rounds);
  std::printf("| data | size MB | compressed MB | ours MB/s | ours streamed MB/s | zlib MB/s | libdeflate MB/s | "
              "ours/zlib | ours/libdeflate | streamed/libdeflate |\n");
  std::printf("|---|---:|---:|---:|---:|---:|---:|---:|---:|---:|\n");
  for (auto& s : sets) {
    if (s.data.empty()) continue;
    bytes packed = raw_deflate(s.data, 6);
    bytes out(s.data.size() + 64);
    auto same = [&](size_t n) { return n == s.data.size() && std::memcmp(out.data(), s.data.data(), n) == 0; };
    std::vector<contender> cs = {
        {"ours", [&] { return ours(packed, out, *tables, window.get(), true); }, {}},
        {"streamed", [&] { return ours(packed, out, *tables, window.get(), false); }, {}},
        {"zlib", [&] { return zlib_inflate(packed, out); }, {}},
        {"libdeflate", [&] { return libdeflate_inflate(ld, packed, out); }, {}},
    };
    if (!only.empty()) {
      cs.erase(std::remove_if(cs.begin(), cs.end(), [&](const contender& c) { return only != c.name; }), cs.end());
      take_turns(cs, rounds, same);
      for (auto& c : cs)
        std::printf("| %s | %s: %s MB/s |\n", s.name, c.name, spread(speeds(c, s.data.size()), "%.0f").c_str());
      continue;
    }
    take_turns(cs, rounds, same);
    double size = static_cast<double>(s.data.size());
    auto speed = [&](int i) { return spread(speeds(cs[i], s.data.size()), "%.0f"); };
    std::printf("| %s | %.1f | %.1f | %s | %s | %s | %s | %s | %s | %s |\n", s.name, size / 1e6,
                static_cast<double>(packed.size()) / 1e6, speed(0).c_str(), speed(1).c_str(), speed(2).c_str(),
                speed(3).c_str(), spread(ratios(cs[0], cs[2]), "%.2f").c_str(),
                spread(ratios(cs[0], cs[3]), "%.2f").c_str(), spread(ratios(cs[1], cs[3]), "%.2f").c_str());
  }
  if (!only.empty()) {
    libdeflate_free_decompressor(ld);
    return 0;
  }

  bytes crc_data;
  for (auto& x : sets)
    if (x.data.size() > crc_data.size()) crc_data = x.data;
  uint32_t a = 0, b = 0, c = 0, t = 0;
  std::vector<contender> crcs = {
      {"ours (crc32_update)", [&] { return size_t(a = crc32_update(0, crc_data.data(), crc_data.size())); }, {}},
      {"ours, table loop only", [&] { return size_t(t = ~crc32_raw_tables(~0u, crc_data.data(), crc_data.size())); }, {}},
      {"zlib crc32", [&] { return size_t(b = static_cast<uint32_t>(::crc32(0, crc_data.data(), static_cast<uInt>(crc_data.size())))); }, {}},
      {"libdeflate_crc32", [&] { return size_t(c = libdeflate_crc32(0, crc_data.data(), crc_data.size())); }, {}},
  };
  take_turns(crcs, rounds, [](size_t) { return true; });
  std::printf("\n| CRC-32 over %.1f MB | MB/s | ours/this |\n|---|---:|---:|\n", static_cast<double>(crc_data.size()) / 1e6);
  for (auto& x : crcs)
    std::printf("| %s | %s | %s |\n", x.name, spread(speeds(x, crc_data.size()), "%.0f").c_str(),
                spread(ratios(crcs[0], x), "%.2f").c_str());
  if (a != b || a != c || a != t) std::printf("CRC MISMATCH %08x %08x %08x %08x\n", a, b, c, t);
  libdeflate_free_decompressor(ld);
  return 0;
}
