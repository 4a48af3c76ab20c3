// Portable. No OS headers.
//
// The parts of platform/registry.h that are the same on every platform: key
// handle ownership, value builders and the names of the predefined roots.
#include "platform/registry.h"

#include <cctype>

namespace platform {

RegistryKey& RegistryKey::operator=(RegistryKey&& other) noexcept {
  if (this != &other) {
    close();
    owner_ = other.owner_;
    handle_ = other.handle_;
    other.owner_ = nullptr;
    other.handle_ = 0;
  }
  return *this;
}

void RegistryKey::close() {
  if (owner_ && handle_ != 0) owner_->close_key(handle_);
  owner_ = nullptr;
  handle_ = 0;
}

namespace {

RegistryValue text_value(uint32_t type, std::string_view text) {
  RegistryValue v;
  v.type = type;
  v.data.assign(text);
  v.data.push_back('\0');
  return v;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

struct RootName {
  RegistryRoot root;
  const char* full;
  const char* abbreviation;
};

constexpr RootName ROOT_NAMES[] = {
    {RegistryRoot::classes_root, "HKEY_CLASSES_ROOT", "HKCR"},
    {RegistryRoot::current_user, "HKEY_CURRENT_USER", "HKCU"},
    {RegistryRoot::local_machine, "HKEY_LOCAL_MACHINE", "HKLM"},
    {RegistryRoot::users, "HKEY_USERS", "HKU"},
    {RegistryRoot::current_config, "HKEY_CURRENT_CONFIG", "HKCC"},
};

}  // namespace

RegistryValue RegistryValue::string(std::string_view text) { return text_value(REGISTRY_SZ, text); }

RegistryValue RegistryValue::expand_string(std::string_view text) {
  return text_value(REGISTRY_EXPAND_SZ, text);
}

RegistryValue RegistryValue::dword(uint32_t number) {
  RegistryValue v;
  v.type = REGISTRY_DWORD;
  for (int i = 0; i < 4; ++i) v.data.push_back(static_cast<char>((number >> (8 * i)) & 0xFF));
  return v;
}

RegistryValue RegistryValue::binary(std::string_view bytes) {
  RegistryValue v;
  v.type = REGISTRY_BINARY;
  v.data.assign(bytes);
  return v;
}

RegistryValue RegistryValue::multi_string(const std::vector<std::string>& texts) {
  RegistryValue v;
  v.type = REGISTRY_MULTI_SZ;
  for (const std::string& t : texts) {
    v.data += t;
    v.data.push_back('\0');
  }
  v.data.push_back('\0');
  return v;
}

std::string RegistryValue::text() const {
  size_t end = data.find('\0');
  return data.substr(0, end);
}

const char* registry_root_name(RegistryRoot root) {
  for (const RootName& r : ROOT_NAMES) {
    if (r.root == root) return r.full;
  }
  return "HKEY_LOCAL_MACHINE";
}

bool parse_registry_root(std::string_view name, RegistryRoot& out) {
  for (const RootName& r : ROOT_NAMES) {
    if (equal_ignoring_case(name, r.full) || equal_ignoring_case(name, r.abbreviation)) {
      out = r.root;
      return true;
    }
  }
  return false;
}

}  // namespace platform
