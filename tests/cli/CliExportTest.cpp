// brindel-cli export writes what a .reg text holds, in the format the key needs, and
// reads back as the import reads it.

#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "support/CliRun.h"

namespace brindel::cli {
namespace {

using test::ProcessResult;
using test::ReadWholeFile;

class CliExportTest : public test::CliRunFixture {
 protected:
  CliExportTest() : CliRunFixture("brindel-cli-export-") {}
  void Write(const std::string& name, const std::string& text) {
    std::ofstream(Path(name), std::ios::binary) << text;
  }
};

// A name the ANSI code page lacks makes the file Version 5.00; it reads back whole,
// through the import and through --reg.
TEST_F(CliExportTest, AKeyBeyondTheCodePageIsExportedAsVersion5AndReadBack) {
  Write("in.reg",
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\\xCE\xA9mega]\r\n"
        "\"Text\"=\"\xE4\xB8\xAD\"\r\n\"Zeilen\"=hex(1):6f,00,0a,00,75,00,00,00\r\n"
        "\"Link\"=hex(6):41,00\r\n");
  ProcessResult result =
      Run({"--reg", Path("in.reg"), "export", "HKEY_CURRENT_USER\\Software", Path("out.reg")});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ("", result.err);
  const std::string out = ReadWholeFile(Path("out.reg"));
  ASSERT_EQ(0u, out.find("\xFF\xFEW\0i\0n\0d\0o\0w\0s\0")) << "UTF-16LE with its byte-order mark";

  result =
      Run({"--reg", Path("out.reg"), "export", "HKEY_CURRENT_USER\\Software", Path("again.reg")});
  ASSERT_EQ(0, result.exitCode) << result.err;
  EXPECT_EQ(out, ReadWholeFile(Path("again.reg")));
  result = Run({"--demo", "--save-reg", Path("saved.reg"), "import", Path("out.reg")});
  ASSERT_EQ(0, result.exitCode) << result.err;
  result = Run({"--reg", Path("saved.reg"), "export", "HKEY_CURRENT_USER\\Software\\\xCE\xA9mega",
                Path("imported.reg")});
  ASSERT_EQ(0, result.exitCode) << result.err;
  result = Run({"--reg", Path("in.reg"), "export", "HKEY_CURRENT_USER\\Software\\\xCE\xA9mega",
                Path("direct.reg")});
  EXPECT_EQ(ReadWholeFile(Path("direct.reg")), ReadWholeFile(Path("imported.reg")));
}

}  // namespace
}  // namespace brindel::cli
