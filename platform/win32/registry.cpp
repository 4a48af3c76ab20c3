// Win32 backend of platform/registry.h: the real registry through the W
// calls; key names, value names and the data of string values are UTF-8 on
// this side. Handles are HKEYs; the predefined roots are never closed.
#include "platform/registry.h"

#include <cstring>
#include <string>
#include <vector>

#include "system_error.h"
#include "wide_path.h"
#include "windows_fwd.h"

namespace platform {
namespace {

thread_local std::string t_last_message;

Error fail(LONG code, const char* call) {
  if (code == ERROR_NO_MORE_ITEMS || code == ERROR_KEY_DELETED) {
    t_last_message = std::string(call) + ": no such item";
    return Error::not_found;
  }
  t_last_message = std::string(call) + " failed with error " + std::to_string(code);
  return win32::error_from_win32(static_cast<DWORD>(code));
}

HKEY root_hkey(RegistryRoot r) {
  switch (r) {
    case RegistryRoot::classes_root: return HKEY_CLASSES_ROOT;
    case RegistryRoot::current_user: return HKEY_CURRENT_USER;
    case RegistryRoot::local_machine: return HKEY_LOCAL_MACHINE;
    case RegistryRoot::users: return HKEY_USERS;
    case RegistryRoot::current_config: return HKEY_CURRENT_CONFIG;
  }
  return HKEY_LOCAL_MACHINE;
}

bool is_predefined(RegistryHandle h) {
  uintptr_t u = static_cast<uintptr_t>(h);
  return u >= 0x80000000u && u <= 0x800000FFu;
}

HKEY hkey(const RegistryKey& k) { return reinterpret_cast<HKEY>(k.native_handle()); }

using win32::narrow;
using win32::wide;

bool is_string_type(DWORD type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

// String data as the registry keeps it (UTF-16) from our UTF-8 bytes, and
// back; the zeros inside and at the end travel as characters like any
// other. An odd byte left over (a broken value) is kept as a character.
std::wstring wide_data(const std::string& data) { return wide(data); }

std::string narrow_data(const unsigned char* data, DWORD size) {
  std::wstring w(size / 2 + size % 2, L'\0');
  if (size) std::memcpy(w.data(), data, size);
  return narrow(w);
}

std::string value_data(DWORD type, const unsigned char* data, DWORD size) {
  if (is_string_type(type)) return narrow_data(data, size);
  return std::string(reinterpret_cast<const char*>(data), size);
}

REGSAM sam(RegistryAccess a) { return a == RegistryAccess::all ? KEY_ALL_ACCESS : KEY_READ; }

class Win32Registry final : public Registry {
 public:
  RegistryKey root(RegistryRoot which) override {
    return RegistryKey(*this, reinterpret_cast<RegistryHandle>(root_hkey(which)));
  }

  Error open_key(const RegistryKey& parent, const std::string& path, RegistryAccess access,
                 RegistryKey& out) override {
    out.close();
    HKEY k = nullptr;
    LONG rc = RegOpenKeyExW(hkey(parent), wide(path).c_str(), 0, sam(access), &k);
    if (rc != ERROR_SUCCESS) return fail(rc, "RegOpenKeyExW");
    out = RegistryKey(*this, reinterpret_cast<RegistryHandle>(k));
    return Error::none;
  }

  Error create_key(const RegistryKey& parent, const std::string& path, RegistryAccess access,
                   RegistryKey& out, bool& created) override {
    out.close();
    created = false;
    HKEY k = nullptr;
    DWORD disposition = 0;
    LONG rc = RegCreateKeyExW(hkey(parent), wide(path).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, sam(access),
                              nullptr, &k, &disposition);
    if (rc != ERROR_SUCCESS) return fail(rc, "RegCreateKeyExW");
    created = disposition == REG_CREATED_NEW_KEY;
    out = RegistryKey(*this, reinterpret_cast<RegistryHandle>(k));
    return Error::none;
  }

  Error delete_key(const RegistryKey& parent, const std::string& path) override {
    // RegDeleteKeyW refuses a key with subkeys with "access denied"; asking
    // first lets callers tell that apart from a real refusal.
    HKEY k = nullptr;
    LONG rc = RegOpenKeyExW(hkey(parent), wide(path).c_str(), 0, KEY_READ, &k);
    if (rc == ERROR_SUCCESS) {
      DWORD subkeys = 0;
      LONG info = RegQueryInfoKeyW(k, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
      RegCloseKey(k);
      if (info == ERROR_SUCCESS && subkeys > 0) {
        t_last_message = "the key has subkeys";
        return Error::not_empty;
      }
    }
    rc = RegDeleteKeyW(hkey(parent), wide(path).c_str());
    if (rc != ERROR_SUCCESS) return fail(rc, "RegDeleteKeyW");
    return Error::none;
  }

  Error query_value(const RegistryKey& key, const std::string& name, RegistryValue& out) override {
    DWORD size = 1024;
    std::vector<unsigned char> buf;
    for (;;) {
      buf.resize(size ? size : 1);
      DWORD type = 0;
      DWORD got = size;
      LONG rc = RegQueryValueExW(hkey(key), wide(name).c_str(), nullptr, &type, buf.data(), &got);
      if (rc == ERROR_MORE_DATA) {
        size = got > size ? got : size * 2;
        continue;
      }
      if (rc != ERROR_SUCCESS) return fail(rc, "RegQueryValueExW");
      out.type = type;
      out.data = value_data(type, buf.data(), got);
      return Error::none;
    }
  }

  Error set_value(const RegistryKey& key, const std::string& name, const RegistryValue& value) override {
    LONG rc;
    if (is_string_type(value.type)) {
      const std::wstring data = wide_data(value.data);
      rc = RegSetValueExW(hkey(key), wide(name).c_str(), 0, value.type, reinterpret_cast<const BYTE*>(data.data()),
                          static_cast<DWORD>(data.size() * sizeof(wchar_t)));
    } else {
      rc = RegSetValueExW(hkey(key), wide(name).c_str(), 0, value.type,
                          reinterpret_cast<const BYTE*>(value.data.data()), static_cast<DWORD>(value.data.size()));
    }
    if (rc != ERROR_SUCCESS) return fail(rc, "RegSetValueExW");
    return Error::none;
  }

  Error delete_value(const RegistryKey& key, const std::string& name) override {
    LONG rc = RegDeleteValueW(hkey(key), wide(name).c_str());
    if (rc != ERROR_SUCCESS) return fail(rc, "RegDeleteValueW");
    return Error::none;
  }

  Error enum_subkey(const RegistryKey& key, uint32_t index, std::string& name) override {
    wchar_t buf[REGISTRY_MAX_KEY_NAME + 1];
    DWORD n = REGISTRY_MAX_KEY_NAME + 1;
    LONG rc = RegEnumKeyExW(hkey(key), index, buf, &n, nullptr, nullptr, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return fail(rc, "RegEnumKeyExW");
    name = narrow(std::wstring_view(buf, n));
    return Error::none;
  }

  Error enum_value(const RegistryKey& key, uint32_t index, std::string& name, RegistryValue& value) override {
    DWORD max_name = 0, max_data = 0;
    LONG rc = RegQueryInfoKeyW(hkey(key), nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &max_name,
                               &max_data, nullptr, nullptr);
    if (rc != ERROR_SUCCESS) return fail(rc, "RegQueryInfoKeyW");
    // The value may grow between the two calls; then ask again, larger.
    for (int attempt = 0;; ++attempt) {
      std::vector<wchar_t> name_buf(max_name + 1);
      std::vector<unsigned char> data(max_data ? max_data : 1);
      DWORD name_len = static_cast<DWORD>(name_buf.size());
      DWORD data_len = max_data;
      DWORD type = 0;
      rc = RegEnumValueW(hkey(key), index, name_buf.data(), &name_len, nullptr, &type, data.data(), &data_len);
      if (rc == ERROR_MORE_DATA && attempt < 8) {
        max_name = max_name * 2 + 256;
        max_data = (data_len > max_data ? data_len : max_data) * 2 + 1024;
        continue;
      }
      if (rc != ERROR_SUCCESS) return fail(rc, "RegEnumValueW");
      name = narrow(std::wstring_view(name_buf.data(), name_len));
      value.type = type;
      value.data = value_data(type, data.data(), data_len);
      return Error::none;
    }
  }

  void close_key(RegistryHandle handle) override {
    if (!is_predefined(handle)) RegCloseKey(reinterpret_cast<HKEY>(handle));
  }

  std::string last_error_message() override { return t_last_message; }
};

}  // namespace

template <> Registry& native<Registry>() {
  static Win32Registry instance;
  return instance;
}

}  // namespace platform
