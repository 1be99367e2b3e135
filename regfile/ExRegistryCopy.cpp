// Copying and moving values and whole keys between two objects, the type of a value,
// and multi-string values as lists of texts. These work with values of any type,
// where the key object knows strings, integers and binary data only.

#include <string>
#include <vector>

#include "platform/Errors.h"
#include "platform/LastError.h"
#include "regfile/ExRegistry.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

// The failing call's result becomes the thread's last error, which the exception
// then carries as its code.
[[noreturn]] void RaiseResult(LSTATUS status, std::u16string_view st) {
  platform::SetLastErrorCode(status);
  throw EExRegistryException::CreateLastError(st);
}

}  // namespace

void TExRegistry::CopyValueFromReg(std::u16string_view valueName, TExRegistry& otherReg,
                                   bool deleteSource) {
  // The buffer is sized by the total of the source's tree, which covers the value.
  std::int32_t bufferSize = 0;
  otherReg.GetValuesSize(bufferSize);

  std::uint32_t type = 0;
  std::uint32_t size = 0;
  std::vector<std::uint8_t> data;
  LSTATUS status = otherReg.Store().QueryValue(otherReg.PositionKey(), valueName, type, size,
                                               bufferSize > 0 ? &data : nullptr);
  // What does not fit the buffer fails as RegQueryValueExW fails.
  if (status == ERROR_SUCCESS && size > static_cast<std::uint32_t>(std::max(bufferSize, 0)))
    status = ERROR_MORE_DATA;
  if (status != ERROR_SUCCESS)
    RaiseResult(status, u"Unable to copy value");

  status = Store().SetValue(PositionKey(), valueName, type, data);
  if (status != ERROR_SUCCESS)
    RaiseResult(status, u"Unable to copy value");

  if (deleteSource && !otherReg.DeleteValue(valueName))
    throw platform::ERegistryException(u"Unable to delete moved value");
}

void TExRegistry::CopyKeyFromReg(std::u16string_view keyName, TExRegistry& otherReg,
                                 bool deleteSource) {
  // Every level is handled by a pair of objects whose roots are the open keys of the
  // level above; they borrow those handles and do not close them.
  TExRegistry source;
  TExRegistry target;
  source.UseStore(otherReg.Store());
  target.UseStore(Store());
  registry::TStringList names;

  source.UseRoot(otherReg.PositionKey());
  // A source that does not open has no values and no subkeys: an empty key results.
  if (deleteSource) {
    source.Open(keyName, false);
  } else {
    // Copying needs only reading, so a read-only source can be copied.
    source.OpenReadOnly(keyName);
  }
  source.GetValueNames(names);

  target.UseRoot(PositionKey());
  if (!target.Open(keyName, true))
    throw platform::ERegistryException(u"Unable to open destination");

  for (const std::u16string& name : names.Items())
    target.CopyValueFromReg(name, source, deleteSource);

  source.GetSubKeyNames(names);
  for (const std::u16string& name : names.Items())
    target.CopyKeyFromReg(name, source, deleteSource);

  if (deleteSource && !otherReg.DeleteKey(keyName))
    throw platform::ERegistryException(u"Unable to delete moved key");
}

std::uint32_t TExRegistry::GetValueType(std::u16string_view valueName) {
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  const LSTATUS status = Store().QueryValue(PositionKey(), valueName, type, size, nullptr);
  SetLastError(status);
  if (status != ERROR_SUCCESS)
    RaiseResult(status, u"Unable to get value type");
  return type;
}

void TExRegistry::ReadStrings(std::u16string_view valueName, registry::TStringList& strings) {
  strings.Clear();
  std::uint32_t type = 0;
  std::uint32_t size = 0;
  LSTATUS status = Store().QueryValue(PositionKey(), valueName, type, size, nullptr);
  SetLastError(status);
  if (status != ERROR_SUCCESS)
    RaiseResult(status, u"Unable read MULTI_SZ value");
  if (type != REG_MULTI_SZ)
    throw platform::ERegistryException(u"String list expected");
  std::vector<std::uint8_t> data;
  status = Store().QueryValue(PositionKey(), valueName, type, size, &data);
  if (status != ERROR_SUCCESS)
    RaiseResult(status, u"Unable read MULTI_SZ value");

  const std::size_t units = data.size() / 2;
  const auto unitAt = [&data](std::size_t i) {
    return static_cast<char16_t>(data[2 * i] | (data[2 * i + 1] << 8));
  };
  // An empty string ends the list, as it ends a multi-string value on Windows.
  std::size_t i = 0;
  while (i < units && unitAt(i) != u'\0') {
    std::u16string text;
    while (i < units && unitAt(i) != u'\0')
      text += unitAt(i++);
    strings.Add(std::move(text));
    ++i;
  }
}

void TExRegistry::WriteStrings(std::u16string_view valueName,
                               const registry::TStringList& strings) {
  std::vector<std::uint8_t> data;
  const auto append = [&data](char16_t unit) {
    data.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    data.push_back(static_cast<std::uint8_t>(unit >> 8));
  };
  for (const std::u16string& text : strings.Items()) {
    for (const char16_t unit : text) {
      if (unit == u'\0')
        break;
      append(unit);
    }
    append(u'\0');
  }
  append(u'\0');
  const LSTATUS status = Store().SetValue(PositionKey(), valueName, REG_MULTI_SZ, data);
  SetLastError(status);
  if (status != ERROR_SUCCESS)
    RaiseResult(status, u"Unable to write MULTI_SZ value");
}

}  // namespace brindel::regfile
