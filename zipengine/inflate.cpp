// Portable. The Deflate decoder: block headers, code tables and the decoding
// loops. Output goes straight into the 32 KiB window, which doubles as the
// history; every time it fills it is flushed and decoding continues at its
// start.
//
// Two loops decode codes. The fast loop runs while enough input is buffered
// and enough window room is left that it never needs to refill or flush in
// the middle of a symbol; it keeps 56 or more bits in a 64-bit buffer and
// reads the input eight bytes at a time. The careful loop takes one symbol
// at a time, a byte at a time, and handles refills, the end of the input and
// flushes; it hands back to the fast loop as soon as the margins are there.
#include "inflate.h"

#include <cstring>

#include "fixed_tables.h"
#include "inflate_symbols.h"

namespace {

constexpr uint32_t WINDOW = DECODER_WINDOW_SIZE;

// The fast loop's margins. Each iteration refills twice; a refill loads
// eight bytes and moves on at most seven, so sixteen bytes keep both loads
// inside the buffer. An iteration writes at most two literals, or one
// literal and one match of at most 258 bytes, so it never reaches the end
// of the window and never has to flush.
constexpr int64_t FAST_INPUT_MARGIN = 16;
constexpr uint32_t FAST_OUTPUT_LIMIT = WINDOW - 258 - 2;

// The order in which code-length code lengths are stored.
constexpr uint8_t PRECODE_ORDER[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

constexpr std::array<uint32_t, 19> precode_symbols() {
  std::array<uint32_t, 19> t{};
  for (unsigned s = 0; s < 19; ++s) t[s] = huff_entry(0, s, 0);
  return t;
}
constexpr auto PRECODE_TEMPLATES = precode_symbols();

inline uint64_t load_le64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap64(v);
#endif
  return v;
}
inline void copy8(uint8_t* d, const uint8_t* s) { std::memcpy(d, s, 8); }
inline void copy4(uint8_t* d, const uint8_t* s) { std::memcpy(d, s, 4); }
inline uint64_t low_bits(uint64_t v, unsigned n) { return v & ((uint64_t(1) << n) - 1); }

enum : int { FAST_MARGIN_LEFT = -1 };

struct inflater {
  decoder_io& io;
  uint8_t* in = nullptr;      // local copies of the buffer state
  uint8_t* in_end = nullptr;
  uint64_t bits = 0;          // next input bits, bit 0 first; no set bits above `count`
  unsigned count = 0;         // (the careful path's invariant; the fast loop masks on exit)
  bool input_ended = false;   // refill has reported the end of the entry's data
  uint8_t* window;
  uint32_t pos = 0;           // write position in the window
  bool wrapped = false;       // the window has been flushed at least once

  explicit inflater(decoder_io& d) : io(d), window(d.window) { load(); }

  void load() {
    in = *io.read_ptr;
    int32_t n = *io.unread_count;
    in_end = in + (n > 0 ? n : 0);
  }
  void store() {
    *io.read_ptr = in;
    *io.unread_count = static_cast<int32_t>(in_end - in);
  }

  // Makes `n` bits available, one byte at a time; false when the input ends
  // first (the bits that were there stay).
  bool fill(unsigned n) {
    while (count < n) {
      if (in == in_end) {
        if (input_ended) return false;
        store();
        bool more = io.refill(io.opaque);
        load();
        if (!more || in == in_end) {
          input_ended = true;
          return false;
        }
      }
      bits |= uint64_t(*in++) << count;
      count += 8;
    }
    return true;
  }
  void drop(unsigned n) {
    bits >>= n;
    count -= n;
  }
  uint32_t take(unsigned n) {
    uint32_t v = static_cast<uint32_t>(low_bits(bits, n));
    drop(n);
    return v;
  }

