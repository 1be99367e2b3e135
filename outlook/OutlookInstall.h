#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "outlook/KtFileInfo.h"

namespace brindel::outlook {

// What the start-up says when no installation was found.
inline constexpr std::u16string_view kOutlookNotFound =
    u"Auf diesem Rechner kann die Software \"Microsoft® Outlook\" nicht ermittelt werden.";

// One place where OUTLOOK.EXE may be registered, and what was found there.
struct TOutlookInstall {
  std::int32_t Version = 0;       // major version; 0 when none, or already found earlier
  std::uint8_t Installation = 0;  // the location examined, 1 to 7
  std::u16string Name;
  std::u16string NameAndBit;
  std::u16string OutlookExeFile;
};

using TOutlookInstallList = std::vector<std::unique_ptr<TOutlookInstall>>;

// The product name of a major version given as decimal text. An unknown version
// calls `showError` with "unbekannte Outlook Version: " and the text.
std::u16string OutlookVersionName(const std::u16string& version,
                                  const std::function<void(const std::u16string&)>& showError);

// The key under HKEY_LOCAL_MACHINE whose default value names OUTLOOK.EXE at a
// location (1 to 7); empty for any other number.
std::u16string OutlookLocationKey(unsigned installation);

// Sort order of the installation list: the higher version first.
int CompareInstallVersions(const TOutlookInstall& first, const TOutlookInstall& second);

// The installation check of the main window: reads the machine part of the registry
// and the version resource of each OUTLOOK.EXE found.
class TOutlookDetection {
 public:
  explicit TOutlookDetection(std::function<void(const std::u16string&)> showError)
      : showError_(std::move(showError)) {}

  // The major version registered at a location, 0 if none; sets `outlookExe` and
  // Bit32or64.
  std::int32_t CheckMSOutlook2(std::uint8_t iInstallation, std::u16string& outlookExe);
  // Refills OInstallList with the seven locations and sorts it, highest version first.
  void GetInstalledOutlookVersions();

  TOutlookInstallList OInstallList;
  std::u16string Bit32or64;
  TKtFileInfo KtFileInfo;

 private:
  std::function<void(const std::u16string&)> showError_;
};

}  // namespace brindel::outlook
