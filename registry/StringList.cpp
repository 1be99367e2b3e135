#include "registry/StringList.h"

#include <algorithm>

#include "platform/Text.h"

namespace brindel::registry {

using platform::CompareTextIgnoreCase;

int TStringList::Add(std::u16string text) {
  if (!sorted_) {
    items_.push_back(std::move(text));
    return Count() - 1;
  }
  int index = 0;
  if (Find(text, index) && duplicates_ == Duplicates::Ignore)
    return -1;
  items_.insert(items_.begin() + index, std::move(text));
  return index;
}

void TStringList::Delete(int index) {
  items_.erase(items_.begin() + index);
}

int TStringList::IndexOf(std::u16string_view text) const {
  if (sorted_) {
    int index = 0;
    return Find(text, index) ? index : -1;
  }
  for (int i = 0; i < Count(); ++i) {
    if (CompareTextIgnoreCase(items_[i], text) == 0)
      return i;
  }
  return -1;
}

bool TStringList::Find(std::u16string_view text, int& index) const {
  auto it = std::lower_bound(items_.begin(), items_.end(), text,
                             [](const std::u16string& item, std::u16string_view t) {
                               return CompareTextIgnoreCase(item, t) < 0;
                             });
  index = static_cast<int>(it - items_.begin());
  return it != items_.end() && CompareTextIgnoreCase(*it, text) == 0;
}

void TStringList::SetSorted(bool sorted) {
  if (sorted && !sorted_) {
    std::stable_sort(items_.begin(), items_.end(),
                     [](const auto& a, const auto& b) { return CompareTextIgnoreCase(a, b) < 0; });
  }
  sorted_ = sorted;
}

}  // namespace brindel::registry
