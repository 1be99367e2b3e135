#include <ostream>
#include <string>
#include <vector>

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
  // The file holds everything else; what it could not hold is named, and the export
  // has not done all it was asked.
  const std::vector<std::u16string>& leftOut = reg.ExportLeftOut();
  for (const std::u16string& missing : leftOut)
    run.View().ShowMessage(missing, app::TMsgDlgType::mtError);
  if (!leftOut.empty()) {
    run.View().ShowMessage(u"Der Export nach „" + FromUtf8(File) + u"“ ist unvollständig: " +
                               platform::Decimal(static_cast<std::int64_t>(leftOut.size())) +
                               (leftOut.size() == 1 ? u" Eintrag fehlt." : u" Einträge fehlen."),
                           app::TMsgDlgType::mtError);
  }
  const bool finished = run.Finish();
  return finished && leftOut.empty() ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
