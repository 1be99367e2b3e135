#include "outlook/OutlookInstall.h"

#include <algorithm>

#include "platform/Text.h"
#include "registry/Helpers.h"

namespace brindel::outlook {

namespace {

constexpr char16_t kAppPaths[] =
    u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE";
constexpr char16_t kUnknownVersion[] = u"unbekannte Outlook Version: ";

}  // namespace

std::u16string OutlookLocationKey(unsigned installation) {
  switch (installation) {
    case 1:
      return kAppPaths;
    case 2:
      return std::u16string(u"SOFTWARE\\Microsoft\\Office\\ClickToRun\\REGISTRY\\MACHINE\\") +
             kAppPaths;
    case 3:
      return std::u16string(
                 u"SOFTWARE\\Microsoft\\Office\\ClickToRun\\AppVMachineRegistryStore\\Integration\\"
                 u"Backup\\") +
             kAppPaths;
    case 4:
    case 5:
    case 6:
    case 7: {
      static constexpr const char16_t* kVersions[] = {u"12", u"14", u"15", u"16"};
      return platform::Format(u"SOFTWARE\\Microsoft\\Office\\%s.0\\ClickToRun\\REGISTRY\\MACHINE\\",
                              {kVersions[installation - 4]}) +
             kAppPaths;
    }
    default:
      return {};
  }
}

std::u16string OutlookVersionName(const std::u16string& version,
                                  const std::function<void(const std::u16string&)>& showError) {
  std::u16string result = kUnknownVersion;
  // Only a decimal number is a version; any other text gives the unknown name quietly.
  if (version.empty() || version.size() > 9 ||
      !std::all_of(version.begin(), version.end(),
                   [](char16_t c) { return c >= u'0' && c <= u'9'; })) {
    return result;
  }
  const int number = std::stoi(platform::ToUtf8(version));
  static constexpr std::pair<int, const char16_t*> kNames[] = {
      {7, u"Outlook 97"},    {8, u"Outlook 98"},    {9, u"Outlook 2000"},
      {10, u"Outlook XP"},   {11, u"Outlook 2003"}, {12, u"Outlook 2007"},
      {14, u"Outlook 2010"}, {15, u"Outlook 2013"}, {16, u"Outlook 2016"}};
  for (const auto& [major, name] : kNames) {
    if (major == number)
      return name;
  }
  if (showError)
    showError(result + version);
  return result;
}

int CompareInstallVersions(const TOutlookInstall& first, const TOutlookInstall& second) {
  return second.Version - first.Version;
}

std::int32_t TOutlookDetection::CheckMSOutlook2(std::uint8_t iInstallation,
                                                std::u16string& outlookExe) {
  Bit32or64.clear();
  const std::u16string key = OutlookLocationKey(iInstallation);
  const std::u16string path = registry::RegReadStringAt(registry::rsLocalMachine, key, u"");
  KtFileInfo.SetFileName(path);
  outlookExe = KtFileInfo.FileName();
  if (outlookExe.empty())
    return 0;
  std::int32_t version = 0;
  if (KtFileInfo.IsVersionInfo())
    version = KtFileInfo.MajorFileVersionMS();
  if (version < 14)
    return version;
  const std::u16string bitness = registry::RegReadStringAt(
      registry::rsLocalMachine,
      platform::Format(u"Software\\Microsoft\\Office\\%s.0\\Outlook", {platform::Decimal(version)}),
      u"Bitness");
  Bit32or64 = platform::UpperCase(bitness) == u"X64" ? u" (64 Bit)" : u" (32 Bit)";
  return version;
}

void TOutlookDetection::GetInstalledOutlookVersions() {
  OInstallList.clear();
  for (std::uint8_t iInstallation = 1; iInstallation <= 7; ++iInstallation) {
    auto install = std::make_unique<TOutlookInstall>();
    install->Installation = iInstallation;
    std::u16string outlookExe;
    install->Version = CheckMSOutlook2(iInstallation, outlookExe);
    // Of several locations that lead to one major version only the first counts.
    for (const auto& earlier : OInstallList) {
      if (earlier->Version == install->Version)
        install->Version = 0;
    }
    if (install->Version > 0) {
      install->Name = OutlookVersionName(platform::Decimal(install->Version), showError_);
      install->NameAndBit = install->Name + Bit32or64;
      install->OutlookExeFile = outlookExe;
    }
    OInstallList.push_back(std::move(install));
  }
  std::stable_sort(OInstallList.begin(), OInstallList.end(),
                   [](const auto& a, const auto& b) { return CompareInstallVersions(*a, *b) < 0; });
}

}  // namespace brindel::outlook
