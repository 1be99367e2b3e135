#include "profile/ListValues.h"

#include <string>

#include "platform/Text.h"
#include "profile/ProfileNames.h"
#include "registry/Codecs.h"

namespace brindel::profile {

void ReadSectionIdList(std::u16string_view profileTree, std::u16string_view valueName,
                       TStringList& list) {
  const std::u16string path =
      std::u16string(profileTree) + u"\\" + std::u16string(kProviderSection);
  const std::u16string hex = registry::RegReadBinaryHexAt(kProfileRoot, path, valueName);
  for (std::size_t i = 0; i + 32 <= hex.size(); i += 32) {
    list.Add(platform::AsciiLowerCase(std::u16string_view(hex).substr(i, 32)));
  }
}

void ReadAccountNumberList(std::u16string_view profileTree, std::u16string_view valueName,
                           TStringList& list) {
  const std::u16string path = std::u16string(profileTree) + u"\\" + std::u16string(kAccountSection);
  const std::u16string hex = registry::RegReadBinaryHexAt(kProfileRoot, path, valueName);
  for (std::size_t i = 0; i + 8 <= hex.size(); i += 8) {
    std::u16string number;
    for (std::size_t byte = 4; byte-- > 0;)
      number += hex.substr(i + byte * 2, 2);
    list.Add(platform::AsciiLowerCase(number));
  }
}

}  // namespace brindel::profile
