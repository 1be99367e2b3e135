#pragma once

// Loading a .reg text into a store: the lenient grammar (RegTextReader.h) reads the
// whole text first, then its operations are applied, and undone when the store
// refuses one.

#include <cstdint>
#include <span>
#include <string_view>

#include "regfile/RegTextReader.h"
#include "registry/store/RegistryStore.h"

namespace brindel::regfile {

// Applies parsed operations in order. When the store refuses one, the changes made
// so far are undone as far as the store allows and ERegTextError names the line.
void ApplyRegText(const ParsedRegText& text, registry::store::RegistryStore& store);

// Parses, then applies: bad input leaves the store as it was.
void LoadRegText(std::span<const std::uint8_t> bytes, registry::store::RegistryStore& store);
// The same for a file; its errors name the file.
void LoadRegTextFile(std::u16string_view fileName, registry::store::RegistryStore& store);

}  // namespace brindel::regfile
