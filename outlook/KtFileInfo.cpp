#include "outlook/KtFileInfo.h"

#include <array>
#include <utility>

#include "platform/FileSystem.h"
#include "platform/FileVersion.h"
#include "platform/WindowsPath.h"

namespace brindel::outlook {
namespace {

constexpr std::uint32_t kFixedSignature = 0xFEEF04BD;

std::uint32_t U32At(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint32_t>(b[at]) | (static_cast<std::uint32_t>(b[at + 1]) << 8) |
         (static_cast<std::uint32_t>(b[at + 2]) << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}

std::uint16_t High(std::uint32_t v) {
  return static_cast<std::uint16_t>(v >> 16);
}
std::uint16_t Low(std::uint32_t v) {
  return static_cast<std::uint16_t>(v & 0xFFFF);
}

const std::u16string* NameIn(std::initializer_list<std::pair<std::uint32_t, const char16_t*>> table,
                             std::uint32_t value) {
  static thread_local std::u16string found;
  for (const auto& [key, name] : table) {
    if (key == value) {
      found = name;
      return &found;
    }
  }
  return nullptr;
}

std::u16string Hex4(std::uint16_t v) {
  static constexpr char16_t kDigits[] = u"0123456789ABCDEF";
  std::u16string out;
  for (int shift = 12; shift >= 0; shift -= 4)
    out += kDigits[(v >> shift) & 0xF];
  return out;
}

}  // namespace

void TKtFileInfo::ClearInfo() {
  FFileName.clear();
  FIsVersionInfo = false;
  FMajorFileVersionMS = FMinorFileVersionMS = FMajorFileVersionLS = FMinorFileVersionLS = 0;
  FMajorProductVersionMS = FMinorProductVersionMS = FMajorProductVersionLS =
      FMinorProductVersionLS = 0;
  FFileType = FFileSubType = 0;
  FMajorFileDataMS = FMinorFileDataMS = FMajorFileDataLS = FMinorFileDataLS = 0;
  FFileOS = 0;
  FIsFlagDebug = FIsFlagInfoinferred = FIsFlagPatched = FIsFlagPreRelease = FIsFlagPrivateBuild =
      FIsFlagSpecialBuild = false;
  FFileFlagsMask = FFileFlags = 0;
  for (auto* text : {&FFileTypeAsString, &FFileSubTypeAsString, &FFileOSAsString, &FCompanyName,
                     &FFileDesciption, &FFileVersion, &FInternalName, &FLegalCopyright,
                     &FLegalTrademarks, &FOriginalFilename, &FProductName, &FProductVersion,
                     &FComments, &FSpecialBuild, &FPrivateBuild}) {
    text->clear();
  }
}

void TKtFileInfo::SetFileName(const std::u16string& value) {
  ClearInfo();
  if (value.empty())
    return;
  const auto local = platform::LocalPathOf(value);
  if (!local || !platform::FileExists(*local))
    return;
  FFileName = value;

  platform::FileVersionInfo info;
  if (!info.Load(*local))
    return;

  const auto fixed = info.QueryValue(u"\\");
  if (fixed && fixed->size() >= 52 && U32At(*fixed, 0) == kFixedSignature) {
    const auto& f = *fixed;
    const std::uint32_t fileMS = U32At(f, 8), fileLS = U32At(f, 12);
    const std::uint32_t productMS = U32At(f, 16), productLS = U32At(f, 20);
    FMajorFileVersionMS = High(fileMS);
    FMinorFileVersionMS = Low(fileMS);
    FMajorFileVersionLS = High(fileLS);
    FMinorFileVersionLS = Low(fileLS);
    FMajorProductVersionMS = High(productMS);
    FMinorProductVersionMS = Low(productMS);
    FMajorProductVersionLS = High(productLS);
    FMinorProductVersionLS = Low(productLS);
    FFileFlagsMask = U32At(f, 24);
    FFileFlags = U32At(f, 28);
    FFileOS = U32At(f, 32);
    FFileType = U32At(f, 36);
    FFileSubType = U32At(f, 40);
    const std::uint32_t dateMS = U32At(f, 44), dateLS = U32At(f, 48);
    FMajorFileDataMS = High(dateMS);
    FMinorFileDataMS = Low(dateMS);
    FMajorFileDataLS = High(dateLS);
    FMinorFileDataLS = Low(dateLS);
    const std::uint32_t effective = FFileFlags & FFileFlagsMask;
    FIsFlagDebug = (effective & 0x01) != 0;
    FIsFlagPreRelease = (effective & 0x02) != 0;
    FIsFlagPatched = (effective & 0x04) != 0;
    FIsFlagPrivateBuild = (effective & 0x08) != 0;
    FIsFlagInfoinferred = (effective & 0x10) != 0;
    FIsFlagSpecialBuild = (effective & 0x20) != 0;
    SetFileTypeNames();
    SetFileOSName();
    FIsVersionInfo = true;
  }

  const auto translation = info.QueryValue(u"\\VarFileInfo\\Translation");
  if (!translation || translation->size() < 4)
    return;
  const auto language = static_cast<std::uint16_t>((*translation)[0] | ((*translation)[1] << 8));
  const auto codePage = static_cast<std::uint16_t>((*translation)[2] | ((*translation)[3] << 8));
  const std::u16string key = Hex4(language) + Hex4(codePage);
  const std::pair<const char16_t*, std::u16string*> entries[] = {
      {u"FileDescription", &FFileDesciption},    {u"CompanyName", &FCompanyName},
      {u"FileVersion", &FFileVersion},           {u"InternalName", &FInternalName},
      {u"LegalCopyright", &FLegalCopyright},     {u"LegalTrademarks", &FLegalTrademarks},
      {u"OriginalFilename", &FOriginalFilename}, {u"ProductName", &FProductName},
      {u"ProductVersion", &FProductVersion},     {u"Comments", &FComments},
      {u"SpecialBuild", &FSpecialBuild},         {u"PrivateBuild", &FPrivateBuild}};
  for (const auto& [name, field] : entries) {
    if (auto text = info.QueryString(u"\\StringFileInfo\\" + key + u"\\" + name))
      *field = *text;
  }
}

void TKtFileInfo::SetFileTypeNames() {
  FFileTypeAsString.clear();
  FFileSubTypeAsString.clear();
  if (const auto* name = NameIn({{0, u"VFT_UNKNOWN"},
                                 {1, u"VFT_APP"},
                                 {2, u"VFT_DLL"},
                                 {3, u"VFT_DRV"},
                                 {4, u"VFT_FONT"},
                                 {5, u"VFT_VXD"},
                                 {7, u"VFT_STATIC_LIB"}},
                                FFileType)) {
    FFileTypeAsString = *name;
  }
  const std::u16string* sub = nullptr;
  if (FFileType == 3) {
    sub = NameIn({{0, u"VFT2_UNKNOWN"},
                  {1, u"VFT2_DRV_PRINTER"},
                  {2, u"VFT2_DRV_KEYBOARD"},
                  {3, u"VFT2_DRV_LANGUAGE"},
                  {4, u"VFT2_DRV_DISPLAY"},
                  {5, u"VFT2_DRV_MOUSE"},
                  {6, u"VFT2_DRV_NETWORK"},
                  {7, u"VFT2_DRV_SYSTEM"},
                  {8, u"VFT2_DRV_INSTALLABLE"},
                  {9, u"VFT2_DRV_SOUND"},
                  {10, u"VFT2_DRV_COMM"}},
                 FFileSubType);
  } else if (FFileType == 4) {
    sub = NameIn({{1, u"VFT2_FONT_RASTER"}, {2, u"VFT2_FONT_VECTOR"}, {3, u"VFT2_FONT_TRUETYPE"}},
                 FFileSubType);
  }
  if (sub)
    FFileSubTypeAsString = *sub;
}

void TKtFileInfo::SetFileOSName() {
  FFileOSAsString.clear();
  if (const auto* name = NameIn({{0, u"VOS_UNKNOWN"},
                                 {1, u"VOS__WINDOWS16"},
                                 {2, u"VOS__PM16"},
                                 {3, u"VOS__PM32"},
                                 {4, u"VOS__WINDOWS32"},
                                 {0x10000, u"VOS_DOS"},
                                 {0x10001, u"VOS_DOS_WINDOWS16"},
                                 {0x10004, u"VOS_DOS_WINDOWS32"},
                                 {0x20000, u"VOS_OS216"},
                                 {0x20002, u"VOS_OS216_PM16"},
                                 {0x30000, u"VOS_OS232"},
                                 {0x30003, u"VOS_OS232_PM32"},
                                 {0x40000, u"VOS_NT"},
                                 {0x40004, u"VOS_NT_WINDOWS32"}},
                                FFileOS)) {
    FFileOSAsString = *name;
  }
}

namespace {
std::u16string WithoutTrailingBackslash(std::u16string path) {
  if (!path.empty() && path.back() == u'\\')
    path.pop_back();
  return path;
}
}  // namespace

std::u16string TKtFileInfo::GetSystemPath() {
  return WithoutTrailingBackslash(platform::SystemDirectory());
}

std::u16string TKtFileInfo::GetWindowsPath() {
  return WithoutTrailingBackslash(platform::WindowsDirectory());
}

}  // namespace brindel::outlook
