#include <filesystem>
#include <ostream>
#include <string>

#include "cli/CliRun.h"
#include "outlook/KtFileInfo.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"

namespace brindel::cli {

using platform::ToUtf8;

namespace {

std::string Text(bool flag) {
  return flag ? "true" : "false";
}
std::string Text(std::uint32_t number) {
  return std::to_string(number);
}
std::string Text(std::uint16_t number) {
  return std::to_string(number);
}
std::string Text(const std::u16string& text) {
  return ToUtf8(text);
}

}  // namespace

// Every property of the version resource of a file, one "Name=value" per line.
int RunFileVersion(const TCliContext& Context, const std::string& File) {
  outlook::TKtFileInfo info;
  info.SetFileName(platform::FromUtf8(File));
  const std::pair<const char*, std::string> properties[] = {
      {"FileName", Text(info.FileName())},
      {"IsVersionInfo", Text(info.IsVersionInfo())},
      {"MajorFileVersionMS", Text(info.MajorFileVersionMS())},
      {"MinorFileVersionMS", Text(info.MinorFileVersionMS())},
      {"MajorFileVersionLS", Text(info.MajorFileVersionLS())},
      {"MinorFileVersionLS", Text(info.MinorFileVersionLS())},
      {"MajorProductVersionMS", Text(info.MajorProductVersionMS())},
      {"MinorProductVersionMS", Text(info.MinorProductVersionMS())},
      {"MajorProductVersionLS", Text(info.MajorProductVersionLS())},
      {"MinorProductVersionLS", Text(info.MinorProductVersionLS())},
      {"FileType", Text(info.FileType())},
      {"FileSubType", Text(info.FileSubType())},
      {"MajorFileDataMS", Text(info.MajorFileDataMS())},
      {"MinorFileDataMS", Text(info.MinorFileDataMS())},
      {"MajorFileDataLS", Text(info.MajorFileDataLS())},
      {"MinorFileDataLS", Text(info.MinorFileDataLS())},
      {"FileOS", Text(info.FileOS())},
      {"IsFlagDebug", Text(info.IsFlagDebug())},
      {"IsFlagInfoinferred", Text(info.IsFlagInfoinferred())},
      {"IsFlagPatched", Text(info.IsFlagPatched())},
      {"IsFlagPreRelease", Text(info.IsFlagPreRelease())},
      {"IsFlagPrivateBuild", Text(info.IsFlagPrivateBuild())},
      {"IsFlagSpecialBuild", Text(info.IsFlagSpecialBuild())},
      {"FileFlagsMask", Text(info.FileFlagsMask())},
      {"FileFlags", Text(info.FileFlags())},
      {"FileTypeAsString", Text(info.FileTypeAsString())},
      {"FileSubTypeAsString", Text(info.FileSubTypeAsString())},
      {"FileOSAsString", Text(info.FileOSAsString())},
      {"CompanyName", Text(info.CompanyName())},
      {"FileDesciption", Text(info.FileDesciption())},
      {"FileVersion", Text(info.FileVersion())},
      {"InternalName", Text(info.InternalName())},
      {"LegalCopyright", Text(info.LegalCopyright())},
      {"LegalTrademarks", Text(info.LegalTrademarks())},
      {"OriginalFilename", Text(info.OriginalFilename())},
      {"ProductName", Text(info.ProductName())},
      {"ProductVersion", Text(info.ProductVersion())},
      {"Comments", Text(info.Comments())},
      {"SpecialBuild", Text(info.SpecialBuild())},
      {"PrivateBuild", Text(info.PrivateBuild())},
  };
  for (const auto& [name, value] : properties)
    Context.Out << name << '=' << value << '\n';
  if (info.FileName().empty()) {
    // A folder, a FIFO or a device is there but never read.
    std::error_code error;
    const auto status =
        std::filesystem::status(std::filesystem::path(platform::FromUtf8(File)), error);
    if (std::filesystem::exists(status) && !std::filesystem::is_regular_file(status)) {
      Context.Err << "Fehler: "
                  << ToUtf8(platform::ReadRefusalText(platform::TReadRefusal::NotAFile,
                                                      platform::FromUtf8(File)))
                  << '\n';
      return kExitFailed;
    }
    Context.Err << "Fehler: Die Datei „" << File << "“ gibt es nicht.\n";
    return kExitFailed;
  }
  return kExitDone;
}

}  // namespace brindel::cli
