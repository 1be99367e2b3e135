#include "app/WindowProgram.h"

#include <exception>
#include <string>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "registry/store/RegistryStore.h"

namespace brindel::app {

namespace {
constexpr int kFailure = 1;
}  // namespace

int RunOnRegistrySource(const TRunOptions& Options,
                        const std::function<void(std::u16string_view, TMsgDlgType)>& ShowMessage,
                        const std::function<int(const TRegistrySource&)>& RunWindow) {
  TRegistrySource source;
  try {
    source = OpenRegistrySource(Options, false);
  } catch (const platform::Exception& error) {
    ShowMessage(error.Message(), TMsgDlgType::mtError);
    return kFailure;
  } catch (const std::exception& error) {
    ShowMessage(platform::FromUtf8(error.what()), TMsgDlgType::mtError);
    return kFailure;
  }
  const registry::store::ScopedCurrentStore current(*source.Store);
  for (const std::u16string& notice : source.Notices)
    ShowMessage(notice, TMsgDlgType::mtInformation);
  const int code = RunWindow(source);
  // Hive files are closed only here; a write that fails then, or a key that could not
  // be read, ends the program with an error.
  const std::u16string problem = source.Session->Commit();
  if (!problem.empty()) {
    ShowMessage(problem, TMsgDlgType::mtError);
    return kFailure;
  }
  return code;
}

}  // namespace brindel::app
