#pragma once

#include <optional>
#include <string>

#include "platform/Environment.h"
#include "platform/Text.h"

namespace brindel::test {

// Sets or removes one environment variable for a test and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value)
      : name_(platform::FromUtf8(name)), previous_(platform::ReadEnvironmentVariable(name_)) {
    platform::WriteEnvironmentVariable(
        name_, value ? std::optional<std::u16string>(platform::FromUtf8(value)) : std::nullopt);
  }
  ~ScopedEnv() { platform::WriteEnvironmentVariable(name_, previous_); }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::u16string name_;
  std::optional<std::u16string> previous_;
};

}  // namespace brindel::test
