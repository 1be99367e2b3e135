// brindel-cli.exe carries its version resource (the build's version, not a number cut
// to 16 bits) and reads it with its own file-version command.

#include <gtest/gtest.h>

#include <string>

#include "app/Version.h"
#include "support/Process.h"

#include <windows.h>

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

// The manifest names the program with the same version, in the four parts an
// assembly's version has.
TEST(CliVersionResourceTest, TheManifestNamesTheVersion) {
  const std::wstring file(kCli.begin(), kCli.end());
  const HMODULE module = LoadLibraryExW(file.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(nullptr, module);
  std::string manifest;
  if (const HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(1), RT_MANIFEST)) {
    const auto* bytes = static_cast<const char*>(LockResource(LoadResource(module, resource)));
    if (bytes)
      manifest.assign(bytes, SizeofResource(module, resource));
  }
  FreeLibrary(module);
  ASSERT_FALSE(manifest.empty());
  const std::string identity = "<assemblyIdentity type=\"win32\" name=\"Brindel\" version=\"" +
                               std::string(app::kVersion) + ".0.0\"";
  EXPECT_NE(std::string::npos, manifest.find(identity)) << identity << "\n" << manifest;
}

}  // namespace
}  // namespace brindel::cli
