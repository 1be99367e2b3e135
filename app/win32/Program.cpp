#include "app/win32/Program.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <sstream>

#include "app/RegistrySource.h"
#include "app/RunOptions.h"
#include "app/WindowProgram.h"
#include "app/win32/MsgDlg.h"
#include "platform/Errors.h"
#include "platform/Text.h"

namespace brindel::app::win32 {

namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

}  // namespace

int RunProgram(const std::vector<std::string>& Utf8Args) {
  CLI::App cli("Brindel: Outlook-Profile in der Registry prüfen und reparieren", "brindel");
  TRunOptions options;
  AddRunOptions(cli, options);
  UseGermanHelp(cli);
  std::vector<const char*> argv;
  argv.push_back(Utf8Args.empty() ? "brindel" : Utf8Args.front().c_str());
  for (std::size_t i = 1; i < Utf8Args.size(); ++i)
    argv.push_back(Utf8Args[i].c_str());
  try {
    cli.parse(static_cast<int>(argv.size()), argv.data());
  } catch (const CLI::ParseError& error) {
    // A program without a console shows the help and wrong usage in a box.
    std::ostringstream out;
    std::ostringstream err;
    const int code = cli.exit(error, out, err);
    if (!out.str().empty())
      ShowMsgDlg(platform::FromUtf8(out.str()), TMsgDlgType::mtInformation);
    if (!err.str().empty())
      ShowMsgDlg(platform::FromUtf8(err.str()), TMsgDlgType::mtError);
    // Help ends well; wrong usage has the command line's status 2.
    return code == 0 ? 0 : kUsageError;
  }

  // Without a registry option the program works on the live registry of this Windows.
  const auto show = [](std::u16string_view Text, TMsgDlgType Kind) { ShowMsgDlg(Text, Kind); };
  return RunOnRegistrySource(options, show, [&](const TRegistrySource& source) {
    try {
      TProgramWindows windows([&](TMainDlg& Dlg) { return ApplyRunOptions(options, source, Dlg); });
      windows.MainDlg.SetQuitOnClose(true);
      windows.MainDlg.Show();
      return windows.MainDlg.RunMessageLoop();
    } catch (const platform::Exception& error) {
      ShowMsgDlg(error.Message(), TMsgDlgType::mtError);
      return kFailure;
    }
  });
}

}  // namespace brindel::app::win32
