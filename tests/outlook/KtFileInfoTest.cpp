#include "outlook/KtFileInfo.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "platform/FileVersion.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "support/Files.h"

namespace brindel::outlook {
namespace {

namespace fs = std::filesystem;

std::u16string PeFile(const std::string& name, const std::string& arch) {
  return platform::FromUtf8(std::string(BRINDEL_PE_FIXTURES) + "/" + name + "-" + arch + ".exe");
}

class KtFileInfoTest : public ::testing::TestWithParam<std::string> {};

TEST_P(KtFileInfoTest, ReadsEveryPropertyOfOutlook) {
  TKtFileInfo info;
  const std::u16string file = PeFile("outlook16", GetParam());
  info.SetFileName(file);
  EXPECT_EQ(file, info.FileName());
  ASSERT_TRUE(info.IsVersionInfo());
  EXPECT_EQ(16, info.MajorFileVersionMS());
  EXPECT_EQ(0, info.MinorFileVersionMS());
  EXPECT_EQ(4266, info.MajorFileVersionLS());
  EXPECT_EQ(1001, info.MinorFileVersionLS());
  EXPECT_EQ(16, info.MajorProductVersionMS());
  EXPECT_EQ(1, info.MinorProductVersionMS());
  EXPECT_EQ(4266, info.MajorProductVersionLS());
  EXPECT_EQ(1002, info.MinorProductVersionLS());
  EXPECT_EQ(1u, info.FileType());
  EXPECT_EQ(0u, info.FileSubType());
  EXPECT_EQ(0x40004u, info.FileOS());
  EXPECT_EQ(0x3Fu, info.FileFlagsMask());
  EXPECT_EQ(0x0Bu, info.FileFlags());
  EXPECT_TRUE(info.IsFlagDebug());
  EXPECT_TRUE(info.IsFlagPreRelease());
  EXPECT_FALSE(info.IsFlagPatched());
  EXPECT_TRUE(info.IsFlagPrivateBuild());
  EXPECT_FALSE(info.IsFlagInfoinferred());
  EXPECT_FALSE(info.IsFlagSpecialBuild());
  EXPECT_EQ(u"VFT_APP", info.FileTypeAsString());
  EXPECT_EQ(u"", info.FileSubTypeAsString());
  EXPECT_EQ(u"VOS_NT_WINDOWS32", info.FileOSAsString());
  EXPECT_EQ(u"Microsoft Corporation", info.CompanyName());
  EXPECT_EQ(u"Microsoft Outlook", info.FileDesciption());
  EXPECT_EQ(u"16.0.4266.1001", info.FileVersion());
  EXPECT_EQ(u"Outlook", info.InternalName());
  EXPECT_EQ(u"© Microsoft Corporation. All rights reserved.", info.LegalCopyright());
  EXPECT_EQ(u"Microsoft® is a registered trademark", info.LegalTrademarks());
  EXPECT_EQ(u"Outlook.exe", info.OriginalFilename());
  EXPECT_EQ(u"Microsoft Office 2016", info.ProductName());
  EXPECT_EQ(u"16.0.4266.1001", info.ProductVersion());
  EXPECT_EQ(u"Brindel test file", info.Comments());
  EXPECT_EQ(u"special", info.SpecialBuild());
  EXPECT_EQ(u"private", info.PrivateBuild());
  EXPECT_EQ(0, info.MajorFileDataMS());
}

TEST_P(KtFileInfoTest, DriverSubtypeAndFlagsOutsideTheMask) {
  TKtFileInfo info;
  info.SetFileName(PeFile("driver", GetParam()));
  ASSERT_TRUE(info.IsVersionInfo());
  EXPECT_EQ(u"VFT_DRV", info.FileTypeAsString());
  EXPECT_EQ(u"VFT2_DRV_DISPLAY", info.FileSubTypeAsString());
  EXPECT_EQ(u"VOS__WINDOWS32", info.FileOSAsString());
  EXPECT_TRUE(info.IsFlagDebug());
  EXPECT_FALSE(info.IsFlagPreRelease()) << "set in the flags, not in the mask";
  EXPECT_FALSE(info.IsFlagSpecialBuild());
  EXPECT_EQ(u"Treiberbau GmbH", info.CompanyName());
}

TEST_P(KtFileInfoTest, GermanResourceIsTakenBeforeEnglish) {
  TKtFileInfo info;
  info.SetFileName(PeFile("languages", GetParam()));
  EXPECT_EQ(16, info.MajorFileVersionMS());
  EXPECT_EQ(u"Deutsch", info.ProductName());
}

TEST_P(KtFileInfoTest, NoTranslationLeavesEveryStringEmpty) {
  TKtFileInfo info;
  info.SetFileName(PeFile("notranslation", GetParam()));
  ASSERT_TRUE(info.IsVersionInfo());
  EXPECT_EQ(15, info.MajorFileVersionMS());
  EXPECT_EQ(u"", info.CompanyName());
  EXPECT_EQ(6u, info.FileType());
  EXPECT_EQ(u"", info.FileTypeAsString());
  EXPECT_EQ(u"", info.FileSubTypeAsString());
}

TEST_P(KtFileInfoTest, FileWithoutVersionResourceKeepsItsName) {
  TKtFileInfo info;
  const std::u16string file = PeFile("noversion", GetParam());
  info.SetFileName(file);
  EXPECT_EQ(file, info.FileName());
  EXPECT_FALSE(info.IsVersionInfo());
  EXPECT_EQ(0, info.MajorFileVersionMS());
}

INSTANTIATE_TEST_SUITE_P(Architectures, KtFileInfoTest, ::testing::Values("x86_64", "i686"));

TEST(KtFileInfoResetTest, EmptyOrMissingNameResetsEverything) {
  TKtFileInfo info;
  info.SetFileName(PeFile("outlook16", "x86_64"));
  ASSERT_EQ(16, info.MajorFileVersionMS());
  info.SetFileName(u"/nonexistent/OUTLOOK.EXE");
  EXPECT_EQ(u"", info.FileName());
  EXPECT_FALSE(info.IsVersionInfo());
  EXPECT_EQ(0, info.MajorFileVersionMS());
  EXPECT_EQ(u"", info.CompanyName());
  info.SetFileName(PeFile("outlook16", "x86_64"));
  info.SetFileName(u"");
  EXPECT_EQ(u"", info.FileName());
  EXPECT_EQ(u"", info.FileOSAsString());
}

// Damaged files: each gives no version information, never a crash or a read outside.
struct Damage {
  const char* name;
  void (*apply)(std::vector<std::uint8_t>&);
};

std::uint32_t U32(const std::vector<std::uint8_t>& b, std::size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) |
         (static_cast<std::uint32_t>(b[at + 3]) << 24);
}
void Put32(std::vector<std::uint8_t>& b, std::size_t at, std::uint32_t v) {
  for (int i = 0; i < 4; ++i)
    b[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
}

// File offset of the resource directory, found the way a reader finds it.
std::size_t ResourceDirectoryOffset(const std::vector<std::uint8_t>& b) {
  const std::size_t pe = U32(b, 0x3C);
  const std::size_t optional = pe + 24;
  const bool plus = b[optional] == 0x0B && b[optional + 1] == 0x02;
  const std::uint32_t rva = U32(b, optional + (plus ? 112 : 96) + 16);
  const std::size_t sections = optional + (b[pe + 20] | (b[pe + 21] << 8));
  const std::size_t count = b[pe + 6] | (b[pe + 7] << 8);
  for (std::size_t i = 0; i < count; ++i) {
    const std::size_t s = sections + i * 40;
    const std::uint32_t va = U32(b, s + 12);
    if (rva >= va && rva < va + U32(b, s + 16))
      return U32(b, s + 20) + (rva - va);
  }
  return 0;
}

class DamagedFileTest : public ::testing::TestWithParam<Damage> {};

TEST_P(DamagedFileTest, GivesResetProperties) {
  for (const char* arch : {"x86_64", "i686"}) {
    std::vector<std::uint8_t> bytes =
        test::ReadFileBytes(platform::ToUtf8(PeFile("outlook16", arch)));
    ASSERT_TRUE(platform::ExtractVersionResource(bytes).has_value());
    GetParam().apply(bytes);
    EXPECT_FALSE(platform::ExtractVersionResource(bytes).has_value()) << arch;

    const fs::path file = fs::temp_directory_path() /
                          ("brindel-damaged-" + std::string(GetParam().name) + "-" + arch + ".exe");
    std::ofstream(file, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    TKtFileInfo info;
    info.SetFileName(platform::FromUtf8(file.string()));
    EXPECT_FALSE(info.IsVersionInfo()) << arch;
    EXPECT_EQ(0, info.MajorFileVersionMS()) << arch;
    EXPECT_EQ(u"", info.ProductName()) << arch;
    fs::remove(file);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Damages, DamagedFileTest,
    ::testing::Values(Damage{"not_mz", [](auto& b) { b[0] = 'X'; }},
                      Damage{"pe_offset_outside", [](auto& b) { Put32(b, 0x3C, 0x7FFFFFF0); }},
                      Damage{"truncated_in_headers", [](auto& b) { b.resize(0x90); }},
                      Damage{"truncated_before_resources",
                             [](auto& b) { b.resize(ResourceDirectoryOffset(b) + 8); }},
                      Damage{"huge_entry_count",
                             [](auto& b) {
                               const std::size_t dir = ResourceDirectoryOffset(b);
                               b[dir + 14] = 0xFF;
                               b[dir + 15] = 0xFF;
                             }},
                      Damage{"directory_loops_to_itself",
                             [](auto& b) {
                               // The RT_VERSION entry's sub-directory points at the root directory.
                               const std::size_t dir = ResourceDirectoryOffset(b);
                               const std::size_t count = b[dir + 12] + b[dir + 14];
                               for (std::size_t i = 0; i < count; ++i) {
                                 const std::size_t entry = dir + 16 + i * 8;
                                 if (U32(b, entry) == 16) {
                                   const std::size_t names = dir + (U32(b, entry + 4) & 0x7FFFFFFF);
                                   Put32(b, names + 16 + 4, 0x80000000u);
                                 }
                               }
                             }},
                      Damage{"data_offset_outside",
                             [](auto& b) {
                               // Every data entry's address points far past the end of the file.
                               const std::size_t dir = ResourceDirectoryOffset(b);
                               for (std::size_t at = dir; at + 16 <= b.size() && at < dir + 0x200;
                                    at += 4) {
                                 if (U32(b, at + 4) > 0x100 && U32(b, at + 4) < 0x2000 &&
                                     U32(b, at + 8) == 0 && U32(b, at + 12) == 0 &&
                                     U32(b, at) > 0x1000 && U32(b, at) < 0x100000) {
                                   Put32(b, at, 0x7FFFFF00);
                                 }
                               }
                             }}),
    [](const auto& row) { return std::string(row.param.name); });

TEST(FileVersionBlockTest, HugeLengthsInTheBlockStayInside) {
  platform::FileVersionInfo info;
  // A root node claiming 0xFFFF bytes in a block of 8.
  info.Assign({0xFF, 0xFF, 0x34, 0x00, 0x00, 0x00, 0x56, 0x00});
  EXPECT_FALSE(info.QueryValue(u"\\").has_value());
  info.Assign({});
  EXPECT_FALSE(info.QueryValue(u"\\").has_value());
}

TEST(WindowsPathTest, MountedInstallationIsSearchedWithoutLetterCase) {
  const fs::path root = fs::temp_directory_path() / "brindel-winroot";
  fs::remove_all(root);
  fs::create_directories(root / "Program Files" / "Microsoft Office" / "root" / "Office16");
  fs::copy_file(platform::ToUtf8(PeFile("outlook16", "x86_64")),
                root / "Program Files" / "Microsoft Office" / "root" / "Office16" / "OUTLOOK.EXE");
  platform::SetWindowsRoot(root.string());
  TKtFileInfo info;
  info.SetFileName(u"C:\\PROGRAM FILES\\microsoft office\\Root\\Office16\\outlook.exe");
  EXPECT_EQ(16, info.MajorFileVersionMS());
  EXPECT_EQ(u"C:\\Windows\\System32", TKtFileInfo::GetSystemPath());
  info.SetFileName(u"C:\\..\\..\\etc\\passwd");
  EXPECT_EQ(u"", info.FileName()) << "paths never leave the installation";
  info.SetFileName(u"\"C:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE\"");
  EXPECT_EQ(u"", info.FileName()) << "a quoted path names no file";
  platform::SetWindowsRoot("");
  // Without a mounted installation it is the running system's own folder, if any.
  EXPECT_EQ(platform::WindowsDirectory(), TKtFileInfo::GetWindowsPath());
  fs::remove_all(root);
}

}  // namespace
}  // namespace brindel::outlook
