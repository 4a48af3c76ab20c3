// Portable. No OS headers.
//
// The Windows registry: predefined roots, keys reached by backslash-separated
// paths, and typed values whose data is kept byte for byte. Win32: the real
// registry through the W calls, names and string data carried in UTF-8. POSIX: a file-backed store in the registry
// export text format (see docs/porting.md), named by QEL_REGISTRY.
//
// Key and value names compare without regard to ASCII letter case and keep
// the case they were created with. Subkeys enumerate in sorted order; values
// in an order of the backend's (the POSIX store: the order they were first
// set; Windows promises none). Out-values are valid only when the result is
// Error::none.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/error.h"
#include "platform/service.h"

namespace platform {

// Value types, numbered as Windows numbers them (REG_SZ is 1, ...). Any
// other number is kept too and travels as opaque bytes.
inline constexpr uint32_t REGISTRY_NONE = 0;
inline constexpr uint32_t REGISTRY_SZ = 1;
inline constexpr uint32_t REGISTRY_EXPAND_SZ = 2;
inline constexpr uint32_t REGISTRY_BINARY = 3;
inline constexpr uint32_t REGISTRY_DWORD = 4;
inline constexpr uint32_t REGISTRY_DWORD_BIG_ENDIAN = 5;
inline constexpr uint32_t REGISTRY_LINK = 6;
inline constexpr uint32_t REGISTRY_MULTI_SZ = 7;
inline constexpr uint32_t REGISTRY_QWORD = 11;

// Longest key name (one path component), as on Windows.
inline constexpr size_t REGISTRY_MAX_KEY_NAME = 255;

enum class RegistryRoot { classes_root, current_user, local_machine, users, current_config };

// "HKEY_LOCAL_MACHINE" and so on.
const char* registry_root_name(RegistryRoot root);
// The root named by `name` (the full names, any letter case, and the short
// forms HKLM, HKCU, HKCR, HKU, HKCC). False when it names no root.
bool parse_registry_root(std::string_view name, RegistryRoot& out);

// read: query values and enumerate (KEY_READ). all: also set and delete
// values and create subkeys (KEY_ALL_ACCESS).
enum class RegistryAccess { read, all };

struct RegistryValue {
  uint32_t type = REGISTRY_NONE;
  // The data exactly as stored, as UTF-8 (string types; Win32 converts them to and
  // from the UTF-16 the registry keeps, as the ANSI calls did to ANSI): a string value
  // carries its terminating zero when the writer gave one.
  std::string data;

  // Builders for the usual types; strings get their terminating zero, a
  // multi-string its list of zero-terminated strings and a final zero.
  static RegistryValue string(std::string_view text);
  static RegistryValue expand_string(std::string_view text);
  static RegistryValue dword(uint32_t number);
  static RegistryValue binary(std::string_view bytes);
  static RegistryValue multi_string(const std::vector<std::string>& texts);

  // The text of a string value: the data up to its first zero byte.
  std::string text() const;
  friend bool operator==(const RegistryValue&, const RegistryValue&) = default;
};

class Registry;

// An OS key handle as an integer (an HKEY on Win32, an index into the open
// key table on POSIX). 0 is "no key".
using RegistryHandle = intptr_t;

// An open key: closes itself, movable, not copyable. The keys returned by
// Registry::root() are predefined and closing them does nothing.
class RegistryKey {
 public:
  RegistryKey() = default;
  // Adopts `handle`, which `owner` opened; used by backends and fakes.
  RegistryKey(Registry& owner, RegistryHandle handle) : owner_(&owner), handle_(handle) {}
  ~RegistryKey() { close(); }
  RegistryKey(RegistryKey&& other) noexcept : owner_(other.owner_), handle_(other.handle_) {
    other.owner_ = nullptr;
    other.handle_ = 0;
  }
  RegistryKey& operator=(RegistryKey&& other) noexcept;
  RegistryKey(const RegistryKey&) = delete;
  RegistryKey& operator=(const RegistryKey&) = delete;

  bool is_open() const { return handle_ != 0; }
  RegistryHandle native_handle() const { return handle_; }
  Registry* owner() const { return owner_; }
  // Closes the key (RegCloseKey); closing a key that is not open does nothing.
  void close();
  // Gives up ownership: the caller must close the handle through owner().
  RegistryHandle release() {
    RegistryHandle h = handle_;
    owner_ = nullptr;
    handle_ = 0;
    return h;
  }

 private:
  Registry* owner_ = nullptr;
  RegistryHandle handle_ = 0;
};

class Registry {
 public:
  virtual ~Registry() = default;

  // A predefined root key (HKEY_LOCAL_MACHINE, ...), always open.
  virtual RegistryKey root(RegistryRoot which) = 0;

  // Opens the existing key at `path` below `parent` ("SOFTWARE\Tarvik", one
  // or more names joined by '\'; an empty path opens `parent` again).
  // not_found when it does not exist. On failure `out` is left closed.
  virtual Error open_key(const RegistryKey& parent, const std::string& path, RegistryAccess access,
                         RegistryKey& out) = 0;
  // Opens the key at `path`, creating it and any missing keys above it
  // (RegCreateKeyExA, non-volatile). `created`: whether the key was new.
  // name_too_long for a name over REGISTRY_MAX_KEY_NAME bytes.
  virtual Error create_key(const RegistryKey& parent, const std::string& path, RegistryAccess access,
                           RegistryKey& out, bool& created) = 0;
  // Deletes the single key at `path` below `parent` with its values.
  // not_empty while it has subkeys (as RegDeleteKeyA on NT refuses it),
  // not_found when it does not exist.
  virtual Error delete_key(const RegistryKey& parent, const std::string& path) = 0;

  // Reads a value; the empty name is the key's default value. not_found
  // when the key has no such value.
  virtual Error query_value(const RegistryKey& key, const std::string& name, RegistryValue& out) = 0;
  // Creates or replaces a value (the key must be open with `all` access).
  virtual Error set_value(const RegistryKey& key, const std::string& name, const RegistryValue& value) = 0;
  // Removes a value; not_found when it is not there.
  virtual Error delete_value(const RegistryKey& key, const std::string& name) = 0;

  // The name of the subkey at `index` (0, 1, ...) in sorted order.
  // not_found past the last one (ERROR_NO_MORE_ITEMS).
  virtual Error enum_subkey(const RegistryKey& key, uint32_t index, std::string& name) = 0;
  // The name and value at `index` (in the backend's order, see above);
  // not_found past the last one.
  virtual Error enum_value(const RegistryKey& key, uint32_t index, std::string& name,
                           RegistryValue& value) = 0;

  // Closes a handle this service opened; used by RegistryKey.
  virtual void close_key(RegistryHandle handle) = 0;

  // A sentence on the most recent failure of this service on this thread
  // ("registry store /x/registry.reg line 12: bad hex byte"), for messages
  // that explain a failure; empty when there is nothing to add.
  virtual std::string last_error_message() = 0;
};

inline Registry& registry() { return current<Registry>(); }

}  // namespace platform
