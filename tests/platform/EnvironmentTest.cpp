#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "platform/DocumentsFolder.h"
#include "platform/Environment.h"

namespace brindel::platform {
namespace {

// Sets or removes one environment variable for a test and puts it back afterwards.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name))
      previous_ = old;
    if (value != nullptr) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (previous_) {
      setenv(name_, previous_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
  }

 private:
  const char* name_;
  std::optional<std::string> previous_;
};

struct TExpandCase {
  const char* name;
  std::u16string_view text;
  std::u16string_view expected;
};

// Rows show by name in test listings.
void PrintTo(const TExpandCase& row, std::ostream* out) {
  *out << row.name;
}

class ExpandEnvironmentStringsTest : public ::testing::TestWithParam<TExpandCase> {
 protected:
  ScopedEnv known_{"BRINDEL_KNOWN", "wert"};
  ScopedEnv unknown_{"BRINDEL_UNKNOWN", nullptr};
};

TEST_P(ExpandEnvironmentStringsTest, ExpandsLikeWindows) {
  EXPECT_EQ(GetParam().expected, ExpandEnvironmentStrings(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ExpandEnvironmentStringsTest,
    ::testing::Values(TExpandCase{"Known", u"a%BRINDEL_KNOWN%b", u"awertb"},
                      TExpandCase{"KnownInOtherCase", u"%brindel_known%", u"wert"},
                      TExpandCase{"UnknownStays", u"a%BRINDEL_UNKNOWN%b", u"a%BRINDEL_UNKNOWN%b"},
                      TExpandCase{"UnknownClosingOpensTheNext", u"%BRINDEL_UNKNOWN%BRINDEL_KNOWN%",
                                  u"%BRINDEL_UNKNOWNwert"},
                      TExpandCase{"LonePercent", u"50% mehr", u"50% mehr"},
                      TExpandCase{"TwoPercents", u"%%", u"%%"},
                      TExpandCase{"NoReference", u"/home/anna", u"/home/anna"}),
    [](const ::testing::TestParamInfo<TExpandCase>& row) { return std::string(row.param.name); });

class DocumentsFolderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("brindel-docs-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_ / "config");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  void UserDirs(const std::string& text) {
    std::ofstream(dir_ / "config" / "user-dirs.dirs") << text;
  }

  std::filesystem::path dir_;
  ScopedEnv direct_{"XDG_DOCUMENTS_DIR", nullptr};
  ScopedEnv home_{"HOME", "/home/anna"};
};

TEST_F(DocumentsFolderTest, EnvironmentVariableComesFirst) {
  ScopedEnv direct("XDG_DOCUMENTS_DIR", "/daten/Dokumente");
  EXPECT_EQ(u"/daten/Dokumente", DocumentsFolder());
}

TEST_F(DocumentsFolderTest, UserDirsRelativeToHome) {
  ScopedEnv configDir("XDG_CONFIG_HOME", (dir_ / "config").c_str());
  UserDirs(
      "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Schreibtisch\"\n"
      "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente\"\n");
  EXPECT_EQ(u"/home/anna/Dokumente", DocumentsFolder());
}

TEST_F(DocumentsFolderTest, HomeDocumentsWithoutUserDirs) {
  ScopedEnv configDir("XDG_CONFIG_HOME", (dir_ / "config").c_str());
  EXPECT_EQ(u"/home/anna/Documents", DocumentsFolder());
}

TEST_F(DocumentsFolderTest, UnknownWithoutHome) {
  ScopedEnv configDir("XDG_CONFIG_HOME", (dir_ / "config").c_str());
  ScopedEnv home("HOME", nullptr);
  EXPECT_EQ(u"", DocumentsFolder());
}

}  // namespace
}  // namespace brindel::platform
