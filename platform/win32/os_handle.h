// Windows: a kernel handle owned by one object, for headers that must not
// pull in <windows.h>. Closed on destruction.
#pragma once
#ifdef _WIN32

#include <utility>

namespace cfg {

void closeOsHandle(void* handle);

class OsHandle {
 public:
  OsHandle() = default;
  explicit OsHandle(void* h) : h_(h) {}
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
  void* release() { return std::exchange(h_, nullptr); }
  void reset(void* h = nullptr) {
    if (h_) closeOsHandle(h_);
    h_ = h;
  }

 private:
  void* h_ = nullptr;
};

}  // namespace cfg

#endif  // _WIN32
