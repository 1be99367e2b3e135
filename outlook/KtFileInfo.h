#pragma once

#include <cstdint>
#include <string>

namespace brindel::outlook {

// The version resource of an executable file as read-only properties. Assigning a
// file name is the only operation: it resets everything and reads the new file.
class TKtFileInfo {
 public:
  TKtFileInfo() { ClearInfo(); }

  const std::u16string& FileName() const { return FFileName; }
  // A path as the registry names it; off Windows it is looked up below the mounted
  // Windows installation, if any. An empty name or a missing file leaves FileName empty.
  void SetFileName(const std::u16string& value);

  bool IsVersionInfo() const { return FIsVersionInfo; }
  std::uint16_t MajorFileVersionMS() const { return FMajorFileVersionMS; }
  std::uint16_t MinorFileVersionMS() const { return FMinorFileVersionMS; }
  std::uint16_t MajorFileVersionLS() const { return FMajorFileVersionLS; }
  std::uint16_t MinorFileVersionLS() const { return FMinorFileVersionLS; }
  std::uint16_t MajorProductVersionMS() const { return FMajorProductVersionMS; }
  std::uint16_t MinorProductVersionMS() const { return FMinorProductVersionMS; }
  std::uint16_t MajorProductVersionLS() const { return FMajorProductVersionLS; }
  std::uint16_t MinorProductVersionLS() const { return FMinorProductVersionLS; }
  std::uint32_t FileType() const { return FFileType; }
  std::uint32_t FileSubType() const { return FFileSubType; }
  std::uint16_t MajorFileDataMS() const { return FMajorFileDataMS; }
  std::uint16_t MinorFileDataMS() const { return FMinorFileDataMS; }
  std::uint16_t MajorFileDataLS() const { return FMajorFileDataLS; }
  std::uint16_t MinorFileDataLS() const { return FMinorFileDataLS; }
  std::uint32_t FileOS() const { return FFileOS; }
  bool IsFlagDebug() const { return FIsFlagDebug; }
  bool IsFlagInfoinferred() const { return FIsFlagInfoinferred; }
  bool IsFlagPatched() const { return FIsFlagPatched; }
  bool IsFlagPreRelease() const { return FIsFlagPreRelease; }
  bool IsFlagPrivateBuild() const { return FIsFlagPrivateBuild; }
  bool IsFlagSpecialBuild() const { return FIsFlagSpecialBuild; }
  std::uint32_t FileFlagsMask() const { return FFileFlagsMask; }
  std::uint32_t FileFlags() const { return FFileFlags; }
  const std::u16string& FileTypeAsString() const { return FFileTypeAsString; }
  const std::u16string& FileSubTypeAsString() const { return FFileSubTypeAsString; }
  const std::u16string& FileOSAsString() const { return FFileOSAsString; }
  const std::u16string& CompanyName() const { return FCompanyName; }
  const std::u16string& FileDesciption() const { return FFileDesciption; }
  const std::u16string& FileVersion() const { return FFileVersion; }
  const std::u16string& InternalName() const { return FInternalName; }
  const std::u16string& LegalCopyright() const { return FLegalCopyright; }
  const std::u16string& LegalTrademarks() const { return FLegalTrademarks; }
  const std::u16string& OriginalFilename() const { return FOriginalFilename; }
  const std::u16string& ProductName() const { return FProductName; }
  const std::u16string& ProductVersion() const { return FProductVersion; }
  const std::u16string& Comments() const { return FComments; }
  const std::u16string& SpecialBuild() const { return FSpecialBuild; }
  const std::u16string& PrivateBuild() const { return FPrivateBuild; }

  static std::u16string GetSystemPath();
  static std::u16string GetWindowsPath();

 private:
  void ClearInfo();
  void SetFileTypeNames();
  void SetFileOSName();

  std::u16string FFileName;
  bool FIsVersionInfo;
  std::uint16_t FMajorFileVersionMS, FMinorFileVersionMS, FMajorFileVersionLS, FMinorFileVersionLS;
  std::uint16_t FMajorProductVersionMS, FMinorProductVersionMS, FMajorProductVersionLS,
      FMinorProductVersionLS;
  std::uint32_t FFileType, FFileSubType;
  std::uint16_t FMajorFileDataMS, FMinorFileDataMS, FMajorFileDataLS, FMinorFileDataLS;
  std::uint32_t FFileOS;
  bool FIsFlagDebug, FIsFlagInfoinferred, FIsFlagPatched, FIsFlagPreRelease, FIsFlagPrivateBuild,
      FIsFlagSpecialBuild;
  std::uint32_t FFileFlagsMask, FFileFlags;
  std::u16string FFileTypeAsString, FFileSubTypeAsString, FFileOSAsString;
  std::u16string FCompanyName, FFileDesciption, FFileVersion, FInternalName, FLegalCopyright,
      FLegalTrademarks, FOriginalFilename, FProductName, FProductVersion, FComments, FSpecialBuild,
      FPrivateBuild;
};

}  // namespace brindel::outlook
