#include "cli/CliRun.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/HeldFile.h"
#include "platform/Text.h"
#include "regfile/StoreExport.h"

namespace brindel::cli {

using platform::FromUtf8;
using platform::ToUtf8;

TCliRun::TCliRun(const TCliContext& Context, bool ReadOnly, bool StartUp)
    : context_(Context),
      source_(app::OpenRegistrySource(Context.Options, ReadOnly)),
      view_(Context.Err),
      dlg_(view_) {
  current_.emplace(*source_.Store);
  for (const auto& notice : source_.Notices)
    view_.ShowMessage(notice, app::TMsgDlgType::mtInformation);
  const auto documents = app::ApplyRunOptions(Context.Options, source_, dlg_);
  if (!StartUp)
    return;
  dlg_.FormCreate(documents);
  dlg_.FormShow();
  view_.RunPosted();
}

TCliRun::~TCliRun() = default;

bool TCliRun::Finish() {
  bool ok = true;
  // --save-reg shows the registry as the run leaves it: after the changes are
  // written, and before the store closes, since a closed hive store shows nothing.
  // When the changes could not be written, it would show what the files do not hold.
  const std::u16string flushFailure = source_.Session->Flush();
  if (flushFailure.empty() && context_.SaveReg &&
      !SaveRegistry(*source_.Store, *context_.SaveReg, view_)) {
    ok = false;
  }
  // Closing tries the failed write once more; its message would be the same.
  std::u16string failure = source_.Session->Commit();
  if (!flushFailure.empty())
    failure = flushFailure;
  if (!failure.empty()) {
    view_.ShowMessage(failure, app::TMsgDlgType::mtError);
    ok = false;
  }
  return ok;
}

bool RefuseOpenHive(const std::string& File, CliView& View) {
  if (!platform::IsHeldFile(std::filesystem::path(FromUtf8(File))))
    return false;
  View.ShowMessage(u"„" + FromUtf8(File) +
                       u"“ ist eine Hive-Datei, die dieser Lauf geöffnet hat; sie wird nicht "
                       u"überschrieben. Geben Sie eine andere Datei an.",
                   app::TMsgDlgType::mtError);
  return true;
}

bool SaveRegistry(registry::store::RegistryStore& Store, const std::string& File, CliView& View) {
  if (RefuseOpenHive(File, View))
    return false;
  std::vector<std::u16string> leftOut;
  if (regfile::SaveStoreAsReg(Store, {registry::store::HKEY_CURRENT_USER}, FromUtf8(File),
                              &leftOut)) {
    // The file holds the rest; what it could not hold is named.
    for (const std::u16string& missing : leftOut)
      View.ShowMessage(missing, app::TMsgDlgType::mtError);
    return leftOut.empty();
  }
  View.ShowMessage(u"Die Registry konnte nicht nach „" + FromUtf8(File) + u"“ geschrieben werden.",
                   app::TMsgDlgType::mtError);
  return false;
}

bool OpenKeyLine(regfile::TExRegistry& Reg, const std::u16string& Key, CliView& View) {
  const auto backslash = Key.find(u'\\');
  const std::u16string rootName = Key.substr(0, backslash);
  const std::u16string path = backslash == std::u16string::npos ? u"" : Key.substr(backslash + 1);
  const auto root = regfile::RootKeyFromName(rootName);
  if (!root) {
    View.ShowMessage(u"„" + rootName + u"“ ist kein Stammschlüssel wie HKEY_CURRENT_USER.",
                     app::TMsgDlgType::mtError);
    return false;
  }
  Reg.SetRoot(*root, u"");
  if (!path.empty() && !Reg.OpenReadOnly(path)) {
    View.ShowMessage(u"Der Schlüssel „" + Key + u"“ lässt sich nicht öffnen.",
                     app::TMsgDlgType::mtError);
    return false;
  }
  return true;
}

void TCliRun::PrintLog() {
  std::ostream& log = context_.Log ? *context_.Log : context_.Out;
  for (const auto& line : view_.LogLines())
    log << ToUtf8(line) << '\n';
  log.flush();
}

}  // namespace brindel::cli
