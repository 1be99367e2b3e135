#include <ostream>

#include "cli/CliRun.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"

namespace brindel::cli {

using platform::FromUtf8;

// ExportKey of a key named as in a key line, root name first, to a file.
int RunExport(const TCliContext& Context, const std::string& Key, const std::string& File) {
  TCliRun run(Context, true);
  const std::u16string key = FromUtf8(Key);
  const auto backslash = key.find(u'\\');
  const std::u16string rootName = key.substr(0, backslash);
  const std::u16string path = backslash == std::u16string::npos ? u"" : key.substr(backslash + 1);
  const auto root = regfile::RootKeyFromName(rootName);
  if (!root) {
    run.View().ShowMessage(u"„" + rootName + u"“ ist kein Stammschlüssel wie HKEY_CURRENT_USER.",
                           app::TMsgDlgType::mtError);
    return kExitFailed;
  }
  regfile::TExRegistry reg(registry::store::KEY_READ);
  reg.SetRoot(*root, u"");
  if (!path.empty() && !reg.OpenReadOnly(path)) {
    run.View().ShowMessage(u"Der Schlüssel „" + key + u"“ lässt sich nicht öffnen.",
                           app::TMsgDlgType::mtError);
    return kExitFailed;
  }
  if (!reg.ExportKey(FromUtf8(File))) {
    run.View().ShowMessage(u"Der Export nach „" + FromUtf8(File) + u"“ ist fehlgeschlagen.",
                           app::TMsgDlgType::mtError);
    return kExitFailed;
  }
  return run.Finish() ? kExitDone : kExitFailed;
}

}  // namespace brindel::cli