  // One table lookup in the careful path. The lookup itself may run on
  // fewer bits than the table's width near the end of the input (the
  // missing bits read as 0); the entry found counts only if its whole code
  // and extra bits were there.
  bool decode(const uint32_t* t, unsigned main_bits, uint32_t& e) {
    fill(main_bits);
    e = t[low_bits(bits, main_bits)];
    if (e & HUFF_LINK) {
      fill(main_bits + huff_drop(e));
      e = t[huff_value(e) + low_bits(bits >> main_bits, huff_drop(e))];
    }
    return count >= huff_drop(e) || fill(huff_drop(e));
  }
  // Value of a base entry plus its extra bits; consumes them.
  uint32_t take_based(uint32_t e) {
    uint32_t v = huff_value(e) + static_cast<uint32_t>(low_bits(bits, huff_drop(e)) >> huff_code_length(e));
    drop(huff_drop(e));
    return v;
  }

  int flush_window() {
    int r = io.flush(io.opaque, window, WINDOW);
    pos = 0;
    wrapped = true;
    return r;
  }

  // A match in the careful path, in runs that stop at the end of the window
  // (source or destination) or of the match.
  int copy_match(uint32_t dist, uint32_t len) {
    while (len) {
      uint32_t src = (pos - dist) & (WINDOW - 1);
      uint32_t n = len;
      if (n > WINDOW - pos) n = WINDOW - pos;
      if (n > WINDOW - src) n = WINDOW - src;
      if (src > pos || pos - src >= n) {
        // No overlap that matters: the source either lies wholly before the
        // run, or ahead of it (wrapped history, read before it is written).
        std::memmove(window + pos, window + src, n);
      } else {
        for (uint32_t i = 0; i < n; ++i) window[pos + i] = window[src + i];
      }
      pos += n;
      len -= n;
      if (pos == WINDOW) {
        if (int r = flush_window()) return r;
      }
    }
    return DECODE_OK;
  }

  int fast_codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db);
  int codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db);
  int stored();
  int dynamic(inflate_tables& tables, int* tree_message);
  int run(inflate_tables& tables, int* tree_message);
};

// Entry: in_end - in >= FAST_INPUT_MARGIN and pos <= FAST_OUTPUT_LIMIT are
// checked at the top of every iteration, which is what makes its unchecked
// reads and writes safe (see the margins above). Between refills it relies
// on the bit budget: a refill leaves 56 to 63 bits; a literal/length code
// with its extra bits takes at most 15 + 5, a distance at most 15 + 13, two
// literals at most 30, and the distance is decoded after a second refill.
// Returns FAST_MARGIN_LEFT when a margin runs out, else the block's result.
// On return the bit buffer holds no bits above `count`.
int inflater::fast_codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db) {
  uint64_t b = bits;
  unsigned k = count;
  uint8_t* p = in;
  uint8_t* const w = window;
  uint32_t o = pos;
  int result = FAST_MARGIN_LEFT;
  auto refill = [&] {
    b |= load_le64(p) << k;
    p += (63 - k) >> 3;
    k |= 56;
  };
  while (in_end - p >= FAST_INPUT_MARGIN && o <= FAST_OUTPUT_LIMIT) {
    refill();
    uint32_t e = huff_lookup(lt, lb, b);
    if (e & HUFF_LITERAL) {
      b >>= huff_drop(e);
      k -= huff_drop(e);
      w[o++] = static_cast<uint8_t>(huff_value(e));
      e = huff_lookup(lt, lb, b);
      if (e & HUFF_LITERAL) {
        b >>= huff_drop(e);
        k -= huff_drop(e);
        w[o++] = static_cast<uint8_t>(huff_value(e));
        continue;
      }
    }
    if (e & (HUFF_END_OF_BLOCK | HUFF_INVALID)) {
      if (e & HUFF_END_OF_BLOCK) {
        b >>= huff_drop(e);
        k -= huff_drop(e);
        result = DECODE_OK;
      } else {
        result = DECODE_BAD_DATA;
      }
      break;
    }
    uint32_t len = huff_value(e) + static_cast<uint32_t>(low_bits(b, huff_drop(e)) >> huff_code_length(e));
    b >>= huff_drop(e);
    k -= huff_drop(e);
    refill();
    uint32_t d = huff_lookup(dt, db, b);
    if (d & HUFF_INVALID) {
      result = DECODE_BAD_DATA;
      break;
    }
    uint32_t dist = huff_value(d) + static_cast<uint32_t>(low_bits(b, huff_drop(d)) >> huff_code_length(d));
    b >>= huff_drop(d);
    k -= huff_drop(d);
    if (dist > o) {
      // The source lies in the previous round of the window, or before the
      // start of the entry's output, which no valid stream refers to.
      if (!wrapped) {
        result = DECODE_BAD_DATA;
        break;
      }
      pos = o;
      copy_match(dist, len);  // cannot reach the window's end (o + len < WINDOW): no flush
      o = pos;
      continue;
    }
    uint8_t* dst = w + o;
    const uint8_t* src = dst - dist;
    o += len;
    // Exact copies: history ahead of the write position is the oldest part
    // of the window and must not be overwritten, so no store runs past the
    // match. With dist >= 8 every 8-byte load reads finished bytes; the last
    // store may overlap the previous one and writes the same values.
    if (dist >= 8) {
      if (len >= 8) {
        uint32_t i = 0;
        do {
          copy8(dst + i, src + i);
          i += 8;
        } while (i + 8 <= len);
        copy8(dst + len - 8, src + len - 8);
      } else if (len >= 4) {
        copy4(dst, src);
        copy4(dst + len - 4, src + len - 4);
      } else {
        dst[0] = src[0];
        dst[1] = src[1];
        dst[2] = src[2];
      }
    } else if (dist == 1) {
      std::memset(dst, src[0], len);
    } else if (dist >= 4) {
      uint32_t i = 0;
      for (; i + 4 <= len; i += 4) copy4(dst + i, src + i);
      for (; i < len; ++i) dst[i] = src[i];
    } else {
      for (uint32_t i = 0; i < len; ++i) dst[i] = src[i];
    }
  }
  bits = low_bits(b, k);
  count = k;
  in = p;
  pos = o;
  return result;
}

