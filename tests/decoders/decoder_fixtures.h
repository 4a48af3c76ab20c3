// Test support: the files under tests/data/decoders, compiled into the test
// program (so that it finds them under Wine as well).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

struct decoder_fixture {
  const char* name;
  const uint8_t* data;
  size_t size;
};

extern const decoder_fixture DECODER_FIXTURES[];
extern const size_t DECODER_FIXTURE_COUNT;

inline const decoder_fixture* find_decoder_fixture(const std::string& name) {
  for (size_t i = 0; i < DECODER_FIXTURE_COUNT; ++i)
    if (name == DECODER_FIXTURES[i].name) return &DECODER_FIXTURES[i];
  return nullptr;
}
