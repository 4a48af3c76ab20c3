// Fuzz target: the text of the POSIX registry store. A text that parses
// must come back from format() as a text that parses to the same tree, so
// formatting it again gives the same bytes; a refusal must say where.
#include <cstdint>
#include <string>

#include "registry_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace store = platform::registry_store;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  store::Tree tree;
  std::string error;
  if (!store::parse(text, tree, error)) {
    if (error.empty()) __builtin_trap();
    return 0;
  }
  const std::string once = store::format(tree);
  store::Tree again;
  if (!store::parse(once, again, error)) __builtin_trap();
  if (store::format(again) != once) __builtin_trap();
  return 0;
}
