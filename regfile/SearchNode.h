#pragma once

#include <cstdint>
#include <initializer_list>
#include <memory>
#include <string>

#include "registry/StringList.h"
#include "registry/store/RegistryStore.h"

namespace brindel::regfile {

// What a registry search compares. rsData is accepted but never looked at.
enum class TSearchParam : std::uint8_t { rsKeys, rsValues, rsData };

class TSearchParams {
 public:
  TSearchParams() = default;
  TSearchParams(std::initializer_list<TSearchParam> params) {
    for (TSearchParam param : params)
      Include(param);
  }
  bool Contains(TSearchParam param) const { return (bits_ & Bit(param)) != 0; }
  void Include(TSearchParam param) { bits_ = static_cast<std::uint8_t>(bits_ | Bit(param)); }

 private:
  static std::uint8_t Bit(TSearchParam param) {
    return static_cast<std::uint8_t>(1u << static_cast<unsigned>(param));
  }
  std::uint8_t bits_ = 0;
};

// One key on the path of a running search. It holds its own name only: its path is
// the names of the nodes before it on the search's stack, so that the stack of a
// deep key needs no more than that key's path.
class TSearchNode {
 public:
  // store: the store the search runs on; null for the process's current one.
  TSearchNode(registry::store::HKEY ARegRoot, std::u16string AName,
              registry::store::RegistryStore* store = nullptr)
      : fName(std::move(AName)), fRegRoot(ARegRoot), fStore(store) {}

  // Make the name lists on first need, upper-cased in a to z, from the key at path
  // ("\" before every key name). A key that does not open with full access has no
  // names: the search treats it as empty.
  void LoadKeyNames(const std::u16string& path);
  void LoadValueNames(const std::u16string& path);

  std::unique_ptr<registry::TStringList> fValueNames;  // upper case; made on first need
  std::unique_ptr<registry::TStringList> fKeyNames;    // upper case; made on first need
  std::u16string fCurrentKey;
  std::u16string fName;  // the key's name as the search reached it; empty for the root
  std::int32_t fValueIDX = -1;
  std::int32_t fKeyIDX = -1;
  registry::store::HKEY fRegRoot = 0;
  registry::store::RegistryStore* fStore = nullptr;
};

}  // namespace brindel::regfile
