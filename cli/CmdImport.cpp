#include <ostream>

#include "cli/CliRun.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::cli {

using platform::FromUtf8;

// ImportRegFile into the chosen registry. The whole file is read first, so a file
// with an error changes nothing; a hive is written once, when the import is done.
int RunImport(const TCliContext& Context, const std::string& File) {
  const std::u16string file = FromUtf8(File);
  regfile::TExRegistry::CheckRegFile(file);
  app::TRegistrySource source = app::OpenRegistrySource(Context.Options, false);
  registry::store::ScopedCurrentStore current(*source.Store);
  CliView view(Context.Err);
  for (const auto& notice : source.Notices)
    view.ShowMessage(notice, app::TMsgDlgType::mtInformation);
  try {
    regfile::TExRegistry reg;
    reg.ImportRegFile(file);
  } catch (...) {
    // An import that the registry refused half-way leaves a hive as it was.
    source.Discard();
    throw;
  }
  if (const std::u16string failure = source.Commit(); !failure.empty()) {
    view.ShowMessage(failure, app::TMsgDlgType::mtError);
    return kExitFailed;
  }
  if (Context.SaveReg && !SaveRegistry(*source.Store, *Context.SaveReg, view))
    return kExitFailed;
  return kExitDone;
}

}  // namespace brindel::cli
