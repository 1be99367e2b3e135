#include <array>
#include <cstdint>
#include <filesystem>

#include "platform/FileSystem.h"
#include "platform/HeldFile.h"
#include "platform/NewFile.h"
#include "platform/Text.h"

namespace brindel::platform {

// A name beside the target whose length does not depend on the target's: a file
// name that just fits the system's limit must not fail for its temporary copy. The
// hash of the name keeps the temporary files of different targets apart.
std::string TemporaryFileOf(const std::string& path) {
#ifdef _WIN32
  const auto slash = path.find_last_of("\\/");
#else
  const auto slash = path.find_last_of('/');
#endif
  const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
  const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  std::uint64_t hash = 14695981039346656037ull;  // FNV-1a
  for (const char c : name) {
    hash ^= static_cast<unsigned char>(c);
    hash *= 1099511628211ull;
  }
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string hex(16, '0');
  for (int i = 15; i >= 0; --i, hash >>= 4)
    hex[static_cast<std::size_t>(i)] = kDigits[hash & 0xF];
  return folder + ".brindel-" + hex + ".tmp";
}

bool WriteFileReplacing(const std::string& path, TReplace how,
                        const std::function<bool(TFileSink& sink)>& write) {
  const std::filesystem::path target(FromUtf8(path));
  // A file this run reads as a whole (a hive) is never replaced from under it.
  if (IsHeldFile(target)) {
    SetFileInUseError();
    return false;
  }
  const auto file = NewFile::Create(std::filesystem::path(FromUtf8(TemporaryFileOf(path))));
  if (!file)
    return false;
  // The system's reason belongs to the thread that failed.
  std::int32_t failure = 0;
  bool ok = false;
  {
    TWriteBehind behind([&file, &failure](std::string_view bytes) {
      if (file->Append(bytes))
        return true;
      failure = LastFileErrorCode();
      return false;
    });
    const bool made = write(behind);
    ok = behind.Finish() && made;
  }
  SetLastFileErrorCode(failure);
  if (ok && how == TReplace::Durable)
    ok = file->Sync();
  ok = file->Close() && ok;
  if (!ok || !file->PutInPlace(target, nullptr, how == TReplace::Durable))
    return false;
  // Should the new name not become durable, the file is in place all the same.
  SyncFolder(target.parent_path());
  return true;
}

bool WriteFileReplacing(const std::string& path, std::string_view bytes) {
  return WriteFileReplacing(path, TReplace::Durable,
                            [bytes](TFileSink& sink) { return sink.Write(bytes); });
}

bool CopyFileReplacing(const std::string& from, const std::string& to) {
  // Only a regular file is copied: a FIFO or a device would never end.
  if (!FileSize(from))
    return false;
  return WriteFileReplacing(to, TReplace::Durable, [&from](TFileSink& sink) {
    return ReadFilePieces(from, [&sink](std::string_view piece) { return sink.Write(piece); });
  });
}

std::u16string ReadRefusalText(TReadRefusal refusal, std::u16string_view fileName) {
  switch (refusal) {
    case TReadRefusal::Missing:
      return Format(u"Die Datei „%s“ wurde nicht gefunden.", {fileName});
    case TReadRefusal::NotAFile:
      return Format(
          u"„%s“ ist keine gewöhnliche Datei, sondern ein Ordner, eine Pipe oder ein Gerät, und "
          u"wird nicht gelesen.",
          {fileName});
    case TReadRefusal::TooLarge:
      return Format(u"Die Datei „%s“ ist zu groß.", {fileName});
    default:
      return Format(u"Die Datei „%s“ kann nicht gelesen werden.", {fileName});
  }
}

bool RemoveLeftoverOf(const std::string& path) {
  const std::string temporary = TemporaryFileOf(path);
  return DeleteFile(temporary) || (!FileExists(temporary) && !DirectoryExists(temporary));
}

bool IsPlainFileName(std::u16string_view name) {
  if (name.empty() || name == u"." || name == u"..")
    return false;
  for (const char16_t c : name) {
    if (c < 0x20 || c == 0x7F || c == u'/' || c == u'\\')
      return false;
  }
#ifdef _WIN32
  for (const char16_t c : name) {
    if (std::u16string_view(u"<>:\"|?*").find(c) != std::u16string_view::npos)
      return false;
  }
  // Windows drops trailing dots and blanks, so such a name would name another file.
  if (name.back() == u'.' || name.back() == u' ')
    return false;
  // Device names are reserved with any extension.
  const std::u16string stem = UpperCase(name.substr(0, name.find(u'.')));
  static constexpr std::array<std::u16string_view, 22> kDevices = {
      u"CON",  u"PRN",  u"AUX",  u"NUL",  u"COM1", u"COM2", u"COM3", u"COM4",
      u"COM5", u"COM6", u"COM7", u"COM8", u"COM9", u"LPT1", u"LPT2", u"LPT3",
      u"LPT4", u"LPT5", u"LPT6", u"LPT7", u"LPT8", u"LPT9"};
  for (auto device : kDevices) {
    if (stem == device)
      return false;
  }
#endif
  return true;
}

}  // namespace brindel::platform
