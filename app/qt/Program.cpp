#include "app/qt/Program.h"

#include <CLI/CLI.hpp>

#include <QApplication>

#include <iostream>
#include <sstream>

#include "app/RegistrySource.h"
#include "app/RunOptions.h"
#include "app/WindowProgram.h"
#include "app/qt/MsgDlg.h"
#include "platform/Errors.h"
#include "platform/Text.h"

namespace brindel::app::qt {

namespace {

constexpr int kUsageError = 2;

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

  const auto show = [](std::u16string_view Text, TMsgDlgType Kind) { ShowMsgDlg(Text, Kind); };
  return RunOnRegistrySource(options, show, [&](const TRegistrySource& source) {
    TProgramWindows windows([&](TMainDlg& Dlg) { return ApplyRunOptions(options, source, Dlg); });
    windows.MainDlg.show();
    return QApplication::exec();
  });
}

}  // namespace brindel::app::qt
