#include "profile/StoreWatch.h"

#include <algorithm>

#include "platform/ErrorText.h"
#include "regfile/RootKeyName.h"

namespace brindel::profile {

using namespace registry::store;

TStoreWatch::TStoreWatch(std::initializer_list<LSTATUS> Expected)
    : store_(*CurrentStore()), current_(*this), expected_(Expected) {}

TStoreWatch::~TStoreWatch() = default;

std::u16string TStoreWatch::PathOf(HKEY key, std::u16string_view subKey) const {
  std::u16string path;
  if (IsPredefinedRoot(key)) {
    path = std::u16string(regfile::RootKeyName(key));
  } else if (auto known = paths_.find(key); known != paths_.end()) {
    path = known->second;
  }
  if (!subKey.empty()) {
    if (!path.empty())
      path += u'\\';
    path += subKey;
  }
  return path;
}

LSTATUS TStoreWatch::Note(LSTATUS status, TAction action, HKEY key, std::u16string_view subKey) {
  if (status == ERROR_SUCCESS || Failed() ||
      std::find(expected_.begin(), expected_.end(), status) != expected_.end()) {
    return status;
  }
  failure_ = status;
  failedAction_ = action;
  failedPath_ = PathOf(key, subKey);
  return status;
}

std::u16string TStoreWatch::FailureText() const {
  if (!Failed())
    return {};
  std::u16string reason = platform::ErrorText(failure_);
  while (!reason.empty() && (reason.back() == u'\n' || reason.back() == u'\r'))
    reason.pop_back();
  std::u16string_view verb;
  switch (failedAction_) {
    case TAction::Open:
      verb = u"“ lässt sich nicht öffnen: ";
      break;
    case TAction::Read:
      verb = u"“ lässt sich nicht lesen: ";
      break;
    case TAction::Change:
      verb = u"“ lässt sich nicht ändern: ";
      break;
    case TAction::Delete:
      verb = u"“ lässt sich nicht löschen: ";
      break;
  }
  return u"Der Registry-Schlüssel „" + failedPath_ + std::u16string(verb) + reason;
}

LSTATUS TStoreWatch::OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) {
  const LSTATUS status = store_.OpenKey(parent, subKey, access, result);
  if (status == ERROR_SUCCESS)
    paths_[result] = PathOf(parent, subKey);
  return Note(status, TAction::Open, parent, subKey);
}

LSTATUS TStoreWatch::CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                               bool* created) {
  const LSTATUS status = store_.CreateKey(parent, subKey, access, result, created);
  if (status == ERROR_SUCCESS)
    paths_[result] = PathOf(parent, subKey);
  return Note(status, TAction::Open, parent, subKey);
}

LSTATUS TStoreWatch::CloseKey(HKEY key) {
  paths_.erase(key);
  return store_.CloseKey(key);
}

LSTATUS TStoreWatch::QueryInfoKey(HKEY key, KeyInfo& info) {
  return Note(store_.QueryInfoKey(key, info), TAction::Read, key);
}

LSTATUS TStoreWatch::EnumKey(HKEY key, std::uint32_t index, std::u16string& name) {
  return Note(store_.EnumKey(key, index, name), TAction::Read, key);
}

LSTATUS TStoreWatch::EnumValue(HKEY key, std::uint32_t index, std::u16string& name,
                               RegValue* value) {
  return Note(store_.EnumValue(key, index, name, value), TAction::Read, key);
}

LSTATUS TStoreWatch::QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type,
                                std::uint32_t& size, std::vector<std::uint8_t>* data) {
  return Note(store_.QueryValue(key, name, type, size, data), TAction::Read, key);
}

LSTATUS TStoreWatch::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                              std::span<const std::uint8_t> data) {
  return Note(store_.SetValue(key, name, type, data), TAction::Change, key);
}

LSTATUS TStoreWatch::DeleteKey(HKEY key, std::u16string_view subKey, REGSAM viewFlags) {
  return Note(store_.DeleteKey(key, subKey, viewFlags), TAction::Delete, key, subKey);
}

LSTATUS TStoreWatch::DeleteValue(HKEY key, std::u16string_view name) {
  return Note(store_.DeleteValue(key, name), TAction::Change, key);
}

LSTATUS TStoreWatch::ConnectRegistry(std::u16string_view machine, HKEY root, HKEY& result) {
  return store_.ConnectRegistry(machine, root, result);
}

LSTATUS TStoreWatch::FlushKey(HKEY key) {
  return Note(store_.FlushKey(key), TAction::Change, key);
}

}  // namespace brindel::profile
