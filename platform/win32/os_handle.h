// Windows: a kernel handle owned by one object, closed on destruction.
// Usable in headers that must not pull in <windows.h>. Null and
// INVALID_HANDLE_VALUE (what CreateFile gives on failure) are both "no handle".
#pragma once
#ifdef _WIN32

#include <cstdint>
#include <utility>

namespace cfg {

void closeOsHandle(void* handle);

class OsHandle {
 public:
  OsHandle() = default;
  explicit OsHandle(void* h) : h_(normal(h)) {}
  ~OsHandle() { reset(); }
  OsHandle(OsHandle&& o) noexcept : h_(std::exchange(o.h_, nullptr)) {}
  OsHandle& operator=(OsHandle&& o) noexcept {
    if (this != &o) {
      reset();
      h_ = std::exchange(o.h_, nullptr);
    }
    return *this;
  }
  OsHandle(const OsHandle&) = delete;
  OsHandle& operator=(const OsHandle&) = delete;

  void* get() const { return h_; }
  bool valid() const { return h_ != nullptr; }
  explicit operator bool() const { return valid(); }
  void* release() { return std::exchange(h_, nullptr); }
  void reset(void* h = nullptr) {
    if (h_) closeOsHandle(h_);
    h_ = normal(h);
  }

 private:
  static void* normal(void* h) {
    return h == reinterpret_cast<void*>(static_cast<std::intptr_t>(-1)) ? nullptr : h;
  }
  void* h_ = nullptr;
};

}  // namespace cfg

#endif  // _WIN32
