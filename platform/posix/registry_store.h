// POSIX backend only. The in-memory tree of the file-backed registry store
// and its text form, the registry export format:
//
//   Windows Registry Editor Version 5.00
//
//   [HKEY_LOCAL_MACHINE\SOFTWARE\Tarvik]
//   @="default value"
//   "CurrentVersion"="1.4"
//   "Flags"=dword:00000001
//   "Blob"=hex:01,02,03
//   "Path"=hex(2):25,50,41,54,48,25,00
//
// Pure computation: no file access here (registry.cpp does the locking and
// the atomic replacement of the file).
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/registry.h"

namespace platform::registry_store {

// Orders names as the registry enumerates them: by their ASCII upper-case
// form, so names that differ only in letter case are one name.
struct NameLess {
  using is_transparent = void;
  bool operator()(std::string_view a, std::string_view b) const;
};
bool same_name(std::string_view a, std::string_view b);

struct Value {
  std::string name;  // as first set; empty for the default value
  uint32_t type = REGISTRY_NONE;
  std::string data;
};

struct Key {
  std::vector<Value> values;  // in the order they were first set
  // The map key is the subkey's name as created (case preserved).
  std::map<std::string, std::unique_ptr<Key>, NameLess> subkeys;

  Value* find_value(std::string_view name);
  Key* find_subkey(std::string_view name);
  // The subkey, created empty when missing.
  Key& ensure_subkey(const std::string& name);
};

inline constexpr size_t ROOT_COUNT = 5;

struct Tree {
  std::array<Key, ROOT_COUNT> roots;  // indexed by RegistryRoot
  Key& root(RegistryRoot r) { return roots[static_cast<size_t>(r)]; }
};

// Reads the text of a store. On a fault returns false with `error` saying
// where and what ("line 12: bad hex byte"); `out` is then unspecified.
bool parse(std::string_view text, Tree& out, std::string& error);

// The text of a store; parse() reads it back to the same tree.
std::string format(const Tree& tree);

// Whether a name can be stored in the text form: no zero byte, no line break.
bool name_is_storable(std::string_view name);

}  // namespace platform::registry_store
