// A registry that passes every call to the native one, except that
// enumerating subkeys fails with a chosen error from a chosen index on.
#pragma once

#include "platform/registry.h"

class FailingEnumerationRegistry final : public platform::Registry {
 public:
  FailingEnumerationRegistry(uint32_t from_index, platform::Error error) : from_(from_index), error_(error) {}

  platform::RegistryKey root(platform::RegistryRoot which) override { return adopt(real().root(which)); }
  platform::Error open_key(const platform::RegistryKey& parent, const std::string& path, platform::RegistryAccess access,
                           platform::RegistryKey& out) override {
    platform::RegistryKey k;
    platform::Error e = real().open_key(view(parent), path, access, k);
    if (e == platform::Error::none) out = adopt(std::move(k));
    return e;
  }
  platform::Error create_key(const platform::RegistryKey& parent, const std::string& path,
                             platform::RegistryAccess access, platform::RegistryKey& out, bool& created) override {
    platform::RegistryKey k;
    platform::Error e = real().create_key(view(parent), path, access, k, created);
    if (e == platform::Error::none) out = adopt(std::move(k));
    return e;
  }
  platform::Error delete_key(const platform::RegistryKey& parent, const std::string& path) override {
    return real().delete_key(view(parent), path);
  }
  platform::Error query_value(const platform::RegistryKey& key, const std::string& name,
                              platform::RegistryValue& out) override {
    return real().query_value(view(key), name, out);
  }
  platform::Error set_value(const platform::RegistryKey& key, const std::string& name,
                            const platform::RegistryValue& value) override {
    return real().set_value(view(key), name, value);
  }
  platform::Error delete_value(const platform::RegistryKey& key, const std::string& name) override {
    return real().delete_value(view(key), name);
  }
  platform::Error enum_subkey(const platform::RegistryKey& key, uint32_t index, std::string& name) override {
    ++enumerations;
    if (index >= from_) return error_;
    return real().enum_subkey(view(key), index, name);
  }
  platform::Error enum_value(const platform::RegistryKey& key, uint32_t index, std::string& name,
                             platform::RegistryValue& value) override {
    return real().enum_value(view(key), index, name, value);
  }
  void close_key(platform::RegistryHandle handle) override { real().close_key(handle); }
  std::string last_error_message() override { return real().last_error_message(); }

  int enumerations = 0;

 private:
  // A key of the native service as a key of this one: the handle is the
  // same, closing goes through here to the native service.
  class View {
   public:
    View(platform::Registry& real, const platform::RegistryKey& k) : key_(real, k.native_handle()) {}
    ~View() { key_.release(); }
    operator const platform::RegistryKey&() const { return key_; }

   private:
    platform::RegistryKey key_;
  };

  static platform::Registry& real() { return platform::native<platform::Registry>(); }
  platform::RegistryKey adopt(platform::RegistryKey k) { return platform::RegistryKey(*this, k.release()); }
  View view(const platform::RegistryKey& k) { return View(real(), k); }

  uint32_t from_;
  platform::Error error_;
};
