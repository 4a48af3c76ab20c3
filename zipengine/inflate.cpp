// Portable. The Deflate decoder: block headers, code tables and the decoding
// loops. Output goes straight into the staging buffer behind 32 KiB of
// history (inflate.h); each 32 KiB of new output is flushed and becomes the
// history of what follows.
//
// Two loops decode codes. The fast loop runs while enough input is buffered
// that it never needs to refill in the middle of a symbol, and while the
// write position is before the flush point; it keeps 56 or more bits in a
// 64-bit buffer and reads the input eight bytes at a time. The careful loop
// takes one symbol at a time, a byte at a time, and handles refills and the
// end of the input; it hands back to the fast loop as soon as the input
// margin is there again.
#include "inflate.h"

#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "fixed_tables.h"
#include "inflate_symbols.h"

namespace {

// The fast loop's input margin. Each iteration refills twice; a refill
// loads eight bytes and moves on at most seven, so sixteen bytes keep both
// loads inside the buffer.
constexpr int64_t FAST_INPUT_MARGIN = 16;
// An iteration starts before the flush point and writes at most two
// literals and a match of 258 bytes, whose copy may store up to 15 bytes
// beyond its end: all inside the buffer's room past the flush point.
constexpr uint32_t COPY_OVERRUN = 15;
static_assert(INFLATE_FLUSH_AT - 1 + 2 + 258 + COPY_OVERRUN <= INFLATE_BUFFER_SIZE);

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
inline void copy16(uint8_t* d, const uint8_t* s) { std::memcpy(d, s, 16); }
inline uint64_t low_bits(uint64_t v, unsigned n) { return v & ((uint64_t(1) << n) - 1); }

enum : int { FAST_MARGIN_LEFT = -1 };

struct inflater {
  decoder_io& io;
  uint8_t* in = nullptr;      // local copies of the buffer state
  uint8_t* in_end = nullptr;
  uint64_t bits = 0;          // next input bits, bit 0 first; no set bits above `count`
  unsigned count = 0;         // (the careful path's invariant; the fast loop masks on exit)
  bool input_ended = false;   // refill has reported the end of the entry's data
  uint8_t* buf;               // the staging buffer (inflate.h)
  uint32_t pos = INFLATE_HISTORY;     // write position in it
  uint32_t origin = INFLATE_HISTORY;  // where this entry's output starts (0 once
                                      // a whole history has been written)

  inflater(decoder_io& d, uint8_t* buffer) : io(d), buf(buffer) { load(); }

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

  // Flushes the 32 KiB of new output and moves it (with whatever lies
  // beyond the flush point) down to become the history.
  int flush_half() {
    int r = io.flush(io.opaque, buf + INFLATE_HISTORY, INFLATE_HISTORY);
    std::memmove(buf, buf + INFLATE_HISTORY, pos - INFLATE_HISTORY);
    pos -= INFLATE_HISTORY;
    origin = 0;
    return r;
  }
  int flush_if_full() { return pos >= INFLATE_FLUSH_AT ? flush_half() : DECODE_OK; }

  // A match in the careful path, byte by byte (so overlapping matches
  // repeat their bytes). The caller has checked the distance.
  void copy_match(uint32_t dist, uint32_t len) {
    uint8_t* d = buf + pos;
    const uint8_t* s = d - dist;
    for (uint32_t i = 0; i < len; ++i) d[i] = s[i];
    pos += len;
  }

  inline __attribute__((always_inline)) int fast_loop(const uint32_t* lt, unsigned lb, const uint32_t* dt,
                                                      unsigned db);
  int fast_codes_generic(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db);
  int fast_codes_bmi2(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db);
  int fast_codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db);
  int codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db);
  int stored();
  int dynamic(inflate_workspace& tables, int* tree_message);
  int run(inflate_workspace& tables, int* tree_message);
};

