#pragma once

#include <optional>

namespace brindel::platform {

// True when a 32-bit process runs on 64-bit Windows. Asked anew on every call.
// Raises EOSError when the system cannot answer. Always false off Windows.
bool RunningUnderWow64();

// Lets a test answer RunningUnderWow64 for the lifetime of this object.
class ScopedWow64Override {
 public:
  explicit ScopedWow64Override(bool underWow64);
  ~ScopedWow64Override();
  ScopedWow64Override(const ScopedWow64Override&) = delete;
  ScopedWow64Override& operator=(const ScopedWow64Override&) = delete;

 private:
  std::optional<bool> previous_;
};

namespace detail {
std::optional<bool>& Wow64Override();
}

}  // namespace brindel::platform
