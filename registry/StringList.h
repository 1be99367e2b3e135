#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace brindel::registry {

// An ordered list of texts, unsorted or sorted. Sorted lists compare without regard to
// letter case (each code unit upper-cased, then code units compared), which orders the
// lower-case hexadecimal texts of this program by plain character order.
class TStringList {
 public:
  enum class Duplicates { Accept, Ignore };

  TStringList() = default;
  explicit TStringList(bool sorted, Duplicates duplicates = Duplicates::Accept)
      : duplicates_(duplicates) {
    SetSorted(sorted);
  }

  // Unsorted: appends. Sorted: inserts at its sorted place, before the first equal
  // entry when duplicates are accepted, not at all when they are ignored.
  // Returns the index of the text, or -1 when it was ignored.
  int Add(std::u16string text);
  int Count() const { return static_cast<int>(items_.size()); }
  const std::u16string& operator[](int index) const { return items_.at(index); }
  void Clear() { items_.clear(); }
  void Delete(int index);
  // First entry equal to text without regard to letter case, or -1. Sorted lists
  // search by halves.
  int IndexOf(std::u16string_view text) const;
  // Binary search of a sorted list: whether the text is present, and the index of the
  // first equal entry or where it would be inserted.
  bool Find(std::u16string_view text, int& index) const;

  bool Sorted() const { return sorted_; }
  // Switching to sorted sorts the entries already held (stable, duplicates kept).
  void SetSorted(bool sorted);
  Duplicates DuplicateRule() const { return duplicates_; }
  void SetDuplicates(Duplicates duplicates) { duplicates_ = duplicates; }

  const std::vector<std::u16string>& Items() const { return items_; }

 private:
  std::vector<std::u16string> items_;
  bool sorted_ = false;
  Duplicates duplicates_ = Duplicates::Accept;
};

}  // namespace brindel::registry
