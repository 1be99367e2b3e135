#include "profile/BackupProof.h"

#include <algorithm>
#include <span>
#include <utility>
#include <vector>

#include "platform/Errors.h"
#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"
#include "regfile/MemoryStream.h"
#include "regfile/RegTextDecode.h"
#include "registry/store/MemoryStore.h"

namespace brindel::profile {
namespace {

using namespace registry::store;

// Deeper than the registry allows: a tree that goes on is damaged, not compared.
constexpr int kMaxDepth = 512;

// A key handle of one store, closed with this object.
class OpenedKey {
 public:
  OpenedKey(RegistryStore& store, HKEY parent, std::u16string_view name) : store_(store) {
    status_ = store.OpenKey(parent, name, KEY_READ, handle_);
  }
  ~OpenedKey() {
    if (status_ == ERROR_SUCCESS)
      store_.CloseKey(handle_);
  }
  OpenedKey(const OpenedKey&) = delete;
  OpenedKey& operator=(const OpenedKey&) = delete;

  bool Open() const { return status_ == ERROR_SUCCESS; }
  LSTATUS Status() const { return status_; }
  HKEY Handle() const { return handle_; }

 private:
  RegistryStore& store_;
  HKEY handle_ = 0;
  LSTATUS status_;
};

bool IsText(std::uint32_t type) {
  return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ;
}

// The bytes without one terminating UTF-16 NUL, which the text format cannot show.
std::span<const std::uint8_t> WithoutTerminator(const std::vector<std::uint8_t>& data) {
  std::span<const std::uint8_t> bytes(data);
  if (bytes.size() >= 2 && bytes.size() % 2 == 0 && bytes[bytes.size() - 1] == 0 &&
      bytes[bytes.size() - 2] == 0) {
    bytes = bytes.first(bytes.size() - 2);
  }
  return bytes;
}

bool SameValue(const RegValue& live, const RegValue& file) {
  if (live.type != file.type)
    return false;
  if (live.data == file.data)
    return true;
  if (!IsText(live.type))
    return false;
  const auto a = WithoutTerminator(live.data);
  const auto b = WithoutTerminator(file.data);
  return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// A key path or a name in German quotation marks, its line breaks and NULs shown as
// escapes, so that a message stays on one line.
std::u16string Quoted(std::u16string_view text) {
  return platform::InGermanQuotes(regfile::VisibleName(text));
}

class Comparison {
 public:
  Comparison(RegistryStore& live, RegistryStore& file, TBackupProof& proof)
      : live_(live), file_(file), proof_(proof) {}

  // Compares the key at `path` below both handles; false at the first difference.
  bool Keys(HKEY liveKey, HKEY fileKey, const std::u16string& path, int depth) {
    if (depth > kMaxDepth)
      return Differ(u"Der Schlüssel " + Quoted(path) + u" liegt tiefer, als die Registry erlaubt.");
    ++proof_.Keys;
    if (!Values(liveKey, fileKey, path))
      return false;
    std::vector<std::u16string> liveNames;
    if (!Names(live_, liveKey, liveNames))
      return Differ(u"Die Unterschlüssel von " + Quoted(path) + u" können nicht gelesen werden.");
    std::vector<std::u16string> fileNames;
    Names(file_, fileKey, fileNames);
    for (const std::u16string& name : fileNames) {
      if (!Contains(liveNames, name)) {
        return Differ(u"Die Sicherung hält den Schlüssel " + Quoted(path + u"\\" + name) +
                      u", den die Registry nicht hat.");
      }
    }
    for (const std::u16string& name : liveNames) {
      const std::u16string subPath = path + u"\\" + name;
      const OpenedKey liveSub(live_, liveKey, name);
      if (!liveSub.Open())
        return Differ(u"Der Schlüssel " + Quoted(subPath) + u" kann nicht gelesen werden.");
      const OpenedKey fileSub(file_, fileKey, name);
      if (!fileSub.Open()) {
        // A name no .reg text holds is the reason, and the user should read it.
        return Differ(u"Der Schlüssel " + Quoted(subPath) + u" fehlt in der Sicherung" +
                      (regfile::RegTextHoldsKeyName(name)
                           ? u"."
                           : u": eine .reg-Datei kann keinen Schlüsselnamen mit Zeilenumbruch, "
                             u"NUL-Zeichen oder „\\“ halten."));
      }
      if (!Keys(liveSub.Handle(), fileSub.Handle(), subPath, depth + 1))
        return false;
    }
    return true;
  }

 private:
  bool Values(HKEY liveKey, HKEY fileKey, const std::u16string& path) {
    std::u16string name;
    RegValue live;
    std::uint32_t index = 0;
    for (;; ++index) {
      const LSTATUS status = live_.EnumValue(liveKey, index, name, &live);
      if (status == ERROR_NO_MORE_ITEMS)
        break;
      if (status != ERROR_SUCCESS) {
        return Differ(u"Die Werte des Schlüssels " + Quoted(path) +
                      u" können nicht gelesen werden.");
      }
      RegValue file;
      std::uint32_t size = 0;
      if (!regfile::RegTextHoldsValueName(name)) {
        return Differ(u"Der Wert " + Quoted(name) + u" im Schlüssel " + Quoted(path) +
                      u" fehlt in der Sicherung: eine .reg-Datei kann keinen Wertnamen mit "
                      u"NUL-Zeichen halten.");
      }
      if (file_.QueryValue(fileKey, name, file.type, size, &file.data) != ERROR_SUCCESS) {
        return Differ(u"Der Wert " + Quoted(name) + u" im Schlüssel " + Quoted(path) +
                      u" fehlt in der Sicherung.");
      }
      if (!SameValue(live, file)) {
        return Differ(u"Der Wert " + Quoted(name) + u" im Schlüssel " + Quoted(path) +
                      u" steht in der Sicherung anders als in der Registry.");
      }
      ++proof_.Values;
    }
    for (std::uint32_t i = 0; file_.EnumValue(fileKey, i, name, nullptr) == ERROR_SUCCESS; ++i) {
      std::uint32_t type = 0;
      std::uint32_t size = 0;
      if (live_.QueryValue(liveKey, name, type, size, nullptr) != ERROR_SUCCESS) {
        return Differ(u"Die Sicherung hält den Wert " + Quoted(name) + u" im Schlüssel " +
                      Quoted(path) + u", den die Registry nicht hat.");
      }
    }
    return true;
  }

  static bool Names(RegistryStore& store, HKEY key, std::vector<std::u16string>& names) {
    std::u16string name;
    for (std::uint32_t i = 0;; ++i) {
      const LSTATUS status = store.EnumKey(key, i, name);
      if (status == ERROR_NO_MORE_ITEMS)
        return true;
      if (status != ERROR_SUCCESS)
        return false;
      names.push_back(name);
    }
  }

  static bool Contains(const std::vector<std::u16string>& names, std::u16string_view name) {
    return std::any_of(names.begin(), names.end(), [&](const std::u16string& candidate) {
      return platform::SameTextIgnoreCase(candidate, name);
    });
  }

  bool Differ(std::u16string difference) {
    proof_.Difference = std::move(difference);
    return false;
  }

  RegistryStore& live_;
  RegistryStore& file_;
  TBackupProof& proof_;
};

}  // namespace

TBackupProof ProveBackup(std::u16string_view FileName, std::u16string_view ProfileTree,
                         RegistryStore& live, std::u16string_view DisplayName) {
  TBackupProof proof;
  const std::u16string name(DisplayName.empty() ? FileName : DisplayName);
  // A restore reads the backup by the rules of an import; one it would refuse as too
  // large, or that is no regular file, is no backup.
  platform::TReadRefusal refusal = platform::TReadRefusal::None;
  auto bytes =
      platform::ReadFileBytes(platform::ToUtf8(FileName), regfile::kMaxRegTextFileSize, &refusal);
  if (!bytes) {
    switch (refusal) {
      case platform::TReadRefusal::TooLarge:
        proof.Difference = u"Die Sicherung " + platform::InGermanQuotes(name) +
                           u" ist zu groß, um wieder eingelesen zu werden.";
        break;
      case platform::TReadRefusal::NotAFile:
        proof.Difference = u"Die Sicherung " + platform::InGermanQuotes(name) +
                           u" ist keine gewöhnliche Datei und wird nicht gelesen.";
        break;
      default:
        proof.Difference =
            u"Die Sicherung " + platform::InGermanQuotes(name) + u" lässt sich nicht lesen.";
    }
    return proof;
  }
  return ProveBackupText(std::move(*bytes), name, ProfileTree, live);
}

TBackupProof ProveBackupText(std::string Bytes, std::u16string_view DisplayName,
                             std::u16string_view ProfileTree, RegistryStore& live) {
  TBackupProof proof;
  const std::u16string name(DisplayName);
  MemoryStore file;
  try {
    regfile::TMemoryStream stream(std::move(Bytes));
    regfile::TExRegistry reader;
    reader.UseStore(file);
    reader.ImportRegFile(name, &stream);
  } catch (const platform::Exception& error) {
    proof.Difference = u"Die Sicherung " + platform::InGermanQuotes(name) +
                       u" lässt sich nicht wieder einlesen: " + error.Message();
    return proof;
  }
  const std::u16string path = u"HKEY_CURRENT_USER\\" + std::u16string(ProfileTree);
  const OpenedKey liveKey(live, HKEY_CURRENT_USER, ProfileTree);
  if (!liveKey.Open()) {
    proof.Difference =
        u"Der Schlüssel " + platform::InGermanQuotes(path) + u" kann nicht gelesen werden.";
    return proof;
  }
  const OpenedKey fileKey(file, HKEY_CURRENT_USER, ProfileTree);
  if (!fileKey.Open()) {
    proof.Difference =
        u"Der Schlüssel " + platform::InGermanQuotes(path) + u" fehlt in der Sicherung.";
    return proof;
  }
  Comparison comparison(live, file, proof);
  proof.Proven = comparison.Keys(liveKey.Handle(), fileKey.Handle(), path, 0);
  if (!proof.Proven) {
    proof.Keys = 0;
    proof.Values = 0;
  }
  return proof;
}

std::u16string ProvenBackupNote(const TBackupProof& Proof) {
  return u"Sicherung geprüft: " + platform::Decimal(Proof.Keys) + u" Schlüssel, " +
         platform::Decimal(Proof.Values) + u" Werte";
}

}  // namespace brindel::profile