int inflater::codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db) {
  for (;;) {
    if (in_end - in >= FAST_INPUT_MARGIN && pos <= FAST_OUTPUT_LIMIT) {
      int r = fast_codes(lt, lb, dt, db);
      if (r != FAST_MARGIN_LEFT) return r;
    }
    uint32_t e;
    if (!decode(lt, lb, e)) return DECODE_BAD_DATA;
    if (e & HUFF_LITERAL) {
      drop(huff_drop(e));
      window[pos++] = static_cast<uint8_t>(huff_value(e));
      if (pos == WINDOW) {
        if (int r = flush_window()) return r;
      }
      continue;
    }
    if (e & HUFF_END_OF_BLOCK) {
      drop(huff_drop(e));
      return DECODE_OK;
    }
    if (e & HUFF_INVALID) return DECODE_BAD_DATA;
    uint32_t len = take_based(e);
    uint32_t d;
    if (!decode(dt, db, d) || (d & HUFF_INVALID)) return DECODE_BAD_DATA;
    uint32_t dist = take_based(d);
    if (dist > pos && !wrapped) return DECODE_BAD_DATA;
    if (int r = copy_match(dist, len)) return r;
  }
}

int inflater::stored() {
  drop(count & 7);
  if (!fill(32)) return DECODE_BAD_DATA;
  uint32_t len = take(16);
  uint32_t nlen = take(16);
  if (len + nlen != 0xFFFF) return DECODE_BAD_DATA;
  while (len) {
    uint32_t n;
    if (count >= 8) {
      // Whole bytes the bit buffer already holds come first.
      window[pos] = static_cast<uint8_t>(take(8));
      n = 1;
    } else if (in < in_end) {
      n = static_cast<uint32_t>(in_end - in);
      if (n > len) n = len;
      if (n > WINDOW - pos) n = WINDOW - pos;
      std::memcpy(window + pos, in, n);
      in += n;
    } else {
      if (!fill(8)) return DECODE_BAD_DATA;
      continue;
    }
    pos += n;
    len -= n;
    if (pos == WINDOW) {
      if (int r = flush_window()) return r;
    }
  }
  return DECODE_OK;
}

