// Portable. The Deflate decoder: block headers, code tables and the decoding
// loops. Output goes straight into the staging buffer behind 32 KiB of
// history (inflate.h), or straight into the caller's memory when it names
// some; each 32 KiB of new output is flushed and becomes the history of
// what follows.
//
// Three loops decode codes. The fast loop runs while enough input is
// buffered that it never needs to refill in the middle of a symbol, and
// while the write position is before the flush point; it keeps 56 or more
// bits in a 64-bit buffer, reads the input eight bytes at a time and takes
// up to two literals per table lookup. On 32-bit processors a narrow
// variant takes its place, with 24 or more bits in a 32-bit buffer. The
// stride loop replaces them in blocks whose literals nearly all have codes
// of one length (already-compressed data): it looks up four codes at once
// at fixed offsets, as if every code had that length, and keeps the result
// when all four were such literals. The careful loop takes one symbol at a
// time, a byte at a time, and handles refills and the end of the input; it
// hands back to the fast loops as soon as the input margin is there again.
//
// Every 32 KiB is flushed before the decoder acts on anything that follows
// it, whichever loop decoded it: the fast loops stop at the flush point, and
// a fast loop that meets an error beyond it flushes before reporting. So the
// flushes (and what the caller sees of them) do not depend on how the input
// was handed over.
#include "inflate.h"

#include <atomic>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#endif

#include "fixed_tables.h"
#include "inflate_symbols.h"

