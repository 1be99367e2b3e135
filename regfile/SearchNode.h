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

// One key on the path of a running search.
class TSearchNode {
 public:
  // store: the store the search runs on; null for the process's current one.
  TSearchNode(registry::store::HKEY ARegRoot, std::u16string APath,
              registry::store::RegistryStore* store = nullptr)
      : fPath(std::move(APath)), fRegRoot(ARegRoot), fStore(store) {}

  // Make the name lists on first need, upper-cased in a to z. A key that does not
  // open with full access has no names: the search treats it as empty.
  void LoadKeyNames();
  void LoadValueNames();

  std::unique_ptr<registry::TStringList> fValueNames;  // upper case; made on first need
  std::unique_ptr<registry::TStringList> fKeyNames;    // upper case; made on first need
  std::u16string fCurrentKey;
  std::u16string fPath;  // "\" before every key name; "\" alone for the root
  std::int32_t fValueIDX = -1;
  std::int32_t fKeyIDX = -1;
  registry::store::HKEY fRegRoot = 0;
  registry::store::RegistryStore* fStore = nullptr;
};

}  // namespace brindel::regfile