int inflater::dynamic(inflate_tables& tables, int* tree_message) {
  if (!fill(14)) return DECODE_BAD_DATA;
  unsigned nl = take(5) + 257;
  unsigned nd = take(5) + 1;
  unsigned nc = take(4) + 4;
  if (nl > 288 || nd > 32) return DECODE_BAD_DATA;

  uint8_t pre[19] = {};
  for (unsigned i = 0; i < nc; ++i) {
    if (!fill(3)) return DECODE_BAD_DATA;
    pre[PRECODE_ORDER[i]] = static_cast<uint8_t>(take(3));
  }
  huff_table pt{tables.precode, inflate_tables::PRECODE_SIZE, 0};
  int r = huff_build(pre, 19, PRECODE_TEMPLATES.data(), INFLATE_PRECODE_MAIN_BITS, false, pt);
  if (r == HUFF_OVER_SUBSCRIBED || r == HUFF_NO_ROOM) return r;
  if (r != HUFF_OK || pt.main_bits == 0) return DECODE_BAD_DATA;

  // Literal/length and distance lengths form one sequence; repeats may run
  // from one into the other.
  uint8_t lengths[288 + 32];
  unsigned n = nl + nd, i = 0, previous = 0;
  while (i < n) {
    uint32_t e;
    if (!decode(tables.precode, pt.main_bits, e) || (e & HUFF_INVALID)) return DECODE_BAD_DATA;
    drop(huff_drop(e));
    unsigned sym = huff_value(e);
    if (sym < 16) {
      lengths[i++] = static_cast<uint8_t>(sym);
      previous = sym;
      continue;
    }
    unsigned repeat, value = 0;
    if (sym == 16) {
      if (!fill(2)) return DECODE_BAD_DATA;
      repeat = 3 + take(2);
      value = previous;
    } else if (sym == 17) {
      if (!fill(3)) return DECODE_BAD_DATA;
      repeat = 3 + take(3);
      previous = 0;
    } else {
      if (!fill(7)) return DECODE_BAD_DATA;
      repeat = 11 + take(7);
      previous = 0;
    }
    if (i + repeat > n) return DECODE_BAD_DATA;
    std::memset(lengths + i, static_cast<int>(value), repeat);
    i += repeat;
  }

  huff_table lt{tables.litlen, inflate_tables::LITLEN_SIZE, 0};
  r = huff_build(lengths, nl, INFLATE_LITLEN_TEMPLATES.data(), INFLATE_LITLEN_MAIN_BITS, false, lt);
  if (r == HUFF_INCOMPLETE || (r == HUFF_OK && lt.main_bits == 0)) {
    *tree_message = INFLATE_INCOMPLETE_LTREE;
    return DECODE_BAD_DATA;
  }
  if (r != HUFF_OK) return r;
  huff_table dt{tables.dist, inflate_tables::DIST_SIZE, 0};
  r = huff_build(lengths + nl, nd, INFLATE_DIST_TEMPLATES.data(), INFLATE_DIST_MAIN_BITS, true, dt);
  if (r != HUFF_OK && r != HUFF_INCOMPLETE) return r;
  if (dt.main_bits == 0 && nl > 257) {
    *tree_message = INFLATE_INCOMPLETE_DTREE;
    return DECODE_BAD_DATA;
  }
  return codes(tables.litlen, lt.main_bits, tables.dist, dt.main_bits);
}

int inflater::run(inflate_tables& tables, int* tree_message) {
  bool last;
  do {
    if (!fill(3)) return DECODE_BAD_DATA;
    last = take(1);
    int r;
    switch (take(2)) {
      case 0: r = stored(); break;
      case 1:
        r = codes(INFLATE_FIXED_LITLEN, INFLATE_FIXED_LITLEN_BITS, INFLATE_FIXED_DIST,
                  INFLATE_FIXED_DIST_BITS);
        break;
      case 2: r = dynamic(tables, tree_message); break;
      default: r = DECODE_BAD_BLOCK; break;
    }
    if (r) return r;
  } while (!last);
  return io.flush(io.opaque, window, pos);
}

}  // namespace

int inflate_stream(decoder_io& io, inflate_tables& tables, int* tree_message) {
  *tree_message = INFLATE_NO_TREE_MESSAGE;
  inflater s(io);
  int r = s.run(tables, tree_message);
  s.store();
  return r;
}