namespace {

// The fast loops' input margin. Each iteration refills twice; a refill
// loads eight bytes and moves on at most seven, so sixteen bytes keep both
// loads inside the buffer.
constexpr int64_t FAST_INPUT_MARGIN = 16;
// An iteration starts before the flush point and writes at most four
// literal bytes (a literal entry is stored as two bytes even when it holds
// one literal) and a match of 258 bytes, whose copy writes at least 48 bytes
// and up to 15 beyond the match's end: all inside the buffer's room past
// the flush point.
constexpr uint32_t LITERAL_STORE_MAX = 4;
constexpr uint32_t COPY_WRITE_MAX = 258 + 15;
static_assert(INFLATE_FLUSH_AT - 1 + LITERAL_STORE_MAX + COPY_WRITE_MAX <= INFLATE_BUFFER_SIZE);
static_assert(INFLATE_LITLEN_MAIN_BITS <= 11 && INFLATE_DIST_MAIN_BITS <= 14);

// A block is decoded by stride when its literal codes of one length would
// make up this share of its symbols (a code of n bits counting as 2^-n),
// in 1/32: with a smaller share the guesses fail too often to pay.
constexpr uint32_t UNIFORM_SHARE_32THS = 29;
// Marking the stride literals or making pairs takes a pass over the first
// level of the table, which pays only over thousands of symbols: a block is
// decoded without them until it has produced this many bytes.
constexpr uint32_t PREPARE_AFTER = 4096;
// Codes looked up at once by the stride loop. They take at most 44 bits,
// which leaves the 11 that the next lookup needs.
constexpr unsigned STRIDE_CODES = 4;
static_assert((STRIDE_CODES + 1) * INFLATE_LITLEN_MAIN_BITS <= 56);

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
inline void store_le16(uint8_t* p, uint32_t v) {
  uint16_t w = static_cast<uint16_t>(v);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  w = __builtin_bswap16(w);
#endif
  std::memcpy(p, &w, 2);
}
inline void copy16(uint8_t* d, const uint8_t* s) { std::memcpy(d, s, 16); }
inline uint64_t low_bits(uint64_t v, unsigned n) { return v & ((uint64_t(1) << n) - 1); }
// Value of a base entry (length or distance) plus its extra bits, from the
// bits as they were before the entry was taken.
inline uint32_t based_value(uint32_t e, uint64_t bits) {
  return huff_value(e) + static_cast<uint32_t>(low_bits(bits, huff_drop(e)) >> huff_code_length(e));
}

// Short periods (distances 1 to 7) as one 64-bit word: the period's bytes
// times PERIOD_REPEAT repeats them across the word (the copies do not
// overlap, so nothing carries), and the word is stored PERIOD_STRIDE bytes
// apart, a whole number of periods.
constexpr uint64_t PERIOD_REPEAT[8] = {0,
                                       0x0101010101010101ull,
                                       0x0001000100010001ull,
                                       0x0001000001000001ull,
                                       0x0000000100000001ull,
                                       0x0000010000000001ull,
                                       0x0001000000000001ull,
                                       0x0100000000000001ull};
constexpr uint8_t PERIOD_STRIDE[8] = {0, 8, 8, 6, 8, 5, 6, 7};

// A match in the fast loops. Whole words are stored, possibly past the
// match's end (COPY_WRITE_MAX): the bytes there are not history yet and are
// written again later. A word is loaded only from bytes that are finished
// (its source ends at or before its destination starts). Below a distance
// of 16 a match repeats a short period, which is loaded once, from the
// history before the match, and stored period after period.
inline __attribute__((always_inline)) void copy_match(uint8_t* dst, const uint8_t* src, uint32_t len) {
  const uint32_t dist = static_cast<uint32_t>(dst - src);
  uint8_t* const stop = dst + len;
  if (dist >= 16) {
    // Most matches are 48 bytes or shorter: three words and no loop.
    copy16(dst, src);
    copy16(dst + 16, src + 16);
    copy16(dst + 32, src + 32);
    if (len > 48) {
      dst += 48;
      src += 48;
      do {
        copy16(dst, src);
        dst += 16;
        src += 16;
      } while (dst < stop);
    }
  } else if (dist >= 8) {
    // The period and what follows it (garbage, overwritten by the next
    // store).
    uint8_t period[16];
    std::memcpy(period, src, 16);
    do {
      std::memcpy(dst, period, 16);
      dst += dist;
    } while (dst < stop);
  } else {
    uint64_t v = low_bits(load_le64(src), 8 * dist) * PERIOD_REPEAT[dist];
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    v = __builtin_bswap64(v);
#endif
    const uint32_t stride = PERIOD_STRIDE[dist];
    do {
      std::memcpy(dst, &v, 8);
      dst += stride;
    } while (dst < stop);
  }
}

enum : int { FAST_MARGIN_LEFT = -1 };

// The fast loops' bit buffer: `b` the bits, `k` their count in its low byte
// only (entries are subtracted whole, their low byte being the count they
// take, which leaves junk above), `p` the input.
inline __attribute__((always_inline)) void fast_refill(uint64_t& b, uint32_t& k, uint8_t*& p) {
  b |= load_le64(p) << (k & 63);
  p += 7 - ((k >> 3) & 7);
  k |= 56;
}
inline __attribute__((always_inline)) void fast_take(uint64_t& b, uint32_t& k, uint32_t e) {
  b >>= e & 63;
  k -= e;
}
// Value of a length or distance entry from the bits before it is taken:
// its base plus its extra bits. The code length sits in bits 8-11 with
// zeros above it up to bit 13 (no flags), so a shift by (e >> 8) is exact.
// With BMI2 the code and extra bits are cut out with one BZHI, which the
// compiler does not always find on its own.
template <bool BMI2>
inline __attribute__((always_inline)) uint32_t fast_based_value(uint32_t e, uint64_t bits) {
  uint64_t with_code;
#if defined(__x86_64__)
  if constexpr (BMI2) {
    asm("bzhi %q2, %1, %0" : "=r"(with_code) : "r"(bits), "r"(e));
  } else
#endif
  {
    with_code = bits & ((uint64_t(1) << static_cast<uint8_t>(e)) - 1);
  }
  return (e >> 16) + static_cast<uint32_t>(with_code >> ((e >> 8) & 63));
}
// A literal entry: one literal, or two.
inline __attribute__((always_inline)) void fast_literal(uint64_t& b, uint32_t& k, uint8_t*& o, uint32_t e) {
  fast_take(b, k, e);
  store_le16(o, e >> 12);
  o += e >> 30;  // 1, or 2 for a pair
}

// The narrow loop's bit buffer (see narrow_loop): one 32-bit word, with the
// count's low byte below 32 at every refill, which brings it to 24 to 31.
// What an entry takes is at most 28 bits, so its count fits five bits.
inline uint32_t load_le32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
#if defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
  v = __builtin_bswap32(v);
#endif
  return v;
}
inline __attribute__((always_inline)) void narrow_refill(uint32_t& b, uint32_t& k, uint8_t*& p) {
  b |= load_le32(p) << (k & 31);
  p += 3 - ((k >> 3) & 3);
  k |= 24;
}
inline __attribute__((always_inline)) void narrow_take(uint32_t& b, uint32_t& k, uint32_t e) {
  b >>= e & 31;
  k -= e;
}
inline __attribute__((always_inline)) uint32_t narrow_based_value(uint32_t e, uint32_t b) {
  return (e >> 16) + ((b & ((uint32_t(1) << (e & 31)) - 1)) >> ((e >> 8) & 31));
}
inline __attribute__((always_inline)) void narrow_literal(uint32_t& b, uint32_t& k, uint8_t*& o, uint32_t e) {
  narrow_take(b, k, e);
  store_le16(o, e >> 12);
  o += e >> 30;
}

