// Portable (x86 only inside the guard). CRC-32 by carry-less multiplication:
// the buffer is folded 128 bytes at a time into eight 128-bit accumulators
// (enough independent chains to hide the multiplier's latency), which are
// folded into one whose sixteen bytes then go through the table loop. Used only when the CPU reports PCLMULQDQ and SSE4.1.
//
// Why folding works: with bit i of a 128-bit little-endian chunk standing for
// x^(127-i) (the reflected order of the ZIP CRC), a chunk A that lies D bits
// before the chunk B it is added to contributes A(x)·x^D. Split A into its
// halves: A·x^D = a0·x^(D+64) + a1·x^D, where a0 is the first 64 bits. A
// carry-less product of two such 64-bit halves comes out one bit position
// short of this convention (it stands for x·u·w), so the constants are
// k0 = x^(D+63) mod P and k1 = x^(D-1) mod P; the products have degree below
// 96 and fit the 128 bits. Reducing modulo P keeps the CRC, which depends on
// the message only modulo P.
#include "crc32.h"

#if defined(__x86_64__) || defined(__i386__)
#include <cpuid.h>
#include <immintrin.h>

namespace {

// x^n mod P, P being the CRC-32 polynomial in normal (non-reflected) order.
constexpr uint32_t xpow_mod(unsigned n) {
  uint64_t r = 1;
  for (unsigned i = 0; i < n; ++i) {
    r <<= 1;
    if (r & (1ull << 32)) r ^= 0x104C11DB7ull;
  }
  return static_cast<uint32_t>(r);
}

constexpr uint32_t reverse32(uint32_t v) {
  uint32_t r = 0;
  for (int i = 0; i < 32; ++i) r |= ((v >> i) & 1u) << (31 - i);
  return r;
}

// A polynomial of degree below 32 as the multiplier of a reflected 64-bit
// half: x^d is bit 63 - d.
constexpr uint64_t lane_constant(unsigned power) {
  return static_cast<uint64_t>(reverse32(xpow_mod(power))) << 32;
}

constexpr uint64_t FOLD_1024_K0 = lane_constant(1024 + 63);
constexpr uint64_t FOLD_1024_K1 = lane_constant(1024 - 1);
constexpr uint64_t FOLD_128_K0 = lane_constant(128 + 63);
constexpr uint64_t FOLD_128_K1 = lane_constant(128 - 1);

__attribute__((target("pclmul,sse4.1"))) inline __m128i fold(__m128i a, __m128i k) {
  return _mm_xor_si128(_mm_clmulepi64_si128(a, k, 0x00), _mm_clmulepi64_si128(a, k, 0x11));
}

__attribute__((target("pclmul,sse4.1"))) inline __m128i load(const uint8_t* q) {
  return _mm_loadu_si128(reinterpret_cast<const __m128i*>(q));
}

__attribute__((target("pclmul,sse4.1"))) uint32_t clmul_loop(uint32_t reg, const uint8_t* p,
                                                             size_t n) {
  const __m128i k1024 = _mm_set_epi64x(static_cast<long long>(FOLD_1024_K1),
                                       static_cast<long long>(FOLD_1024_K0));
  const __m128i k128 = _mm_set_epi64x(static_cast<long long>(FOLD_128_K1),
                                      static_cast<long long>(FOLD_128_K0));
  __m128i x[8];
  for (int i = 0; i < 8; ++i) x[i] = load(p + 16 * i);
  // The register's start value enters as the first four message bytes.
  x[0] = _mm_xor_si128(x[0], _mm_cvtsi32_si128(static_cast<int>(reg)));
  p += 128;
  n -= 128;
  while (n >= 128) {
    for (int i = 0; i < 8; ++i) x[i] = _mm_xor_si128(fold(x[i], k1024), load(p + 16 * i));
    p += 128;
    n -= 128;
  }
  for (int i = 1; i < 8; ++i) x[i] = _mm_xor_si128(fold(x[i - 1], k128), x[i]);
  __m128i x3 = x[7];
  while (n >= 16) {
    x3 = _mm_xor_si128(fold(x3, k128), load(p));
    p += 16;
    n -= 16;
  }
  alignas(16) uint8_t rest[16];
  _mm_store_si128(reinterpret_cast<__m128i*>(rest), x3);
  return crc32_raw_tables(crc32_raw_tables(0, rest, 16), p, n);
}

bool cpu_has_clmul() {
  unsigned a, b, c, d;
  if (!__get_cpuid(1, &a, &b, &c, &d)) return false;
  return (c & bit_PCLMUL) && (c & bit_SSE4_1);
}

const bool HAVE_CLMUL = cpu_has_clmul();

}  // namespace

bool crc32_raw_clmul(uint32_t& reg, const uint8_t* data, size_t length) {
  if (!HAVE_CLMUL || length < 128) return false;
  reg = clmul_loop(reg, data, length);
  return true;
}

#else

bool crc32_raw_clmul(uint32_t&, const uint8_t*, size_t) { return false; }

#endif
