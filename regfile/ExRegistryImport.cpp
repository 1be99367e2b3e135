// The import of a REGEDIT4 text. It reads with the import grammar
// (regfile/RegImportReader.h), which takes back what the export writes and refuses
// anything else, and applies every line as soon as it is read.

#include <span>
#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/LastError.h"
#include "platform/Text.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegImportReader.h"
#include "regfile/RegTextDecode.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

// The text to read: the file's bytes, kept in `file`, or the rest of the stream, read
// where it lies. The stream then stands at its end, as after reading it.
std::span<const std::uint8_t> ImportBytes(std::u16string_view fileName, TMemoryStream* Stream,
                                          std::string& file) {
  if (Stream == nullptr) {
    file = ReadRegTextFile(fileName);
    return {reinterpret_cast<const std::uint8_t*>(file.data()), file.size()};
  }
  const std::string_view rest = Stream->Bytes().substr(Stream->Position());
  Stream->SetPosition(Stream->Size());
  return {reinterpret_cast<const std::uint8_t*>(rest.data()), rest.size()};
}

}  // namespace

void TExRegistry::ImportRegFile(std::u16string_view fileName, TMemoryStream* Stream) {
  std::string file;
  const std::span<const std::uint8_t> bytes = ImportBytes(fileName, Stream, file);
  RegImportReader reader(bytes, fileName);
  RegImportStatement statement;
  while (reader.Next(statement)) {
    if (statement.kind == RegImportStatement::Kind::Key) {
      ImportKeyLine(statement);
    } else {
      ImportValueLine(statement);
    }
  }
}

void TExRegistry::CheckRegFile(std::u16string_view fileName, TMemoryStream* Stream) {
  std::string file;
  std::span<const std::uint8_t> bytes;
  if (Stream != nullptr) {
    // Reading the stream must not move it, so that the import can read it next.
    const std::size_t position = Stream->Position();
    bytes = ImportBytes(fileName, Stream, file);
    Stream->SetPosition(position);
  } else {
    bytes = ImportBytes(fileName, nullptr, file);
  }
  RegImportReader reader(bytes, fileName);
  RegImportStatement statement;
  while (reader.Next(statement)) {
  }
}

void TExRegistry::ImportKeyLine(const RegImportStatement& statement) {
  // A key line on a remote machine connects anew.
  SetRoot(statement.root, fSaveServer);
  if (statement.path.empty()) {
    // "[root]", as the export writes a whole root: the root itself takes the place
    // of a key, so that the root's own values that follow land on it.
    Close();
    Open(u"\\", false);
    return;
  }
  // Values of a key that could not be made would go into whichever key is still
  // open; the import stops instead.
  if (!Open(u"\\" + statement.path, true)) {
    platform::SetLastErrorCode(LastError());
    throw EExRegistryException::CreateLastError(u"Unable to create key " +
                                                std::u16string(RootKeyName(statement.root)) +
                                                u"\\" + statement.path);
  }
}

void TExRegistry::ImportValueLine(const RegImportStatement& statement) {
  switch (statement.form) {
    case RegImportStatement::Form::String:
    case RegImportStatement::Form::Dword:
      // The bytes are those WriteString and WriteInteger set, NUL included.
      PutData(statement.name, statement.value.type, statement.value.data);
      return;
    case RegImportStatement::Form::Hex:
      WriteTypedBinaryData(statement.name, static_cast<std::int32_t>(statement.value.type),
                           statement.value.data,
                           static_cast<std::int32_t>(statement.value.data.size()));
      return;
  }
}

void TExRegistry::WriteTypedBinaryData(std::u16string_view valueName, std::int32_t tp,
                                       std::span<const std::uint8_t> data, std::int32_t size) {
  LSTATUS status = ERROR_INVALID_PARAMETER;
  // Never more bytes than there are.
  if (size >= 0 && static_cast<std::size_t>(size) <= data.size()) {
    status = Store().SetValue(CurrentKey(), valueName, static_cast<std::uint32_t>(tp),
                              data.first(static_cast<std::size_t>(size)));
  }
  SetLastError(status);
  if (status != ERROR_SUCCESS) {
    throw platform::ERegistryException(
        platform::Format(u"Unable to set registry data for %s", {valueName}));
  }
}

}  // namespace brindel::regfile
