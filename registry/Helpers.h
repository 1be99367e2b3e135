#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "registry/RegAccess.h"

namespace brindel::registry {

// Each helper does one whole registry operation: it makes its own key object, picks
// the root from a small selector (1 HKEY_CURRENT_USER, 2 HKEY_LOCAL_MACHINE,
// 3 HKEY_CLASSES_ROOT, anything else no root), opens the key, does the one thing and
// closes it again. A missing key or value is a result, never an error.

// The selectors by name. The helpers take any number, so that one outside these
// picks no root, as it always did.
enum TRootSelector : unsigned { rsCurrentUser = 1, rsLocalMachine = 2, rsClassesRoot = 3 };

HKEY RegRootFromSelector(unsigned selector);

bool RegValueExistsAt(unsigned selector, std::u16string_view path, std::u16string_view name);
TRegValueKind RegValueKindAt(unsigned selector, std::u16string_view path, std::u16string_view name);
// Empty text for a missing value and for any error of the read itself.
std::u16string RegReadStringAt(unsigned selector, std::u16string_view path,
                               std::u16string_view name);
// Raises the data-type error for string and integer values, the read error when the
// data cannot be read after the value was found.
std::vector<std::uint8_t> RegReadBinaryAt(unsigned selector, std::u16string_view path,
                                          std::u16string_view name);
// Creates the key path when needed; false when it can neither be opened nor created,
// the write error when the write itself fails.
bool RegWriteBinaryAt(unsigned selector, std::u16string_view path, std::u16string_view name,
                      const std::vector<std::uint8_t>& data);
// Deletes a sub key that has no sub keys of its own; false otherwise.
bool RegDeleteKeyAt(unsigned selector, std::u16string_view path, std::u16string_view subKey);

// Under WOW64 a path naming the redirected 32-bit branch is read in the 32-bit view,
// every other path in the native 64-bit view. The path itself is never changed.
REGSAM RegViewAccess(std::u16string_view path, REGSAM access);

}  // namespace brindel::registry
