// brindel-cli.exe carries its version resource (the build's version, not a number cut
// to 16 bits) and reads it with its own file-version command.

#include <gtest/gtest.h>

#include <string>

#include "support/Process.h"

namespace brindel::cli {
namespace {

using test::ProcessResult;

const std::string kCli = BRINDEL_CLI;

// The program carries its version resource, which its own file-version command reads.
TEST(CliVersionResourceTest, TheProgramNamesItsVersion) {
  const ProcessResult result = test::RunProcess(kCli, {"file-version", kCli});
  ASSERT_EQ(0, result.exitCode) << result.err;
  for (const char* line :
       {"\nIsVersionInfo=true\n", "\nMajorFileVersionMS=1\n", "\nMinorFileVersionMS=1\n",
        "\nMinorFileVersionLS=0\n", "\nFileVersion=1.1 [170825]\n", "\nProductName=Brindel\n",
        "\nOriginalFilename=brindel-cli.exe\n"}) {
    EXPECT_NE(std::string::npos, result.out.find(line)) << line << result.out;
  }
}

}  // namespace
}  // namespace brindel::cli