// Entry: in_end - in >= FAST_INPUT_MARGIN and pos < INFLATE_FLUSH_AT are
// checked at the top of every iteration, which is what makes its unchecked
// reads and writes safe (see the margins above). Between refills it relies
// on the bit budget: a refill leaves 56 to 63 bits; a literal/length code
// with its extra bits takes at most 15 + 5, a distance at most 15 + 13,
// three literals at most 45 (leaving 11: a fourth code is not looked up),
// two literals 30 (leaving 26 for a length code), and the distance is
// decoded after a second refill.
// Returns FAST_MARGIN_LEFT when a margin runs out, else the block's result.
// On return the bit buffer holds no bits above `count`.
int inflater::fast_loop(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db) {
  uint64_t b = bits;
  unsigned k = count;
  uint8_t* p = in;
  uint8_t* o = buf + pos;  // write pointer
  // Kept in locals: every output store may alias any member.
  uint8_t* const end = in_end;
  const uint8_t* const first = buf + origin;
  const uint8_t* const flush_at = buf + INFLATE_FLUSH_AT;
  const uint64_t lmask = (uint64_t(1) << lb) - 1;
  int result = FAST_MARGIN_LEFT;
  auto refill = [&] {
    b |= load_le64(p) << k;
    p += (63 - k) >> 3;
    k |= 56;
  };
  while (end - p >= FAST_INPUT_MARGIN && o < flush_at) {
    refill();
    // Literals straight from the first level take one test each; a link
    // entry has no literal flag and is resolved below.
    uint32_t e = lt[b & lmask];
    if (e & HUFF_LITERAL) {
      b >>= huff_drop(e);
      k -= huff_drop(e);
      *o++ = static_cast<uint8_t>(huff_value(e));
      e = lt[b & lmask];
      if (e & HUFF_LITERAL) {
        b >>= huff_drop(e);
        k -= huff_drop(e);
        *o++ = static_cast<uint8_t>(huff_value(e));
        e = lt[b & lmask];
        if (e & HUFF_LITERAL) {
          b >>= huff_drop(e);
          k -= huff_drop(e);
          *o++ = static_cast<uint8_t>(huff_value(e));
          continue;
        }
        // At least 26 bits are left: enough for a long literal, or a length
        // code and its extra bits (20 at most).
      }
    }
    if (e & HUFF_LINK) {
      e = lt[huff_value(e) + ((b >> lb) & ((1u << huff_drop(e)) - 1))];
      if (e & HUFF_LITERAL) {
        b >>= huff_drop(e);
        k -= huff_drop(e);
        *o++ = static_cast<uint8_t>(huff_value(e));
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
    // No valid stream refers to bytes before the start of the entry.
    if (dist > static_cast<uint32_t>(o - first)) {
      result = DECODE_BAD_DATA;
      break;
    }
    uint8_t* dst = o;
    const uint8_t* src = dst - dist;
    uint8_t* const stop = dst + len;
    o += len;
    // Whole words, possibly past the match's end (COPY_OVERRUN): the bytes
    // there are not history yet and are written again later. With a
    // distance of at least the word size every load reads finished bytes.
    if (dist >= 16) {
      do {
        copy16(dst, src);
        dst += 16;
        src += 16;
      } while (dst < stop);
    } else if (dist >= 8) {
      do {
        copy8(dst, src);
        dst += 8;
        src += 8;
      } while (dst < stop);
    } else if (dist == 1) {
      uint64_t v = 0x0101010101010101ull * src[0];
      do {
        std::memcpy(dst, &v, 8);
        dst += 8;
      } while (dst < stop);
    } else {
      // Short periods: bytes one at a time.
      do {
        *dst++ = *src++;
      } while (dst < stop);
    }
  }
  bits = low_bits(b, k);
  count = k;
  in = p;
  pos = static_cast<uint32_t>(o - buf);
  return result;
}

int inflater::fast_codes_generic(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db) {
  return fast_loop(lt, lb, dt, db);
}

#if defined(__x86_64__) || defined(__i386__)
// The same loop compiled for BMI2, whose shifts by a register amount take
// one cycle and no flag dependency: the shift by each entry's bit count is
// on the loop's critical path.
__attribute__((target("bmi2"))) int inflater::fast_codes_bmi2(const uint32_t* lt, unsigned lb,
                                                               const uint32_t* dt, unsigned db) {
  return fast_loop(lt, lb, dt, db);
}

bool cpu_has_bmi2() {
  unsigned a, b, c, d;
  return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_BMI2);
}
const bool HAVE_BMI2 = cpu_has_bmi2();
#else
int inflater::fast_codes_bmi2(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db) {
  return fast_loop(lt, lb, dt, db);
}
const bool HAVE_BMI2 = false;
#endif

int inflater::fast_codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db) {
  return HAVE_BMI2 ? fast_codes_bmi2(lt, lb, dt, db) : fast_codes_generic(lt, lb, dt, db);
}

