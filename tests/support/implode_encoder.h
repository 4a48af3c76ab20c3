// Test support: a small PKWARE Implode (ZIP method 6) encoder written from
// the published format description, so that the decoder can be checked on
// data it did not make itself and against another implementation's decoder.
#pragma once

#include <cstdint>
#include <vector>

struct implode_options {
  bool dictionary_8k = false;  // general-purpose bit 1: 8 KiB instead of 4 KiB
  bool literal_tree = false;   // general-purpose bit 2: literals are tree-coded
  uint16_t flags() const { return static_cast<uint16_t>((dictionary_8k ? 2 : 0) | (literal_tree ? 4 : 0)); }
  unsigned minimum_match() const { return literal_tree ? 3 : 2; }
  unsigned maximum_match() const { return minimum_match() + 63 + 255; }
  unsigned dictionary_size() const { return dictionary_8k ? 8192 : 4096; }
};

// One step of the stream: a literal byte, or a match (distance >= 1).
struct implode_token {
  uint32_t distance;  // 0 for a literal
  uint32_t length;    // match length, or the literal byte
};

// Finds matches (greedy, within the dictionary) and encodes the data.
std::vector<uint8_t> implode_compress(const std::vector<uint8_t>& data, const implode_options& options);

// Encodes the given tokens as they are (matches may reach before the start
// of the data, which the format allows).
std::vector<uint8_t> implode_encode(const std::vector<implode_token>& tokens, const implode_options& options);

// Code lengths (1..16, every symbol coded, a complete code) for the given
// frequencies, as the encoder stores them in its trees.
std::vector<uint8_t> implode_code_lengths(std::vector<uint32_t> frequencies);
