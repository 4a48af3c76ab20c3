// Portable. No OS headers.
//
// Every platform service is an abstract class with one native implementation
// (posix/ or win32/, chosen at build time) and a process-wide "current"
// pointer that a test may redirect to a fake (usually a decorator over the
// native one that fails chosen calls). Code above the platform layer always
// goes through `platform::current<S>()`, never through a backend directly.
#pragma once

namespace platform {

// Specialised (defined) once per service by its native backend.
template <class S> S& native();

template <class S> struct ServiceSlot {
  static inline S* installed = nullptr;
};

template <class S> S& current() {
  S* s = ServiceSlot<S>::installed;
  return s ? *s : native<S>();
}

// Redirects a service for the lifetime of the object (tests only). Nesting
// restores the previous one on destruction.
template <class S> class ScopedService {
 public:
  explicit ScopedService(S& replacement) : previous_(ServiceSlot<S>::installed) {
    ServiceSlot<S>::installed = &replacement;
  }
  ~ScopedService() { ServiceSlot<S>::installed = previous_; }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;

 private:
  S* previous_;
};

}  // namespace platform
