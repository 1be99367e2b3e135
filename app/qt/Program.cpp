#include "app/qt/Program.h"

#include <CLI/CLI.hpp>

#include <QApplication>

#include <exception>
#include <iostream>
#include <sstream>

#include "app/RunOptions.h"
#include "app/qt/MsgDlg.h"
#include "platform/Errors.h"
#include "platform/Text.h"
#include "registry/store/RegistryStore.h"

namespace brindel::app::qt {

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

constexpr char16_t kNoSource[] =
    u"Brindel braucht eine Registry, mit der es arbeiten soll. Bitte beim Aufruf eine "
    u"angeben:\n\n"
    u"--demo\n    die eingebaute Demo-Registry\n"
    u"--reg DATEI\n    eine .reg-Datei\n"
    u"--hive HKCU=DATEI\n    eine Hive-Datei, z. B. NTUSER.DAT eines Benutzers\n"
    u"--windows-root ORDNER --user NAME\n    die Registry eines Benutzers einer "
    u"eingehängten Windows-Installation\n\n"
    u"Alle Angaben: brindel --help";

}  // namespace

int RunProgram(int argc, char** argv) {
  CLI::App cli("Brindel: Outlook-Profile in der Registry prüfen und reparieren", "brindel");
  TRunOptions options;
  AddRunOptions(cli, options);
  UseGermanHelp(cli);
  try {
    cli.parse(argc, argv);
  } catch (const CLI::ParseError& error) {
    // Help goes to standard output; wrong usage to standard error and into a box, as
    // the program may have been started without a terminal.
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli.exit(error, out, err);
    std::cout << out.str();
    std::cerr << err.str();
    if (!err.str().empty())
      ShowMsgDlg(platform::FromUtf8(err.str()), TMsgDlgType::mtError);
    // Help ends well; wrong usage has the command line's status 2.
    return code == 0 ? 0 : kUsageError;
  }
  if (!HasRegistrySource(options)) {
    ShowMsgDlg(kNoSource, TMsgDlgType::mtInformation);
    return kUsageError;
  }

  TRegistrySource source;
  try {
    // "Löschen" writes to the registry, so hives are opened for writing.
    source = OpenRegistrySource(options, false);
  } catch (const platform::Exception& error) {
    ShowMsgDlg(error.Message(), TMsgDlgType::mtError);
    return kFailure;
  } catch (const std::exception& error) {
    ShowMsgDlg(platform::FromUtf8(error.what()), TMsgDlgType::mtError);
    return kFailure;
  }
  const registry::store::ScopedCurrentStore current(*source.Store);
  for (const std::u16string& notice : source.Notices) {
    ShowMsgDlg(notice, TMsgDlgType::mtInformation);
  }

  int code = 0;
  {
    TProgramWindows windows([&](TMainDlg& Dlg) { return ApplyRunOptions(options, source, Dlg); });
    windows.MainDlg.show();
    code = QApplication::exec();
  }
  // Hives keep what "Löschen" did not flush yet (an action that ended in an error)
  // until they are closed, as the live registry would have kept it.
  const std::u16string problem = source.Commit();
  if (!problem.empty()) {
    ShowMsgDlg(problem, TMsgDlgType::mtError);
    return kFailure;
  }
  return code;
}

}  // namespace brindel::app::qt
