// Portable. The Implode decoder: up to three Shannon-Fano trees, then a bit
// stream of literals and matches into a 4 or 8 KiB dictionary. The codes are
// stored with every bit inverted, so each lookup inverts the input bits;
// extra bits are plain.
//
// Reading does not stop at the end of the data: missing bytes read as all
// ones and decoding goes on, because the final check of how many bytes were
// used reports such data (each byte read past the end is counted there as a
// byte used). Lookahead near the end needs a byte or two of that fill, and
// some encoders leave a stream a byte short; but once far more fill than
// that has been read, everything after is made of fill bits alone, so the
// decoder stops there instead of producing up to 4 GiB of it.
#include "explode.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace {

constexpr uint32_t WINDOW = DECODER_WINDOW_SIZE;
// Bytes of fill read past the end of the data after which decoding stops.
constexpr int64_t EXPLODE_FILL_LIMIT = 64;
constexpr unsigned LITERAL_MAIN_BITS = 10;
constexpr unsigned SMALL_MAIN_BITS = 8;

constexpr std::array<uint32_t, 256> literal_symbols() {
  std::array<uint32_t, 256> t{};
  for (unsigned s = 0; s < 256; ++s) t[s] = huff_entry(HUFF_LITERAL, s, 0);
  return t;
}
// Length code 63 takes 8 extra bits added to its base.
constexpr std::array<uint32_t, 64> length_symbols(unsigned minimum) {
  std::array<uint32_t, 64> t{};
  for (unsigned s = 0; s < 64; ++s) t[s] = huff_entry(0, s + minimum, s == 63 ? 8 : 0);
  return t;
}
constexpr std::array<uint32_t, 64> distance_symbols() {
  std::array<uint32_t, 64> t{};
  for (unsigned s = 0; s < 64; ++s) t[s] = huff_entry(0, s, 0);
  return t;
}
constexpr auto LITERAL_TEMPLATES = literal_symbols();
constexpr auto LENGTH_TEMPLATES_2 = length_symbols(2);
constexpr auto LENGTH_TEMPLATES_3 = length_symbols(3);
constexpr auto DISTANCE_TEMPLATES = distance_symbols();

struct exploder {
  decoder_io& io;
  uint8_t* in = nullptr;
  uint8_t* in_end = nullptr;
  uint64_t bits = 0;  // next input bits, bit 0 first
  unsigned count = 0;
  uint8_t* window;
  uint32_t pos = 0;
  bool wrapped = false;
  int64_t fill_bytes = 0;  // bytes read past the end of the data

  explicit exploder(decoder_io& d) : io(d), window(d.window) { load(); }
  void load() {
    in = *io.read_ptr;
    int32_t n = *io.unread_count;
    in_end = in + (n > 0 ? n : 0);
  }
  void store() {
    *io.read_ptr = in;
    *io.unread_count = static_cast<int32_t>(in_end - in);
  }
  int next_byte() {
    if (in == in_end) {
      store();
      bool more = io.refill(io.opaque);
      load();
      if (!more || in == in_end) {
        ++fill_bytes;
        return -1;
      }
    }
    return *in++;
  }
  void need(unsigned n) {
    while (count < n) {
      int c = next_byte();
      bits |= uint64_t(c < 0 ? 0xFF : c) << count;
      count += 8;
    }
  }
  uint32_t take(unsigned n) {
    need(n);
    uint32_t v = static_cast<uint32_t>(bits & ((uint64_t(1) << n) - 1));
    bits >>= n;
    count -= n;
    return v;
  }
  // Decodes one inverted code and returns its value plus extra bits, or -1
  // for a code outside the set.
  int32_t decode(const uint32_t* t, unsigned main_bits) {
    need(main_bits);
    uint64_t inverted = ~bits;
    uint32_t e = t[inverted & ((1u << main_bits) - 1)];
    if (e & HUFF_LINK) {
      need(main_bits + huff_drop(e));
      inverted = ~bits;
      e = t[huff_value(e) + ((inverted >> main_bits) & ((1u << huff_drop(e)) - 1))];
    }
    if (e & HUFF_INVALID) return -1;
    need(huff_drop(e));
    uint32_t extra = static_cast<uint32_t>((bits & ((uint64_t(1) << huff_drop(e)) - 1)) >> huff_code_length(e));
    bits >>= huff_drop(e);
    count -= huff_drop(e);
    return static_cast<int32_t>(huff_value(e) + extra);
  }

  // A tree description: a count byte, then runs of equal code lengths.
  int read_tree(uint8_t* lengths, unsigned symbols) {
    int c = next_byte();
    if (c < 0) return DECODE_BAD_TREE;
    unsigned filled = 0;
    for (int i = 0; i <= c; ++i) {
      int b = next_byte();
      if (b < 0) return DECODE_BAD_TREE;
      unsigned len = (b & 15) + 1, run = (b >> 4) + 1;
      if (filled + run > symbols) return DECODE_BAD_TREE;
      std::memset(lengths + filled, static_cast<int>(len), run);
      filled += run;
    }
    return filled == symbols ? DECODE_OK : DECODE_BAD_TREE;
  }

