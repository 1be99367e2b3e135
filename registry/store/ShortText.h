#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string_view>

namespace brindel::registry::store {

// A text that keeps up to 15 UTF-16 units in itself and only longer ones on the heap:
// the names of values, which Outlook makes 8 units long and a hive holds by the
// million. Reads as a std::u16string_view.
class ShortText {
 public:
  static constexpr std::size_t kInline = 15;

  ShortText() = default;
  ShortText(std::u16string_view text) { Assign(text); }  // NOLINT: reads as a text
  ShortText(const ShortText& other) { Assign(other); }
  ShortText(ShortText&& other) noexcept { Take(other); }
  ShortText& operator=(const ShortText& other) {
    if (this != &other)
      Assign(other);
    return *this;
  }
  ShortText& operator=(ShortText&& other) noexcept {
    if (this != &other)
      Take(other);
    return *this;
  }
  ShortText& operator=(std::u16string_view text) {
    Assign(text);
    return *this;
  }

  operator std::u16string_view() const noexcept { return {data(), size_}; }  // NOLINT
  const char16_t* data() const noexcept { return heap_ ? heap_.get() : inline_; }
  std::size_t size() const noexcept { return size_; }
  bool empty() const noexcept { return size_ == 0; }

  // Room for `size` units, to be written in place of what was there.
  char16_t* Reset(std::size_t size) {
    if (size <= kInline) {
      heap_.reset();
    } else {
      heap_ = std::make_unique_for_overwrite<char16_t[]>(size);
    }
    size_ = static_cast<std::uint32_t>(size);
    return heap_ ? heap_.get() : inline_;
  }

 private:
  void Assign(std::u16string_view text) {
    // `text` may lie in this very text: it is copied before anything is freed.
    if (text.size() <= kInline) {
      std::memmove(inline_, text.data(), text.size() * sizeof(char16_t));
      heap_.reset();
    } else {
      auto heap = std::make_unique_for_overwrite<char16_t[]>(text.size());
      std::copy(text.begin(), text.end(), heap.get());
      heap_ = std::move(heap);
    }
    size_ = static_cast<std::uint32_t>(text.size());
  }

  void Take(ShortText& other) noexcept {
    heap_ = std::move(other.heap_);
    if (!heap_)
      std::memcpy(inline_, other.inline_, other.size_ * sizeof(char16_t));
    size_ = other.size_;
    other.size_ = 0;
  }

  std::unique_ptr<char16_t[]> heap_;
  std::uint32_t size_ = 0;
  char16_t inline_[kInline];
};

}  // namespace brindel::registry::store
