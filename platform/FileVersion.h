#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace brindel::platform {

// The version information of an executable file, queried the way VerQueryValueW
// queries it: "\" gives the fixed file information block, "\VarFileInfo\Translation"
// the translation table, "\StringFileInfo\<key>\<name>" a string entry.
class FileVersionInfo {
 public:
  // Reads the version information of the file from its PE resources; false when it
  // has none or cannot be read (a damaged file counts as one without version
  // information). The same on every system.
  bool Load(const std::string& localPath);
  // Takes a version information block as GetFileVersionInfoW returns it.
  void Assign(std::vector<std::uint8_t> block) { block_ = std::move(block); }

  // The bytes of the value at the sub-block path; nullopt when there is none.
  // Names are compared without regard to letter case.
  std::optional<std::vector<std::uint8_t>> QueryValue(std::u16string_view subBlock) const;
  // A string entry up to its terminating NUL.
  std::optional<std::u16string> QueryString(std::u16string_view subBlock) const;

 private:
  std::vector<std::uint8_t> block_;
};

// The VS_VERSIONINFO resource of a PE file's bytes, in the language a German
// program gets: neutral, German, German (neutral sublanguage), English, else the
// first one listed. nullopt for anything that is not a PE file with such a resource;
// every offset is checked against the file.
std::optional<std::vector<std::uint8_t>> ExtractVersionResource(
    const std::vector<std::uint8_t>& file);

}  // namespace brindel::platform
