#pragma once

#include <memory>
#include <vector>

namespace brindel::profile {

// An ordered list of records that owns them: releasing the list releases its records.
template <typename Record>
class TRecordList {
 public:
  // Takes ownership and returns the record, so that a step can go on filling it.
  Record* Add(std::unique_ptr<Record> record) {
    items_.push_back(std::move(record));
    return items_.back().get();
  }
  int Count() const { return static_cast<int>(items_.size()); }
  Record& operator[](int index) { return *items_.at(index); }
  const Record& operator[](int index) const { return *items_.at(index); }
  void Clear() { items_.clear(); }

  auto begin() const { return items_.begin(); }
  auto end() const { return items_.end(); }

 private:
  std::vector<std::unique_ptr<Record>> items_;
};

}  // namespace brindel::profile
