#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace brindel::platform {

// The one exception family of the program. Messages are kept as UTF-16, as the
// user interface shows them; what() gives the same text in UTF-8 for logs and tests.
class Exception : public std::exception {
 public:
  explicit Exception(std::u16string message);
  const std::u16string& Message() const noexcept { return message_; }
  const char* what() const noexcept override { return utf8_.c_str(); }

 private:
  std::u16string message_;
  std::string utf8_;
};

// Raised by the registry key object for wrong value types and failed reads or writes.
class ERegistryException : public Exception {
 public:
  using Exception::Exception;
};

// Raised when a text cannot be converted to a number.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// Raised when a required operating-system call fails; carries its result code.
class EOSError : public Exception {
 public:
  EOSError(std::int32_t code, std::u16string message);
  std::int32_t Code() const noexcept { return code_; }

 private:
  std::int32_t code_;
};

}  // namespace brindel::platform