  int flush_window() {
    int r = io.flush(io.opaque, window, WINDOW);
    pos = 0;
    wrapped = true;
    return r;
  }

  // Copies a match in runs that stop at the end of the window or the match.
  // Until the window first fills, a source at or after the write position
  // lies before the start of the output and reads as zeros.
  int copy_match(uint32_t dist, uint32_t len) {
    while (len) {
      uint32_t src = (pos - dist) & (WINDOW - 1);
      uint32_t n = len;
      if (n > WINDOW - pos) n = WINDOW - pos;
      if (n > WINDOW - src) n = WINDOW - src;
      if (!wrapped && src >= pos)
        std::memset(window + pos, 0, n);
      else if (src > pos || pos - src >= n)
        std::memmove(window + pos, window + src, n);
      else
        for (uint32_t i = 0; i < n; ++i) window[pos + i] = window[src + i];
      pos += n;
      len -= n;
      if (pos == WINDOW) {
        if (int r = flush_window()) return r;
      }
    }
    return DECODE_OK;
  }
};

int build(const uint8_t* lengths, unsigned count, const uint32_t* symbols, unsigned bits, uint32_t* storage,
          unsigned capacity, unsigned* main_bits) {
  huff_table t{storage, capacity, 0};
  int r = huff_build(lengths, count, symbols, bits, false, t);
  *main_bits = t.main_bits;
  return r;
}

}  // namespace

int explode_stream(decoder_io& io, explode_tables& tables, const explode_params& params,
                   int64_t* bytes_used) {
  exploder s(io);
  const int64_t given = io.unloaded(io.opaque) + (s.in_end - s.in);
  const bool literal_tree = params.flags & EXPLODE_FLAG_LITERAL_TREE;
  const unsigned low_bits = (params.flags & EXPLODE_FLAG_8K_DICTIONARY) ? 7 : 6;

  uint8_t lengths[256];
  unsigned lit_bits = 0, len_bits = 0, dist_bits = 0;
  int r;
  if (literal_tree) {
    if ((r = s.read_tree(lengths, 256)) ||
        (r = build(lengths, 256, LITERAL_TEMPLATES.data(), LITERAL_MAIN_BITS, tables.literal,
                   explode_tables::LITERAL_SIZE, &lit_bits))) {
      s.store();
      return r;
    }
  }
  if ((r = s.read_tree(lengths, 64)) ||
      (r = build(lengths, 64, (literal_tree ? LENGTH_TEMPLATES_3 : LENGTH_TEMPLATES_2).data(),
                 SMALL_MAIN_BITS, tables.length, explode_tables::SMALL_SIZE, &len_bits)) ||
      (r = s.read_tree(lengths, 64)) ||
      (r = build(lengths, 64, DISTANCE_TEMPLATES.data(), SMALL_MAIN_BITS, tables.distance,
                 explode_tables::SMALL_SIZE, &dist_bits))) {
    s.store();
    return r;
  }

  uint64_t remaining = params.uncompressed_size;
  while (remaining && s.fill_bytes <= EXPLODE_FILL_LIMIT) {
    if (s.take(1)) {
      int32_t c = literal_tree ? s.decode(tables.literal, lit_bits) : static_cast<int32_t>(s.take(8));
      if (c < 0) {
        s.store();
        return DECODE_BAD_DATA;
      }
      s.window[s.pos++] = static_cast<uint8_t>(c);
      --remaining;
      if (s.pos == WINDOW && (r = s.flush_window())) {
        s.store();
        return r;
      }
      continue;
    }
    uint32_t low = s.take(low_bits);
    int32_t upper = s.decode(tables.distance, dist_bits);
    int32_t len = s.decode(tables.length, len_bits);
    if (upper < 0 || len < 0) {
      s.store();
      return DECODE_BAD_DATA;
    }
    uint32_t dist = (static_cast<uint32_t>(upper) << low_bits) + low + 1;
    // A last match that reaches past the entry's size is cut there: the
    // output is exactly the size the entry declares.
    uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(static_cast<uint32_t>(len), remaining));
    remaining -= n;
    if ((r = s.copy_match(dist, n))) {
      s.store();
      return r;
    }
  }
  s.store();
  if ((r = io.flush(io.opaque, s.window, s.pos))) return r;
  int64_t left = io.unloaded(io.opaque) + (s.in_end - s.in) + (s.count >> 3);
  if (left != 0) {
    *bytes_used = given - left;
    return DECODE_WRONG_LENGTH;
  }
  return DECODE_OK;
}
