#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "support/Process.h"

namespace brindel::test {

// "Büro" in UTF-8, as a shell passes it.
inline constexpr const char* kDamagedProfile = "B\xC3\xBCro";

// A file name given in UTF-8, as the program gets it on every system.
inline std::filesystem::path Utf8Path(const std::string& name) {
  return std::filesystem::path(platform::FromUtf8(name));
}

// brindel-cli run as a process in a folder of the test's own, named after the test,
// with an empty documents folder "docs" in it.
class CliRunFixture : public ::testing::Test {
 protected:
  explicit CliRunFixture(std::string prefix) : prefix_(std::move(prefix)) {}

  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           (prefix_ + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_ / "docs");
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }

  ProcessResult Run(std::vector<std::string> args) { return RunProcess(BRINDEL_CLI, args); }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;

 private:
  std::string prefix_;
};

}  // namespace brindel::test