int inflater::codes(const uint32_t* lt, unsigned lb, const uint32_t* dt, unsigned db) {
  for (;;) {
    if (in_end - in >= FAST_INPUT_MARGIN && pos < INFLATE_FLUSH_AT) {
      int r = fast_codes(lt, lb, dt, db);
      if (r != FAST_MARGIN_LEFT) return r;
    }
    if (int r = flush_if_full()) return r;
    uint32_t e;
    if (!decode(lt, lb, e)) return DECODE_BAD_DATA;
    if (e & HUFF_LITERAL) {
      drop(huff_drop(e));
      buf[pos++] = static_cast<uint8_t>(huff_value(e));
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
    if (dist > pos - origin) return DECODE_BAD_DATA;
    copy_match(dist, len);
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
      buf[pos] = static_cast<uint8_t>(take(8));
      n = 1;
    } else if (in < in_end) {
      n = static_cast<uint32_t>(in_end - in);
      if (n > len) n = len;
      if (n > INFLATE_FLUSH_AT - pos) n = INFLATE_FLUSH_AT - pos;
      std::memcpy(buf + pos, in, n);
      in += n;
    } else {
      if (!fill(8)) return DECODE_BAD_DATA;
      continue;
    }
    pos += n;
    len -= n;
    if (int r = flush_if_full()) return r;
  }
  return DECODE_OK;
}

int inflater::dynamic(inflate_workspace& tables, int* tree_message) {
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
  huff_table pt{tables.precode, inflate_workspace::PRECODE_SIZE, 0};
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

  huff_table lt{tables.litlen, inflate_workspace::LITLEN_SIZE, 0};
  r = huff_build(lengths, nl, INFLATE_LITLEN_TEMPLATES.data(), INFLATE_LITLEN_MAIN_BITS, false, lt);
  if (r == HUFF_INCOMPLETE || (r == HUFF_OK && lt.main_bits == 0)) {
    *tree_message = INFLATE_INCOMPLETE_LTREE;
    return DECODE_BAD_DATA;
  }
  if (r != HUFF_OK) return r;
  huff_table dt{tables.dist, inflate_workspace::DIST_SIZE, 0};
  r = huff_build(lengths + nl, nd, INFLATE_DIST_TEMPLATES.data(), INFLATE_DIST_MAIN_BITS, true, dt);
  if (r != HUFF_OK && r != HUFF_INCOMPLETE) return r;
  if (dt.main_bits == 0 && nl > 257) {
    *tree_message = INFLATE_INCOMPLETE_DTREE;
    return DECODE_BAD_DATA;
  }
  return codes(tables.litlen, lt.main_bits, tables.dist, dt.main_bits);
}

int inflater::run(inflate_workspace& tables, int* tree_message) {
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
  if (int r = flush_if_full()) return r;
  return io.flush(io.opaque, buf + INFLATE_HISTORY, pos - INFLATE_HISTORY);
}

}  // namespace

int inflate_stream(decoder_io& io, inflate_workspace& tables, int* tree_message) {
  *tree_message = INFLATE_NO_TREE_MESSAGE;
  inflater s(io, tables.buffer);
  int r = s.run(tables, tree_message);
  s.store();
  return r;
}
