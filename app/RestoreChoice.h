#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace brindel::app {

// What the restore dialogs of both windows show and ask, in German.

using TWritten = std::chrono::system_clock::time_point;

// The date and time a file was last written, in local time: "17.08.2025 14:03".
std::u16string WrittenText(TWritten Written);
// A file's size: "812 Bytes", "7,4 KB", "76,2 MB" (1 KB = 1024 bytes).
std::u16string SizeText(std::uintmax_t Size);
// When the file was last written; none when that cannot be read.
std::optional<TWritten> FileWritten(std::u16string_view FileName);
// The name of a file without its folder.
std::u16string FileNameOnly(std::u16string_view FileName);

// The line above the list: the profile and the folder the backups were looked for in.
std::u16string BackupsHeading(std::u16string_view ProfilName, std::u16string_view BackupFolder);
// The list's only line when the folder holds no backup of the profile.
inline constexpr char16_t kNoBackups[] =
    u"Im Sicherungsordner liegt keine Sicherung dieses Profils.";

// The question before a restore: it names the profile, the file and when it was
// written, and says that the current state is saved first, and where.
std::u16string RestoreQuestion(std::u16string_view ProfilName, std::u16string_view FileName,
                               std::optional<TWritten> Written, std::u16string_view SavedStateFile);

// The titles and buttons of the dialogs.
inline constexpr char16_t kRestoreTitle[] = u"Profil wiederherstellen";
inline constexpr char16_t kRestoreButton[] = u"&Wiederherstellen";
inline constexpr char16_t kOtherFileButton[] = u"&Andere Datei…";
inline constexpr char16_t kCancelButton[] = u"Abbrechen";
inline constexpr char16_t kOtherFileTitle[] = u"Sicherung zum Wiederherstellen wählen";
inline constexpr char16_t kRegFilesFilter[] = u"Registrierungsdateien (*.reg)";

}  // namespace brindel::app
