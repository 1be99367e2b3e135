#include "regfile/MemoryStream.h"

#include <algorithm>
#include <cstring>

namespace brindel::regfile {

void TMemoryStream::Write(std::string_view bytes) {
  if (position_ == bytes_.size()) {
    bytes_.append(bytes);
  } else {
    const std::size_t overlap = std::min(bytes.size(), bytes_.size() - position_);
    bytes_.replace(position_, overlap, bytes.substr(0, overlap));
    bytes_.append(bytes.substr(overlap));
  }
  position_ += bytes.size();
}

std::size_t TMemoryStream::Read(char* buffer, std::size_t count) {
  const std::size_t available = std::min(count, bytes_.size() - position_);
  if (available > 0)
    std::memcpy(buffer, bytes_.data() + position_, available);
  position_ += available;
  return available;
}

void TMemoryStream::SetPosition(std::size_t position) {
  position_ = std::min(position, bytes_.size());
}

}  // namespace brindel::regfile
