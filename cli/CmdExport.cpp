#include <ostream>

#include "cli/CliRun.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::cli {

using platform::FromUtf8;

// ExportKey of a key named as in a key line, root name first, to a file.
int RunExport(const TCliContext& Context, const std::string& Key, const std::string& File) {
  TCliRun run(Context, true, false);
  regfile::TExRegistry reg(registry::store::KEY_READ);
  if (!OpenKeyLine(reg, FromUtf8(Key), run.View()) || RefuseOpenHive(File, run.View()))
    return kExitFailed;
  if (!reg.ExportKey(FromUtf8(File))) {
    run.View().ShowMessage(u"Der Export nach „" + FromUtf8(File) + u"“ ist fehlgeschlagen.",
                           app::TMsgDlgType::mtError);
    return kExitFailed;
  }
  return run.Finish() ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
