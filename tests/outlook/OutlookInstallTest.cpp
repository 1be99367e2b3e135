#include "outlook/OutlookInstall.h"

#include <gtest/gtest.h>

#include "platform/Text.h"
#include "support/StoreFixture.h"

namespace brindel::outlook {
namespace {

using namespace registry::store;

std::u16string Exe(const std::string& name) {
  return platform::FromUtf8(std::string(BRINDEL_PE_FIXTURES) + "/" + name + ".exe");
}

class OutlookDetectionTest : public test::StoreFixture {
 protected:
  void Register(unsigned location, const std::u16string& path) {
    Put(OutlookLocationKey(location), u"", REG_SZ, test::Utf16Bytes(path), HKEY_LOCAL_MACHINE);
  }
  void Bitness(const std::u16string& version, const std::u16string& value) {
    Put(u"Software\\Microsoft\\Office\\" + version + u"\\Outlook", u"Bitness", REG_SZ,
        test::Utf16Bytes(value), HKEY_LOCAL_MACHINE);
  }
  std::vector<std::int32_t> Versions() const {
    std::vector<std::int32_t> versions;
    for (const auto& install : detection_.OInstallList)
      versions.push_back(install->Version);
    return versions;
  }

  std::vector<std::u16string> errors_;
  TOutlookDetection detection_{[this](const std::u16string& text) { errors_.push_back(text); }};
};

TEST_F(OutlookDetectionTest, LocationsAreTheSevenKeys) {
  EXPECT_EQ(u"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE",
            OutlookLocationKey(1));
  EXPECT_EQ(
      u"SOFTWARE\\Microsoft\\Office\\16.0\\ClickToRun\\REGISTRY\\MACHINE\\SOFTWARE\\Microsoft\\"
      u"Windows\\CurrentVersion\\App Paths\\OUTLOOK.EXE",
      OutlookLocationKey(7));
  EXPECT_EQ(u"", OutlookLocationKey(0));
  EXPECT_EQ(u"", OutlookLocationKey(8));
}

TEST_F(OutlookDetectionTest, SameFileAtTwoLocationsIsListedOnce) {
  Register(1, Exe("outlook16-x86_64"));
  Register(2, Exe("outlook16-x86_64"));
  Bitness(u"16.0", u"x64");
  detection_.GetInstalledOutlookVersions();
  ASSERT_EQ(7u, detection_.OInstallList.size());
  EXPECT_EQ((std::vector<std::int32_t>{16, 0, 0, 0, 0, 0, 0}), Versions());
  const TOutlookInstall& first = *detection_.OInstallList[0];
  EXPECT_EQ(1, first.Installation);
  EXPECT_EQ(u"Outlook 2016", first.Name);
  EXPECT_EQ(u"Outlook 2016 (64 Bit)", first.NameAndBit) << "x64 in lower case counts";
  EXPECT_EQ(Exe("outlook16-x86_64"), first.OutlookExeFile);
  EXPECT_TRUE(errors_.empty());
}

TEST_F(OutlookDetectionTest, HigherVersionSortsFirstAndMissingBitnessMeans32Bit) {
  Register(5, Exe("version14-x86_64"));
  Register(7, Exe("outlook16-i686"));
  detection_.GetInstalledOutlookVersions();
  EXPECT_EQ(16, detection_.OInstallList[0]->Version);
  EXPECT_EQ(7, detection_.OInstallList[0]->Installation);
  EXPECT_EQ(u"Outlook 2016 (32 Bit)", detection_.OInstallList[0]->NameAndBit);
  EXPECT_EQ(14, detection_.OInstallList[1]->Version);
  EXPECT_EQ(u"Outlook 2010 (32 Bit)", detection_.OInstallList[1]->NameAndBit);
}

TEST_F(OutlookDetectionTest, VersionsBelow14HaveNoBuildSuffix) {
  Register(1, Exe("version12-x86_64"));
  Bitness(u"12.0", u"x64");
  detection_.GetInstalledOutlookVersions();
  EXPECT_EQ(u"Outlook 2007", detection_.OInstallList[0]->NameAndBit);
  EXPECT_EQ(u"", detection_.Bit32or64);
}

TEST_F(OutlookDetectionTest, UnknownVersionShowsItsErrorOnceAndIsListed) {
  Register(1, Exe("version17-x86_64"));
  Register(3, Exe("version17-x86_64"));
  detection_.GetInstalledOutlookVersions();
  EXPECT_EQ((std::vector<std::u16string>{u"unbekannte Outlook Version: 17"}), errors_);
  EXPECT_EQ(17, detection_.OInstallList[0]->Version);
  EXPECT_EQ(u"unbekannte Outlook Version:  (32 Bit)", detection_.OInstallList[0]->NameAndBit);
}

TEST_F(OutlookDetectionTest, PathsThatNameNoFileGiveVersionZero) {
  Register(1, u"\"" + Exe("outlook16-x86_64") + u"\"");
  Register(2, u"%ProgramFiles%\\Microsoft Office\\OUTLOOK.EXE");
  Register(3, Exe("noversion-x86_64"));
  std::u16string exe;
  EXPECT_EQ(0, detection_.CheckMSOutlook2(1, exe));
  EXPECT_EQ(u"", exe);
  EXPECT_EQ(0, detection_.CheckMSOutlook2(3, exe));
  EXPECT_EQ(Exe("noversion-x86_64"), exe) << "the file exists, it has no version";
  detection_.GetInstalledOutlookVersions();
  EXPECT_EQ((std::vector<std::int32_t>{0, 0, 0, 0, 0, 0, 0}), Versions());
}

TEST(OutlookVersionNameTest, NamesAndUnknownTexts) {
  std::vector<std::u16string> errors;
  auto record = [&errors](const std::u16string& text) { errors.push_back(text); };
  EXPECT_EQ(u"Outlook 97", OutlookVersionName(u"7", record));
  EXPECT_EQ(u"Outlook XP", OutlookVersionName(u"10", record));
  EXPECT_EQ(u"unbekannte Outlook Version: ", OutlookVersionName(u"13", record));
  EXPECT_EQ(u"unbekannte Outlook Version: ", OutlookVersionName(u"abc", record));
  EXPECT_EQ((std::vector<std::u16string>{u"unbekannte Outlook Version: 13"}), errors);
}

}  // namespace
}  // namespace brindel::outlook
