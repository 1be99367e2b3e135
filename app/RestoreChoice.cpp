#include "app/RestoreChoice.h"

#include <ctime>
#include <filesystem>

#include "platform/Text.h"

namespace brindel::app {

std::u16string WrittenText(TWritten Written) {
  const std::time_t time = std::chrono::system_clock::to_time_t(Written);
  // The windows run on one thread: the shared result of localtime is safe there.
  const std::tm* local = std::localtime(&time);
  char text[32] = {};
  if (local == nullptr || std::strftime(text, sizeof text, "%d.%m.%Y %H:%M", local) == 0)
    return u"?";
  return platform::FromUtf8(text);
}

std::u16string SizeText(std::uintmax_t Size) {
  if (Size < 1024)
    return platform::Decimal(static_cast<std::int64_t>(Size)) + (Size == 1 ? u" Byte" : u" Bytes");
  // Tenths, rounded; what would read 1024,0 KB reads 1,0 MB.
  std::uintmax_t tenths = (Size * 10 + 512) / 1024;
  std::u16string unit = u" KB";
  if (tenths >= 10240) {
    tenths = (Size * 10 + 512 * 1024) / (1024 * 1024);
    unit = u" MB";
  }
  return platform::Decimal(static_cast<std::int64_t>(tenths / 10)) + u"," +
         platform::Decimal(static_cast<std::int64_t>(tenths % 10)) + unit;
}

std::optional<TWritten> FileWritten(std::u16string_view FileName) {
  std::error_code error;
  const auto written = std::filesystem::last_write_time(std::filesystem::path(FileName), error);
  if (error)
    return std::nullopt;
  return std::chrono::time_point_cast<TWritten::duration>(std::chrono::file_clock::to_sys(written));
}

std::u16string FileNameOnly(std::u16string_view FileName) {
  const auto delimiter = FileName.find_last_of(u"/\\");
  return std::u16string(delimiter == std::u16string_view::npos ? FileName
                                                               : FileName.substr(delimiter + 1));
}

std::u16string BackupsHeading(std::u16string_view ProfilName, std::u16string_view BackupFolder) {
  return u"Sicherungen des Profils " + platform::InGermanQuotes(ProfilName) + u" in " +
         platform::InGermanQuotes(BackupFolder) + u":";
}

std::u16string RestoreQuestion(std::u16string_view ProfilName, std::u16string_view FileName,
                               std::optional<TWritten> Written,
                               std::u16string_view SavedStateFile) {
  std::u16string question = u"Das Profil " + platform::InGermanQuotes(ProfilName) +
                            u" so wiederherstellen, wie es die Datei " +
                            platform::InGermanQuotes(FileName);
  question += Written ? u" vom " + WrittenText(*Written) + u" hält?" : u" hält?";
  question += u"\n\nDer jetzige Stand des Profils wird vorher als " +
              platform::InGermanQuotes(SavedStateFile) + u" gesichert.";
  return question;
}

}  // namespace brindel::app
