// brindel-cli reads no FIFO: every file it is given to read must be a regular file,
// and each refusal names the file. A FIFO would hold the program until something
// writes into it.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/CliRun.h"
#include "support/Fifo.h"

namespace brindel::cli {
namespace {

using test::ProcessResult;

class CliFifoTest : public test::CliRunFixture {
 protected:
  CliFifoTest() : CliRunFixture("brindel-cli-fifo-") {}
};

struct FifoRow {
  const char* name;
  std::vector<std::string> args;  // "FIFO" stands for the FIFO's path
};

TEST_F(CliFifoTest, EveryFileArgumentThatIsAFifoIsRefusedByName) {
  const std::string fifo = Path("pipe.reg");
  ASSERT_TRUE(test::MakeFifo(fifo));
  const std::string refusal =
      "„" + fifo +
      "“ ist keine gewöhnliche Datei, sondern ein Ordner, eine Pipe oder ein Gerät, "
      "und wird nicht gelesen.";
  const FifoRow rows[] = {
      {"reg", {"--reg", "FIFO", "profiles"}},
      {"import", {"--demo", "import", "FIFO"}},
      {"restore", {"--demo", "--documents", Path("docs"), "restore", "Outlook", "FIFO"}},
      {"file-version", {"file-version", "FIFO"}},
  };
  for (const FifoRow& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<std::string> args = row.args;
    for (std::string& arg : args) {
      if (arg == "FIFO")
        arg = fifo;
    }
    test::FifoGuard guard(fifo);
    const ProcessResult result = Run(args);
    EXPECT_FALSE(guard.Freed()) << "the FIFO was opened";
    EXPECT_EQ(1, result.exitCode);
    EXPECT_NE(std::string::npos, result.err.find(refusal)) << result.err;
  }
}

}  // namespace
}  // namespace brindel::cli
