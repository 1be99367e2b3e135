#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>

namespace brindel::regfile {

// Bytes in memory with a position, as the export writes them and the import reads
// them. Writing replaces and extends from the position and moves it past the bytes.
class TMemoryStream {
 public:
  TMemoryStream() = default;
  // A stream over bytes read elsewhere, taken over without a copy.
  explicit TMemoryStream(std::string bytes) : bytes_(std::move(bytes)) {}

  void Write(std::string_view bytes);
  // Copies up to count bytes from the position; returns how many.
  std::size_t Read(char* buffer, std::size_t count);

  std::size_t Size() const { return bytes_.size(); }
  std::size_t Position() const { return position_; }
  // A position past the end is taken as the end.
  void SetPosition(std::size_t position);
  void Reserve(std::size_t size) { bytes_.reserve(size); }
  std::string_view Bytes() const { return bytes_; }

 private:
  std::string bytes_;
  std::size_t position_ = 0;
};

}  // namespace brindel::regfile
