// Every tree the stores hold comes back from its export: random trees of hostile
// names and values, exported to a file, read with the import's reader into an empty
// registry, compared key by key and value by value.

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <string>

#include "ExportSupport.h"
#include "regfile/ExRegistry.h"
#include "regfile/StoreExport.h"
#include "support/Files.h"
#include "support/HostileTree.h"
#include "support/StoreFixture.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;

constexpr std::u16string_view kTop = u"Software\\Hostile";
constexpr std::uint32_t kTrees = 150;

class ExportRoundTripTest : public test::StoreFixture {
 protected:
  void SetUp() override {
    folder_ =
        std::filesystem::temp_directory_path() /
        ("brindel-roundtrip-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    std::filesystem::create_directories(folder_);
  }
  void TearDown() override { std::filesystem::remove_all(folder_); }

  // The tree below kTop exported to a file and imported into `into`; the file's bytes.
  std::string ExportAndImport(MemoryStore& into, std::vector<std::u16string>& leftOut) {
    TExRegistry reg(KEY_READ);
    EXPECT_TRUE(reg.Open(kTop, false));
    const std::filesystem::path file = folder_ / "tree.reg";
    EXPECT_TRUE(reg.ExportKey(file.u16string()));
    leftOut = reg.ExportLeftOut();
    TExRegistry importer;
    importer.UseStore(into);
    EXPECT_NO_THROW(importer.ImportRegFile(file.u16string()));
    return test::ReadWholeFile(file);
  }

  ::testing::AssertionResult ReadBackWhole(MemoryStore& imported) {
    HKEY live = 0;
    HKEY file = 0;
    if (store_.OpenKey(HKEY_CURRENT_USER, kTop, KEY_READ, live) != ERROR_SUCCESS ||
        imported.OpenKey(HKEY_CURRENT_USER, kTop, KEY_READ, file) != ERROR_SUCCESS) {
      return ::testing::AssertionFailure() << "the tree is missing";
    }
    auto result = test::SameTree(store_, live, imported, file, std::u16string(kTop));
    store_.CloseKey(live);
    imported.CloseKey(file);
    return result;
  }

  // Removes, below root\path, the keys and values whose names no text holds; how
  // many it removed.
  int RemoveUnwritable(HKEY root, const std::u16string& path) {
    int removed = 0;
    HKEY key = 0;
    if (store_.OpenKey(root, path, KEY_ALL_ACCESS, key) != ERROR_SUCCESS)
      return 0;
    std::vector<std::u16string> values;
    std::u16string name;
    for (std::uint32_t i = 0; store_.EnumValue(key, i, name, nullptr) == ERROR_SUCCESS; ++i)
      values.push_back(name);
    for (const std::u16string& value : values) {
      if (value.find(u'\0') != std::u16string::npos) {
        store_.DeleteValue(key, value);
        ++removed;
      }
    }
    std::vector<std::u16string> keys;
    for (std::uint32_t i = 0; store_.EnumKey(key, i, name) == ERROR_SUCCESS; ++i)
      keys.push_back(name);
    store_.CloseKey(key);
    for (const std::u16string& sub : keys) {
      if (sub.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string::npos) {
        TExRegistry cleaner;
        cleaner.UseRoot(root);
        EXPECT_TRUE(cleaner.DeleteKey(u"\\" + path + u"\\" + sub));
        ++removed;
      } else {
        removed += RemoveUnwritable(root, path + u"\\" + sub);
      }
    }
    return removed;
  }

  std::filesystem::path folder_;
};

TEST_F(ExportRoundTripTest, HostileTreesComeBackExactly) {
  int regedit4 = 0;
  for (std::uint32_t seed = 1; seed <= kTrees; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    // Half of the trees only with what REGEDIT4 holds.
    test::HostileTree(seed, {.regedit4 = seed % 2 == 0}).Fill(store_, HKEY_CURRENT_USER, kTop);
    MemoryStore imported;
    std::vector<std::u16string> leftOut;
    const std::string text = ExportAndImport(imported, leftOut);
    regedit4 += text.starts_with("REGEDIT4\r\n") ? 1 : 0;
    EXPECT_EQ(std::vector<std::u16string>{}, leftOut);
    ASSERT_TRUE(ReadBackWhole(imported));
    // Then the next seed starts from nothing.
    TExRegistry cleaner;
    cleaner.UseRoot(HKEY_CURRENT_USER);
    cleaner.DeleteKey(u"\\Software");
  }
  // Both formats were met, so both were read back.
  EXPECT_GT(regedit4, 10);
  EXPECT_LT(regedit4, static_cast<int>(kTrees) - 10);
}

// What no text holds is left out and named; everything else of the tree still comes
// back, so the names are the whole loss.
TEST_F(ExportRoundTripTest, TreesWithNamesNoTextHoldsLoseOnlyWhatIsNamed) {
  int named = 0;
  for (std::uint32_t seed = 1; seed <= kTrees / 3; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    test::HostileTree(seed, {.unwritable = true}).Fill(store_, HKEY_CURRENT_USER, kTop);
    MemoryStore imported;
    std::vector<std::u16string> leftOut;
    ExportAndImport(imported, leftOut);
    named += static_cast<int>(leftOut.size());
    // Without what the export named, the registry is what the file holds.
    EXPECT_EQ(static_cast<int>(leftOut.size()),
              RemoveUnwritable(HKEY_CURRENT_USER, std::u16string(kTop)));
    ASSERT_TRUE(ReadBackWhole(imported));
    TExRegistry cleaner;
    cleaner.UseRoot(HKEY_CURRENT_USER);
    cleaner.DeleteKey(u"\\Software");
  }
  EXPECT_GT(named, 0);
}

}  // namespace
}  // namespace brindel::regfile
