#include "cli/CliRun.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::cli {

// ImportRegFile into the chosen registry. The whole file is read first, so a file
// with an error changes nothing; a hive is written once, when the import is done.
int RunImport(const TCliContext& Context, const std::string& File) {
  const std::u16string file = platform::FromUtf8(File);
  regfile::TExRegistry::CheckRegFile(file);
  TCliRun run(Context, false, false);
  try {
    regfile::TExRegistry reg;
    reg.ImportRegFile(file);
  } catch (...) {
    // An import that the registry refused half-way leaves a hive as it was.
    run.Discard();
    throw;
  }
  return run.Finish() ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