// The narrow loop is the one of 32-bit processors; tests may choose it
// anywhere (inflate_use_narrow_loop).
std::atomic<bool> g_narrow_chosen{false};
bool use_narrow_loop() { return sizeof(void*) < 8 || g_narrow_chosen.load(std::memory_order_relaxed); }

// How the literals of a block's table were prepared (prepare_literals).
struct literal_mode {
  unsigned uniform_length = 0;  // stride decoding with codes of this length; 0: the fast loop
};

struct inflater {
  decoder_io& io;
  uint8_t* in = nullptr;      // local copies of the buffer state
  uint8_t* in_end = nullptr;
  uint64_t bits = 0;          // next input bits, bit 0 first; no set bits above `count`
  unsigned count = 0;         // (the careful path's invariant; the fast loops mask on exit)
  bool input_ended = false;   // refill has reported the end of the entry's data
  const bool narrow = use_narrow_loop();  // the 32-bit loop instead of the 64-bit one
  uint8_t* buf;               // the staging buffer (inflate.h), or a window onto io.direct
  uint8_t* staging;           // the staging buffer itself
  size_t direct_left = 0;     // while decoding straight into io.direct: its bytes from the
                              // new half (buf + INFLATE_HISTORY) on; 0 when staging
  uint32_t pos = INFLATE_HISTORY;     // write position in it
  uint32_t origin = INFLATE_HISTORY;  // where this entry's output starts (0 once
                                      // a whole history has been written)
  uint64_t flushed = 0;                  // bytes flushed in whole halves so far
  uint32_t fast_stop = INFLATE_FLUSH_AT;  // where the fast loops stop: the flush point,
                                          // or where the block's table is prepared

  inflater(decoder_io& d, uint8_t* buffer) : io(d), buf(buffer), staging(buffer) {
    load();
    // Straight into the destination when a whole staging buffer's worth
    // fits there: its first 32 KiB of output then sit where the staging
    // buffer's new half would, and the bytes before it are never read.
    if (io.direct && io.direct_size >= INFLATE_BUFFER_SIZE - INFLATE_HISTORY) {
      buf = io.direct - INFLATE_HISTORY;
      direct_left = io.direct_size;
    }
  }

  void load() {
    in = *io.read_ptr;
    int32_t n = *io.unread_count;
    in_end = in + (n > 0 ? n : 0);
  }
  void store() {
    *io.read_ptr = in;
    *io.unread_count = static_cast<int32_t>(in_end - in);
  }

