// Test support: kinds of data the decoders meet (text, program code,
// already-compressed bytes, runs), made deterministically.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <utility>
#include <vector>

inline std::vector<uint8_t> sample_text(size_t n) {
  static const char* words[] = {"the ", "archive ", "entry ", "window ", "of ", "data, ", "and ",
                                "install ", "Java ", "runtime\n", "a ", "setup ", "file ", "is "};
  std::mt19937 rng(7);
  std::vector<uint8_t> v;
  while (v.size() < n) {
    const char* w = words[rng() % 14];
    for (const char* p = w; *p && v.size() < n; ++p) v.push_back(static_cast<uint8_t>(*p));
  }
  return v;
}

inline std::vector<uint8_t> sample_random(size_t n, uint32_t seed = 11) {
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

// Structured binary: little-endian records with small fields, like code.
inline std::vector<uint8_t> sample_binary(size_t n) {
  std::mt19937 rng(3);
  std::vector<uint8_t> v;
  while (v.size() < n) {
    uint32_t op = rng() % 40, arg = rng() % 4096;
    uint8_t rec[8] = {static_cast<uint8_t>(0x48 + op % 3), static_cast<uint8_t>(0x89 + op),
                      static_cast<uint8_t>(arg), static_cast<uint8_t>(arg >> 8), 0, 0,
                      static_cast<uint8_t>(op * 7), 0xC3};
    for (int i = 0; i < 8 && v.size() < n; ++i) v.push_back(rec[i]);
  }
  return v;
}

inline std::vector<uint8_t> sample_runs(size_t n) {
  std::mt19937 rng(5);
  std::vector<uint8_t> v;
  while (v.size() < n) {
    uint8_t b = static_cast<uint8_t>(rng() % 4);
    size_t len = 1 + rng() % 600;
    for (size_t i = 0; i < len && v.size() < n; ++i) v.push_back(b);
  }
  return v;
}

inline std::vector<std::pair<const char*, std::vector<uint8_t>>> sample_data_sets() {
  return {{"text", sample_text(200000)},
          {"binary", sample_binary(150000)},
          {"random", sample_random(100000)},
          {"runs", sample_runs(120000)}};
}