  // Makes `n` bits available, eight bytes at a time while the buffer holds
  // them, else a byte at a time; false when the input ends first (the bits
  // that were there stay).
  bool fill(unsigned n) {
    if (count >= n) return true;
    if (in_end - in >= 8) {
      // The narrow loop starts only on a word's worth of bits: fill to one.
      unsigned bytes = ((narrow ? 31 : 63) - count) >> 3;
      bits |= low_bits(load_le64(in), 8 * bytes) << count;
      in += bytes;
      count += 8 * bytes;
      if (count >= n) return true;
    }
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
  // and extra bits were there. In literal/length tables (LITLEN), of a pair
  // of literals only the first counts here; other tables have no literal
  // entries (and distance bases use the bits that mark them).
  template <bool LITLEN>
  bool decode(const uint32_t* t, unsigned main_bits, uint32_t& e) {
    fill(main_bits);
    e = t[low_bits(bits, main_bits)];
    const bool literal = LITLEN && inflate_is_literal(e);
    if (!literal && (e & HUFF_LINK)) {
      fill(main_bits + huff_drop(e));
      e = t[huff_value(e) + low_bits(bits >> main_bits, huff_drop(e))];
    }
    unsigned need = LITLEN && inflate_is_literal(e) ? inflate_literal_code_length(e) : huff_drop(e);
    return count >= need || fill(need);
  }
  // Value of a base entry plus its extra bits; consumes them.
  uint32_t take_based(uint32_t e) {
    uint32_t v = based_value(e, bits);
    drop(huff_drop(e));
    return v;
  }

  // Flushes the 32 KiB of new output and moves it (with whatever lies
  // beyond the flush point) down to become the history. Decoding straight
  // into the destination, the window moves up instead, as long as a whole
  // staging buffer's worth still fits there; the rest of the output is
  // staged.
  int flush_half() {
    int r = io.flush(io.opaque, buf + INFLATE_HISTORY, INFLATE_HISTORY);
    if (!direct_left) {
      std::memmove(buf, buf + INFLATE_HISTORY, pos - INFLATE_HISTORY);
    } else if (direct_left - INFLATE_HISTORY >= INFLATE_BUFFER_SIZE - INFLATE_HISTORY) {
      buf += INFLATE_HISTORY;
      direct_left -= INFLATE_HISTORY;
    } else {
      std::memcpy(staging, buf + INFLATE_HISTORY, pos - INFLATE_HISTORY);
      buf = staging;
      direct_left = 0;
    }
    pos -= INFLATE_HISTORY;
    origin = 0;
    flushed += INFLATE_HISTORY;
    return r;
  }
  int flush_if_full() { return pos >= INFLATE_FLUSH_AT ? flush_half() : DECODE_OK; }
  uint64_t produced() const { return flushed + (pos - INFLATE_HISTORY); }

  // A match in the careful path, byte by byte (so overlapping matches
  // repeat their bytes). The caller has checked the distance.
  void copy_match_bytes(uint32_t dist, uint32_t len) {
    uint8_t* d = buf + pos;
    const uint8_t* s = d - dist;
    for (uint32_t i = 0; i < len; ++i) d[i] = s[i];
    pos += len;
  }

  template <bool STRIDE, bool BMI2>
  inline __attribute__((always_inline)) int fast_loop(const inflate_code_tables& ct, unsigned stride);
  int fast_codes_generic(const inflate_code_tables& ct, unsigned stride);
  int fast_codes_bmi2(const inflate_code_tables& ct, unsigned stride);
  int stride_codes_generic(const inflate_code_tables& ct, unsigned stride);
  int stride_codes_bmi2(const inflate_code_tables& ct, unsigned stride);
  template <bool BMI2>
  inline __attribute__((always_inline)) int narrow_loop(const inflate_code_tables& ct);
  int narrow_codes_generic(const inflate_code_tables& ct);
  int narrow_codes_bmi2(const inflate_code_tables& ct);
  int fast_codes(const inflate_code_tables& ct, unsigned stride);
  int codes(const inflate_code_tables& ct, uint32_t* table_to_prepare, const uint8_t* lengths);
  int stored();
  int dynamic(inflate_workspace& tables, int* tree_message);
  int run(inflate_workspace& tables, int* tree_message);
};

// Entry: in_end - in >= FAST_INPUT_MARGIN and pos < fast_stop (at most the
// flush point); both are checked again before every iteration, which is
// what makes its unchecked reads and writes safe (see the margins above).
//
// Between refills it relies on the bit budget: a refill leaves 56 to 63
// bits. Each first-level literal entry takes at most 11 (both codes of a
// pair fit the first level), a sub-table literal at most 15, a length code
// with its extra bits at most 20, a distance at most 28. An iteration takes
// up to three literal entries (33 bits), or two and a length code (42),
// then refills before it takes the distance. The next iteration's first
// entry is looked up before the refill at its top, from the 11 or more bits
// still there (refilling only adds bits above them). The distance entry is
// looked up before the second refill too, from at least 14 bits.
//
// The stride loop (STRIDE) looks up STRIDE_CODES entries at `stride`-bit
// offsets right after the refill; an entry marked INFLATE_UNIFORM is a
// literal of exactly `stride` bits, so when all of them are marked they
// are the next codes. Otherwise it takes one symbol the fast loop's way.
//
// `k` holds the bit count in its low byte only: entries are subtracted
// whole (their low byte is the count they take), which leaves junk above
// the low byte. Returns FAST_MARGIN_LEFT when a margin runs out, else the
// block's result. On return the bit buffer holds no bits above `count`.
template <bool STRIDE, bool BMI2>
int inflater::fast_loop(const inflate_code_tables& ct, unsigned stride) {
  constexpr unsigned lb = INFLATE_LITLEN_MAIN_BITS, db = INFLATE_DIST_MAIN_BITS;
  constexpr uint64_t lmask = (uint64_t(1) << lb) - 1, dmask = (uint64_t(1) << db) - 1;
  const uint32_t* const lt = ct.litlen;
  const uint32_t* const dt = ct.dist;
  uint64_t b = bits;
  uint32_t k = count;
  uint8_t* p = in;
  uint8_t* o = buf + pos;  // write pointer
  // Kept in locals: every output store may alias any member.
  const uint8_t* const in_last = in_end - FAST_INPUT_MARGIN;
  const uint8_t* const first = buf + origin;
  const uint8_t* const stop = buf + fast_stop;
  int result = FAST_MARGIN_LEFT;

  fast_refill(b, k, p);
  uint32_t e = lt[b & lmask];
  uint32_t len, d;
  const uint8_t* src;
  for (;;) {
    if constexpr (STRIDE) {
      uint32_t ei[STRIDE_CODES];
      uint32_t all = INFLATE_UNIFORM;
      for (unsigned i = 0; i < STRIDE_CODES; ++i) {
        ei[i] = i == 0 ? e : lt[(b >> (i * stride)) & lmask];
        all &= ei[i];
      }
      if (all) {
        for (unsigned i = 0; i < STRIDE_CODES; ++i) o[i] = inflate_literal_byte(ei[i]);
        o += STRIDE_CODES;
        b >>= STRIDE_CODES * stride;
        k -= STRIDE_CODES * stride;
        e = lt[b & lmask];
        goto next;
      }
      if (inflate_is_literal(e)) {
        fast_literal(b, k, o, e);
        e = lt[b & lmask];
        goto next;
      }
    } else if (inflate_is_literal(e)) {
      fast_literal(b, k, o, e);
      e = lt[b & lmask];
      if (inflate_is_literal(e)) {
        fast_literal(b, k, o, e);
        e = lt[b & lmask];
        if (inflate_is_literal(e)) {
          fast_literal(b, k, o, e);
          e = lt[b & lmask];
          goto next;
        }
      }
      // A match after literals: up to 42 bits are gone.
      if (e & (HUFF_LINK | HUFF_END_OF_BLOCK | HUFF_INVALID)) goto exceptional;
      len = fast_based_value<BMI2>(e, b);
      fast_take(b, k, e);
      d = dt[b & dmask];
      fast_refill(b, k, p);
      goto distance;
    }
    // A match first: its length took at most 20 bits, so the distance (28)
    // fits, and the next lookup (11) too unless the length was a long one.
    if (e & (HUFF_LINK | HUFF_END_OF_BLOCK | HUFF_INVALID)) goto exceptional;
    len = fast_based_value<BMI2>(e, b);
    fast_take(b, k, e);
    d = dt[b & dmask];
    if (__builtin_expect((k & 0xFF) < 28 + lb, 0)) fast_refill(b, k, p);
  distance:
    if (d & (HUFF_LINK | HUFF_INVALID)) {
      if (d & HUFF_LINK) d = dt[huff_value(d) + low_bits(b >> db, huff_drop(d))];
      if (d & HUFF_INVALID) {
        result = DECODE_BAD_DATA;
        break;
      }
    }
    // The source lies inside the buffer (o is at least a history ahead of
    // its start), but no valid stream refers to bytes before the start of
    // the entry.
    src = o - fast_based_value<BMI2>(d, b);
    fast_take(b, k, d);
    if (src < first) {
      result = DECODE_BAD_DATA;
      break;
    }
    e = lt[b & lmask];
    copy_match(o, src, len);
    o += len;
  next:
    if (p > in_last || o >= stop) break;
    fast_refill(b, k, p);
    continue;
  exceptional:
    // A link to a sub-table, the end of the block, or an invalid code, with
    // up to 22 bits gone.
    if (e & HUFF_LINK) {
      e = lt[huff_value(e) + low_bits(b >> lb, huff_drop(e))];
      if (inflate_is_literal(e)) {
        fast_literal(b, k, o, e);
        e = lt[b & lmask];
        goto next;
      }
      if (!(e & (HUFF_END_OF_BLOCK | HUFF_INVALID))) {
        len = fast_based_value<BMI2>(e, b);
        fast_take(b, k, e);
        d = dt[b & dmask];
        fast_refill(b, k, p);
        goto distance;
      }
    }
    if (e & HUFF_END_OF_BLOCK) {
      fast_take(b, k, e);
      result = DECODE_OK;
    } else {
      result = DECODE_BAD_DATA;
    }
    break;
  }
  count = k & 0xFF;
  bits = low_bits(b, count);
  in = p;
  pos = static_cast<uint32_t>(o - buf);
  return result;
}

// The fast loop of 32-bit processors, where the 64-bit bit buffer would
// take two of their few registers and every shift of it several
// instructions. Its bit buffer is one word, refilled to 24 to 31 bits: one
// refill serves two literals, or a literal and a length code after a refill
// of its own; a length takes its extra bits (20 bits at most), then a
// refill serves the distance, whose extra bits come after a refill of their
// own when the code and they together are more than what is there (28 bits
// at most). Entry conditions, margins and exits are those of fast_loop,
// plus a bit count below 32 on entry; the input margin covers its four
// refills an iteration (each loads four bytes and moves on at most three).
template <bool BMI2>
int inflater::narrow_loop(const inflate_code_tables& ct) {
  constexpr unsigned lb = INFLATE_LITLEN_MAIN_BITS, db = INFLATE_DIST_MAIN_BITS;
  constexpr uint32_t lmask = (1u << lb) - 1, dmask = (1u << db) - 1;
  const uint32_t* const lt = ct.litlen;
  const uint32_t* const dt = ct.dist;
  uint32_t b = static_cast<uint32_t>(bits);
  uint32_t k = count;
  uint8_t* p = in;
  uint8_t* o = buf + pos;
  const uint8_t* const in_last = in_end - FAST_INPUT_MARGIN;
  const uint8_t* const first = buf + origin;
  const uint8_t* const stop = buf + fast_stop;
  int result = FAST_MARGIN_LEFT;

  narrow_refill(b, k, p);
  uint32_t e = lt[b & lmask];
  uint32_t len, d, dist;
  for (;;) {
    // 24 or more bits here, and `e` is the entry for them.
    if (inflate_is_literal(e)) {
      narrow_literal(b, k, o, e);  // at most 11 bits: 13 or more are left
      e = lt[b & lmask];
      if (inflate_is_literal(e)) {
        narrow_literal(b, k, o, e);
        goto next;
      }
      narrow_refill(b, k, p);
    }
    if (e & (HUFF_LINK | HUFF_END_OF_BLOCK | HUFF_INVALID)) goto exceptional;
    len = narrow_based_value(e, b);
    narrow_take(b, k, e);
    narrow_refill(b, k, p);
  distance:
    d = dt[b & dmask];
    if (d & (HUFF_LINK | HUFF_INVALID)) {
      if (d & HUFF_LINK) d = dt[huff_value(d) + ((b >> db) & ((1u << huff_drop(d)) - 1))];
      if (d & HUFF_INVALID) {
        result = DECODE_BAD_DATA;
        break;
      }
    }
    if (__builtin_expect(huff_drop(d) <= (k & 0xFF), 1)) {
      dist = narrow_based_value(d, b);
      narrow_take(b, k, d);
    } else {
      const unsigned code = huff_code_length(d), extra = huff_extra_bits(d);
      b >>= code;
      k -= code;
      narrow_refill(b, k, p);
      dist = huff_value(d) + (b & ((1u << extra) - 1));
      b >>= extra;
      k -= extra;
    }
    if (dist > static_cast<uint32_t>(o - first)) {
      result = DECODE_BAD_DATA;
      break;
    }
    copy_match(o, o - dist, len);
    o += len;
  next:
    if (p > in_last || o >= stop) break;
    narrow_refill(b, k, p);
    e = lt[b & lmask];
    continue;
  exceptional:
    // A link to a sub-table (24 or more bits are there for its code and a
    // length's extra bits), the end of the block, or an invalid code.
    if (e & HUFF_LINK) {
      e = lt[huff_value(e) + ((b >> lb) & ((1u << huff_drop(e)) - 1))];
      if (inflate_is_literal(e)) {
        narrow_literal(b, k, o, e);
        goto next;
      }
      if (!(e & (HUFF_END_OF_BLOCK | HUFF_INVALID))) {
        len = narrow_based_value(e, b);
        narrow_take(b, k, e);
        narrow_refill(b, k, p);
        goto distance;
      }
    }
    if (e & HUFF_END_OF_BLOCK) {
      narrow_take(b, k, e);
      result = DECODE_OK;
    } else {
      result = DECODE_BAD_DATA;
    }
    break;
  }
  count = k & 0xFF;
  bits = low_bits(b, count);
  in = p;
  pos = static_cast<uint32_t>(o - buf);
  return result;
}

// The loops are compiled twice, for BMI2 and without, and chosen at run
// time; `stride` is only read by the stride loop.
int inflater::fast_codes_generic(const inflate_code_tables& ct, unsigned stride) {
  return fast_loop<false, false>(ct, stride);
}
int inflater::stride_codes_generic(const inflate_code_tables& ct, unsigned stride) {
  return fast_loop<true, false>(ct, stride);
}
int inflater::narrow_codes_generic(const inflate_code_tables& ct) { return narrow_loop<false>(ct); }

#if defined(__x86_64__) || defined(__i386__)
// BMI2's shifts by a register amount take one cycle and no flag dependency:
// the shift by each entry's bit count is on the loops' critical path.
__attribute__((target("bmi2"))) int inflater::fast_codes_bmi2(const inflate_code_tables& ct, unsigned stride) {
  return fast_loop<false, true>(ct, stride);
}
__attribute__((target("bmi2"))) int inflater::stride_codes_bmi2(const inflate_code_tables& ct, unsigned stride) {
  return fast_loop<true, true>(ct, stride);
}
__attribute__((target("bmi2"))) int inflater::narrow_codes_bmi2(const inflate_code_tables& ct) {
  return narrow_loop<true>(ct);
}

bool cpu_has_bmi2() {
  unsigned a, b, c, d;
  return __get_cpuid_count(7, 0, &a, &b, &c, &d) && (b & bit_BMI2);
}
const bool HAVE_BMI2 = cpu_has_bmi2();
#else
int inflater::fast_codes_bmi2(const inflate_code_tables& ct, unsigned stride) { return fast_loop<false, true>(ct, stride); }
int inflater::stride_codes_bmi2(const inflate_code_tables& ct, unsigned stride) { return fast_loop<true, true>(ct, stride); }
int inflater::narrow_codes_bmi2(const inflate_code_tables& ct) { return narrow_loop<true>(ct); }
const bool HAVE_BMI2 = false;
#endif

int inflater::fast_codes(const inflate_code_tables& ct, unsigned stride) {
  if (stride) return HAVE_BMI2 ? stride_codes_bmi2(ct, stride) : stride_codes_generic(ct, stride);
  if (narrow) return HAVE_BMI2 ? narrow_codes_bmi2(ct) : narrow_codes_generic(ct);
  return HAVE_BMI2 ? fast_codes_bmi2(ct, 0) : fast_codes_generic(ct, 0);
}

// Prepares the first level of a dynamic block's literal/length table for
// the fast loops. When the literal codes of one length make up most of the
// code space, marks those literals for the stride loop. Otherwise, when two
// literal codes can fit the first level together, turns each literal entry
// whose remaining bits hold a whole second literal into a pair. The pairs
// are made from the top index down: the second literal's entry lies at a
// lower index (the first's bits shifted out), so it is still single.
literal_mode prepare_literals(uint32_t* t, const uint8_t* lengths) {
  constexpr unsigned main_bits = INFLATE_LITLEN_MAIN_BITS;
  literal_mode mode;
  uint32_t share[16] = {};  // in units of 2^-15 of the code space
  unsigned shortest = 15;
  for (unsigned s = 0; s < 256; ++s) {
    unsigned l = lengths[s];
    if (l == 0) continue;
    share[l] += 1u << (15 - l);
    if (l < shortest) shortest = l;
  }
  unsigned dominant = 1;
  for (unsigned l = 2; l <= 15; ++l)
    if (share[l] > share[dominant]) dominant = l;
  const uint32_t size = 1u << main_bits;
  if (dominant <= main_bits && share[dominant] >= (UNIFORM_SHARE_32THS << 10)) {
    const uint32_t single = INFLATE_LITERAL | dominant;
    for (uint32_t i = 0; i < size; ++i)
      if ((t[i] & (INFLATE_LITERAL_COUNT | 0xFF)) == single) t[i] |= INFLATE_UNIFORM;
    mode.uniform_length = dominant;
    return mode;
  }
  if (2 * shortest > main_bits) return mode;
  for (uint32_t i = size; i-- > 0;) {
    uint32_t e = t[i];
    if (!inflate_is_literal(e)) continue;
    unsigned first = huff_drop(e);
    if (first + shortest > main_bits) continue;
    uint32_t second = t[i >> first];
    if (!inflate_is_literal(second) || first + huff_drop(second) > main_bits) continue;
    t[i] = e + huff_drop(second) + INFLATE_LITERAL + (static_cast<uint32_t>(inflate_literal_byte(second)) << 20);
  }
  return mode;
}

// Decodes the codes of one block. A dynamic block passes its literal/length
// table and code lengths, to be prepared (prepare_literals) once the block
// has shown itself long enough to pay for it.
int inflater::codes(const inflate_code_tables& ct, uint32_t* table_to_prepare, const uint8_t* lengths) {
  constexpr unsigned lb = INFLATE_LITLEN_MAIN_BITS, db = INFLATE_DIST_MAIN_BITS;
  literal_mode mode;
  const uint64_t prepare_at = produced() + PREPARE_AFTER;
  for (;;) {
    if (table_to_prepare && produced() >= prepare_at) {
      mode = prepare_literals(table_to_prepare, lengths);
      table_to_prepare = nullptr;
    }
    if (in_end - in >= FAST_INPUT_MARGIN && pos < INFLATE_FLUSH_AT &&
        (!narrow || mode.uniform_length || count < 32)) {
      fast_stop = INFLATE_FLUSH_AT;
      if (table_to_prepare) {
        uint64_t stop = pos + (prepare_at - produced());
        if (stop < fast_stop) fast_stop = static_cast<uint32_t>(stop);
      }
      int r = fast_codes(ct, mode.uniform_length);
      if (r == DECODE_BAD_DATA && pos >= INFLATE_FLUSH_AT) {
        // The output before the bad code is complete: it is flushed first,
        // as the careful loop would have done on its way.
        int f = flush_half();
        return f ? f : r;
      }
      if (r != FAST_MARGIN_LEFT) return r;
    }
    if (int r = flush_if_full()) return r;
    uint32_t e;
    if (!decode<true>(ct.litlen, lb, e)) return DECODE_BAD_DATA;
    if (inflate_is_literal(e)) {
      drop(inflate_literal_code_length(e));
      buf[pos++] = inflate_literal_byte(e);
      continue;
    }
    if (e & HUFF_END_OF_BLOCK) {
      drop(huff_drop(e));
      return DECODE_OK;
    }
    if (e & HUFF_INVALID) return DECODE_BAD_DATA;
    uint32_t len = take_based(e);
    uint32_t d;
    if (!decode<false>(ct.dist, db, d) || (d & HUFF_INVALID)) return DECODE_BAD_DATA;
    uint32_t dist = take_based(d);
    if (dist > pos - origin) return DECODE_BAD_DATA;
    copy_match_bytes(dist, len);
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
    if (!decode<false>(tables.precode, pt.main_bits, e) || (e & HUFF_INVALID)) return DECODE_BAD_DATA;
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

  huff_table lt{tables.codes.litlen, inflate_workspace::LITLEN_SIZE, 0};
  r = huff_build(lengths, nl, INFLATE_LITLEN_TEMPLATES.data(), INFLATE_LITLEN_MAIN_BITS, false, lt);
  if (r == HUFF_INCOMPLETE || (r == HUFF_OK && lt.main_bits == 0)) {
    *tree_message = INFLATE_INCOMPLETE_LTREE;
    return DECODE_BAD_DATA;
  }
  if (r != HUFF_OK) return r;
  huff_table dt{tables.codes.dist, inflate_workspace::DIST_SIZE, 0};
  r = huff_build(lengths + nl, nd, INFLATE_DIST_TEMPLATES.data(), INFLATE_DIST_MAIN_BITS, true, dt);
  if (r != HUFF_OK && r != HUFF_INCOMPLETE) return r;
  if (dt.main_bits == 0 && nl > 257) {
    *tree_message = INFLATE_INCOMPLETE_DTREE;
    return DECODE_BAD_DATA;
  }
  if (!huff_widen(lt, INFLATE_LITLEN_MAIN_BITS) || !huff_widen(dt, INFLATE_DIST_MAIN_BITS)) return HUFF_NO_ROOM;
  return codes(tables.codes, tables.codes.litlen, lengths);
}

int inflater::run(inflate_workspace& tables, int* tree_message) {
  bool last;
  do {
    if (int r = flush_if_full()) return r;
    if (!fill(3)) return DECODE_BAD_DATA;
    last = take(1);
    int r;
    switch (take(2)) {
      case 0: r = stored(); break;
      case 1:
        r = codes(INFLATE_FIXED_TABLES, nullptr, nullptr);
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

void inflate_use_narrow_loop(bool on) { g_narrow_chosen.store(on, std::memory_order_relaxed); }

int inflate_stream(decoder_io& io, inflate_workspace& tables, int* tree_message) {
  *tree_message = INFLATE_NO_TREE_MESSAGE;
  inflater s(io, tables.buffer);
  int r = s.run(tables, tree_message);
  s.store();
  return r;
}
