#include "registry/store/HiveStore.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <iterator>
#include <numeric>

#include "platform/Text.h"
#include "registry/store/HiveFile.h"
#include "registry/store/HiveTree.h"
#include "registry/store/HiveWriter.h"

namespace brindel::registry::store {

namespace hive {

// A hive file mounted at a root, with the keys of it that the store holds.
struct Mounted {
  std::unique_ptr<HiveFile> file;
  HiveStore::MountPoint where = HiveStore::MountPoint::CurrentUser;
  std::u16string rootName;  // where its top key appears: HKEY_CURRENT_USER, ...
  bool readOnly = false;
  bool damaged = false;       // a key could not be read: nothing more is written
  std::u16string damagedKey;  // the first such key, as the messages name it
  std::shared_ptr<Key> root;
  // The nk cells of the keys read so far, and the cells of their values' data: a key
  // or data that a second list leads to are damage, never read twice. This is what
  // keeps a list that leads back up the tree from being followed without end.
  CellSet reached;
  bool changed = false;
};

}  // namespace hive

using platform::CompareTextIgnoreCase;
using platform::Format;
using platform::SameTextIgnoreCase;

namespace {

using Node = hive::Key;
using Hive = hive::Mounted;

std::uint64_t FileTimeNow() {
  constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(since1970.count()) * 10;
}

// A name with a NUL cannot be given to the registry's API, and one with a lone
// surrogate cannot be shown or written to a .reg file without changing it.
bool StorableName(std::u16string_view name) {
  for (std::size_t i = 0; i < name.size(); ++i) {
    const char16_t unit = name[i];
    if (unit == 0)
      return false;
    if (unit >= 0xD800 && unit <= 0xDBFF) {
      if (i + 1 >= name.size() || name[i + 1] < 0xDC00 || name[i + 1] > 0xDFFF)
        return false;
      ++i;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      return false;
    }
  }
  return true;
}

std::vector<std::shared_ptr<Node>>::iterator LowerBound(Node& node, std::u16string_view name) {
  return std::lower_bound(node.children.begin(), node.children.end(), name,
                          [](const std::shared_ptr<Node>& child, std::u16string_view n) {
                            return CompareTextIgnoreCase(child->name, n) < 0;
                          });
}

std::shared_ptr<Node> Child(Node& node, std::u16string_view name) {
  auto it = LowerBound(node, name);
  if (it != node.children.end() && SameTextIgnoreCase((*it)->name, name))
    return *it;
  return nullptr;
}

std::vector<hive::KeyValue>::iterator FindValue(Node& node, std::u16string_view name) {
  return std::find_if(node.values.begin(), node.values.end(),
                      [name](const auto& value) { return SameTextIgnoreCase(value.name, name); });
}

bool Writable(const Node& node) {
  return node.hive != nullptr && !node.hive->readOnly && !node.hive->damaged;
}

// The key as the messages name it: its hive's place below the roots, then its path.
std::u16string KeyPath(const Node& node) {
  std::vector<std::u16string_view> names;
  for (const Node* at = &node; at != nullptr && at != node.hive->root.get(); at = at->parent)
    names.push_back(at->name);
  std::u16string path = node.hive->rootName;
  for (auto name = names.rbegin(); name != names.rend(); ++name)
    path += u"\\" + std::u16string(*name);
  return path;
}

// Of values listed twice under one name, the first.
void DropRepeatedValues(std::vector<hive::KeyValue>& values) {
  std::vector<std::size_t> order(values.size());
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(), [&values](std::size_t a, std::size_t b) {
    return CompareTextIgnoreCase(values[a].name, values[b].name) < 0;
  });
  std::vector<bool> repeated(values.size());
  bool any = false;
  for (std::size_t i = 1; i < order.size(); ++i) {
    if (SameTextIgnoreCase(values[order[i - 1]].name, values[order[i]].name))
      repeated[order[i]] = any = true;
  }
  if (!any)
    return;
  std::size_t kept = 0;
  for (std::size_t i = 0; i < values.size(); ++i) {
    if (!repeated[i])
      values[kept++] = std::move(values[i]);
  }
  values.resize(kept);
}

bool ReadFromFile(Node& node) {
  Hive& hive = *node.hive;
  const hive::HiveFile& file = *hive.file;
  const auto key = file.Key(node.cell);
  if (!key)
    return false;
  std::vector<hive::SubKey> subKeys;
  if (!file.SubKeys(*key, subKeys) || (!subKeys.empty() && node.depth >= hive::kMaxKeyDepth))
    return false;
  for (auto& subKey : subKeys) {
    if (!hive.reached.Insert(subKey.cell))
      return false;
    auto child = std::make_shared<Node>();
    child->name = std::move(subKey.name);
    child->parent = &node;
    child->hive = &hive;
    child->cell = subKey.cell;
    child->depth = static_cast<std::uint16_t>(node.depth + 1);
    node.children.push_back(std::move(child));
  }

  std::vector<std::uint32_t> cells;
  if (!file.ValueCells(*key, cells))
    return false;
  node.values.reserve(cells.size());
  hive::DataLayout layout;
  for (std::uint32_t cell : cells) {
    const auto value = file.Value(cell);
    if (!value || value->name.size() / (value->latin1Name ? 1 : 2) > kMaxValueNameLength ||
        !file.Data(*value, layout)) {
      return false;
    }
    for (std::uint32_t dataCell : layout.cells) {
      if (!hive.reached.Insert(dataCell))
        return false;
    }
    hive::KeyValue entry;
    entry.name = value->Name();
    entry.type = value->type;
    entry.size = value->size;
    entry.cell = cell;
    node.values.push_back(std::move(entry));
  }
  DropRepeatedValues(node.values);
  node.lastWrite = key->lastWrite;
  return true;
}

// Reads the sub keys and values from the file the first time they are needed.
LSTATUS Load(Node& node) {
  if (node.broken)
    return ERROR_BADDB;
  if (node.loaded)
    return ERROR_SUCCESS;
  if (node.hive == nullptr || node.cell == 0) {
    node.loaded = true;
    return ERROR_SUCCESS;
  }
  if (!ReadFromFile(node)) {
    node.children.clear();
    node.values.clear();
    node.broken = true;
    node.hive->damaged = true;
    if (node.hive->damagedKey.empty())
      node.hive->damagedKey = KeyPath(node);
    return ERROR_BADDB;
  }
  node.loaded = true;
  return ERROR_SUCCESS;
}

bool ValueData(const Node& node, const hive::KeyValue& value, std::vector<std::uint8_t>& data) {
  if (value.cell == 0) {
    data = value.data;
    return true;
  }
  const auto record = node.hive->file->Value(value.cell);
  hive::DataLayout layout;
  if (!record || !node.hive->file->Data(*record, layout))
    return false;
  data.clear();
  data.reserve(record->size);
  for (const auto piece : layout.pieces)
    data.insert(data.end(), piece.begin(), piece.end());
  return true;
}

std::shared_ptr<Node> TopKey(Hive& hive) {
  auto root = std::make_shared<Node>();
  root->hive = &hive;
  root->cell = hive.file->RootCell();
  root->fixed = true;
  hive.reached = hive::CellSet(hive.file->BinsSize());
  hive.reached.Insert(root->cell);
  return root;
}

}  // namespace

HiveStore::HiveStore(Mode mode) : mode_(mode) {
  ResetRoots();
}

HiveStore::~HiveStore() {
  FlushAll();
}

void HiveStore::ResetRoots() {
  handles_.clear();
  roots_.clear();
  hives_.clear();
  for (HKEY root : {HKEY_CLASSES_ROOT, HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE, HKEY_USERS}) {
    auto node = std::make_shared<Node>();
    node->fixed = true;
    node->loaded = true;
    roots_[root] = std::move(node);
  }
}

void HiveStore::DiscardChanges() {
  // The files hold the state before the changes; reading them again forgets the rest.
  // They stay open, and locked, as they are.
  auto hives = std::move(hives_);
  ResetRoots();
  for (auto& hive : hives) {
    hive->root = TopKey(*hive);
    hive->changed = false;
    Load(*hive->root);
    Attach(*hive);
  }
  hives_ = std::move(hives);
}

void HiveStore::Attach(Hive& hive) {
  const std::shared_ptr<Node>& root = hive.root;
  if (hive.where == MountPoint::CurrentUser) {
    roots_[HKEY_CURRENT_USER] = root;
    return;
  }
  Node& machine = *roots_.at(HKEY_LOCAL_MACHINE);
  root->name = hive.where == MountPoint::MachineSoftware ? u"SOFTWARE" : u"SYSTEM";
  root->parent = &machine;
  machine.children.insert(LowerBound(machine, root->name), root);
  if (hive.where == MountPoint::MachineSoftware) {
    if (auto classes = Child(*root, u"Classes")) {
      classes->fixed = true;
      roots_[HKEY_CLASSES_ROOT] = classes;
    }
  }
}

HiveStore::MountResult HiveStore::Mount(MountPoint where, const std::filesystem::path& file) {
  static constexpr std::u16string_view kTaken = u"Für %s ist schon eine Hive-Datei geöffnet.";
  const std::u16string_view rootName = where == MountPoint::CurrentUser ? u"HKEY_CURRENT_USER"
                                       : where == MountPoint::MachineSoftware
                                           ? u"HKEY_LOCAL_MACHINE\\SOFTWARE"
                                           : u"HKEY_LOCAL_MACHINE\\SYSTEM";
  const std::u16string_view machineKey =
      where == MountPoint::MachineSoftware ? u"SOFTWARE" : u"SYSTEM";
  Node& machine = *roots_.at(HKEY_LOCAL_MACHINE);
  if ((where == MountPoint::CurrentUser && roots_.at(HKEY_CURRENT_USER)->hive != nullptr) ||
      (where != MountPoint::CurrentUser && Child(machine, machineKey) != nullptr)) {
    throw EHiveError(Format(kTaken, {rootName}));
  }

  // A hive on a write-protected disk or in a folder without write access could not
  // take the new file at the first flush; it opens read-only, and unlocked.
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  const bool mayWrite = mode_ == Mode::ReadWrite && ::access(file.c_str(), W_OK) == 0 &&
                        ::access(folder.c_str(), W_OK) == 0;
  auto opened = hive::HiveFile::Open(file, mayWrite);

  MountResult result;
  result.readOnly = mode_ == Mode::ReadOnly;
  if (opened->Base().Dirty()) {
    result.readOnly = true;
    result.notice = Format(
        u"Die Hive-Datei '%s' wurde von Windows nicht sauber geschlossen: Änderungen stehen "
        u"noch in ihrem Transaktionsprotokoll und fehlen in der Datei. Sie wird deshalb nur "
        u"zum Lesen geöffnet; was sie zeigt, kann veraltet sein. Starten Sie Windows einmal "
        u"normal und fahren Sie es sauber herunter, um die Datei zu vervollständigen.",
        {hive::DisplayName(file)});
    if (mayWrite)
      opened->Unlock();
  } else if (!result.readOnly && !mayWrite) {
    result.readOnly = true;
    result.notice = Format(
        u"Die Hive-Datei '%s' oder ihr Ordner ist schreibgeschützt. Sie wird nur zum Lesen "
        u"geöffnet.",
        {hive::DisplayName(file)});
  }

  auto hive = std::make_unique<Hive>();
  hive->file = std::move(opened);
  hive->where = where;
  hive->rootName = std::u16string(rootName);
  hive->readOnly = result.readOnly;
  hive->root = TopKey(*hive);
  if (Load(*hive->root) != ERROR_SUCCESS) {
    throw EHiveError(Format(u"Die Hive-Datei '%s' ist beschädigt und kann nicht gelesen werden.",
                            {hive::DisplayName(file)}));
  }
  Attach(*hive);
  hives_.push_back(std::move(hive));
  return result;
}

LSTATUS HiveStore::Close() {
  if (LSTATUS status = FlushAll(); status != ERROR_SUCCESS)
    return status;
  ResetRoots();
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::Resolve(HKEY key, REGSAM needed, std::shared_ptr<Node>& node) const {
  if (auto root = roots_.find(key); root != roots_.end()) {
    node = root->second;
    return ERROR_SUCCESS;
  }
  auto handle = handles_.find(key);
  if (handle == handles_.end())
    return ERROR_INVALID_HANDLE;
  if (handle->second.node->deleted)
    return ERROR_KEY_DELETED;
  if ((handle->second.access & needed) != needed)
    return ERROR_ACCESS_DENIED;
  node = handle->second.node;
  return ERROR_SUCCESS;
}

HKEY HiveStore::NewHandle(std::shared_ptr<Node> node, REGSAM access) {
  const HKEY handle = nextHandle_;
  nextHandle_ += 4;
  handles_[handle] = Handle{std::move(node), access};
  return handle;
}

LSTATUS HiveStore::Find(HKEY key, std::u16string_view subKey, std::shared_ptr<Node>& node) const {
  if (LSTATUS status = Resolve(key, 0, node); status != ERROR_SUCCESS)
    return status;
  for (auto part : SplitKeyPath(subKey)) {
    if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
      return status;
    node = Child(*node, part);
    if (!node)
      return ERROR_FILE_NOT_FOUND;
  }
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::OpenKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result) {
  result = 0;
  std::shared_ptr<Node> node;
  // Opening below a handle needs no right on that handle, as on Windows.
  if (LSTATUS status = Find(parent, subKey, node); status != ERROR_SUCCESS)
    return status;
  result = NewHandle(std::move(node), access);
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::CreateKey(HKEY parent, std::u16string_view subKey, REGSAM access, HKEY& result,
                             bool* created) {
  result = 0;
  if (created)
    *created = false;
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(parent, 0, node); status != ERROR_SUCCESS)
    return status;
  const auto parts = SplitKeyPath(subKey);
  for (auto part : parts) {
    if (part.size() > kMaxKeyNameLength)
      return ERROR_INVALID_PARAMETER;
  }
  // Creating a missing key needs the right to add sub keys on the handle for the
  // first level, and a hive that takes changes.
  bool firstLevel = true;
  for (auto part : parts) {
    if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
      return status;
    auto child = Child(*node, part);
    if (!child) {
      if (firstLevel && !IsPredefinedRoot(parent) &&
          (handles_.at(parent).access & KEY_CREATE_SUB_KEY) == 0) {
        return ERROR_ACCESS_DENIED;
      }
      if (!Writable(*node) || mode_ == Mode::ReadOnly)
        return ERROR_ACCESS_DENIED;
      // The registry is no deeper than this; a hive with deeper keys reads as damaged.
      if (!StorableName(part) || node->depth >= hive::kMaxKeyDepth)
        return ERROR_INVALID_PARAMETER;
      child = std::make_shared<Node>();
      child->name = std::u16string(part);
      child->parent = node.get();
      child->hive = node->hive;
      child->depth = static_cast<std::uint16_t>(node->depth + 1);
      child->loaded = true;
      child->lastWrite = FileTimeNow();
      child->touched = true;
      node->children.insert(LowerBound(*node, part), child);
      node->lastWrite = child->lastWrite;
      node->touched = true;
      node->hive->changed = true;
      if (created)
        *created = true;
    }
    node = child;
    firstLevel = false;
  }
  result = NewHandle(std::move(node), access);
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::CloseKey(HKEY key) {
  if (roots_.count(key))
    return ERROR_SUCCESS;
  return handles_.erase(key) ? ERROR_SUCCESS : ERROR_INVALID_HANDLE;
}

LSTATUS HiveStore::QueryInfoKey(HKEY key, KeyInfo& info) {
  info = KeyInfo{};
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
    return status;
  info.subKeys = static_cast<std::uint32_t>(node->children.size());
  info.values = static_cast<std::uint32_t>(node->values.size());
  for (const auto& child : node->children) {
    info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<std::uint32_t>(child->name.size()));
  }
  for (const auto& value : node->values) {
    info.maxValueNameLen =
        std::max(info.maxValueNameLen, static_cast<std::uint32_t>(value.name.size()));
    info.maxValueLen = std::max(info.maxValueLen, value.size);
  }
  info.lastWriteTime = node->lastWrite;
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::EnumKey(HKEY key, std::uint32_t index, std::u16string& name) {
  name.clear();
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_ENUMERATE_SUB_KEYS, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
    return status;
  if (index >= node->children.size())
    return ERROR_NO_MORE_ITEMS;
  name = node->children[index]->name;
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::EnumValue(HKEY key, std::uint32_t index, std::u16string& name, RegValue* value) {
  name.clear();
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
    return status;
  if (index >= node->values.size())
    return ERROR_NO_MORE_ITEMS;
  const hive::KeyValue& entry = node->values[index];
  if (value) {
    value->type = entry.type;
    if (!ValueData(*node, entry, value->data))
      return ERROR_BADDB;
  }
  name = entry.name;
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::QueryValue(HKEY key, std::u16string_view name, std::uint32_t& type,
                              std::uint32_t& size, std::vector<std::uint8_t>* data) {
  type = REG_NONE;
  size = 0;
  if (data)
    data->clear();
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_QUERY_VALUE, node); status != ERROR_SUCCESS) {
    return status;
  }
  if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
    return status;
  auto it = FindValue(*node, name);
  if (it == node->values.end())
    return ERROR_FILE_NOT_FOUND;
  if (data && !ValueData(*node, *it, *data))
    return ERROR_BADDB;
  type = it->type;
  size = it->size;
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) {
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (name.size() > kMaxValueNameLength)
    return ERROR_INVALID_PARAMETER;
  if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
    return status;
  if (!Writable(*node) || mode_ == Mode::ReadOnly)
    return ERROR_ACCESS_DENIED;
  if (!StorableName(name))
    return ERROR_INVALID_PARAMETER;
  auto it = FindValue(*node, name);
  if (it == node->values.end()) {
    node->values.emplace_back();
    it = std::prev(node->values.end());
    it->name = std::u16string(name);
  }
  // A replaced value keeps its place and its spelling.
  it->type = type;
  it->size = static_cast<std::uint32_t>(data.size());
  it->cell = 0;
  it->data.assign(data.begin(), data.end());
  node->valuesChanged = true;
  node->hive->changed = true;
  node->lastWrite = FileTimeNow();
  node->touched = true;
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::DeleteKey(HKEY key, std::u16string_view subKey, REGSAM /*viewFlags*/) {
  std::shared_ptr<Node> node;
  if (LSTATUS status = Find(key, subKey, node); status != ERROR_SUCCESS)
    return status;
  if (node->fixed)
    return ERROR_ACCESS_DENIED;
  if (!Writable(*node) || mode_ == Mode::ReadOnly)
    return ERROR_ACCESS_DENIED;
  if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
    return status;
  // The registry deletes only keys without sub keys; Windows answers with access denied.
  if (!node->children.empty())
    return ERROR_ACCESS_DENIED;
  Node* parent = node->parent;
  parent->children.erase(LowerBound(*parent, node->name));
  parent->lastWrite = FileTimeNow();
  parent->touched = true;
  node->hive->changed = true;
  node->deleted = true;
  node->parent = nullptr;
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::DeleteValue(HKEY key, std::u16string_view name) {
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = Load(*node); status != ERROR_SUCCESS)
    return status;
  if (!Writable(*node) || mode_ == Mode::ReadOnly)
    return ERROR_ACCESS_DENIED;
  auto it = FindValue(*node, name);
  if (it == node->values.end())
    return ERROR_FILE_NOT_FOUND;
  node->values.erase(it);
  node->valuesChanged = true;
  node->hive->changed = true;
  node->lastWrite = FileTimeNow();
  node->touched = true;
  return ERROR_SUCCESS;
}

std::u16string HiveStore::DamageNotice() const {
  for (const auto& hive : hives_) {
    if (!hive->damaged)
      continue;
    std::u16string notice = Format(
        u"Die Hive-Datei '%s' ist beschädigt: mindestens ein Schlüssel lässt sich nicht "
        u"lesen (beschädigte Daten oder ein Name, länger als die Registry erlaubt). Was "
        u"angezeigt wird, ist unvollständig, und Änderungen werden nicht in die Datei "
        u"geschrieben.",
        {hive::DisplayName(hive->file->Path())});
    if (!hive->damagedKey.empty())
      notice += Format(u" Betroffen ist der Schlüssel '%s'.", {hive->damagedKey});
    return notice;
  }
  return {};
}

LSTATUS HiveStore::ConnectRegistry(std::u16string_view /*machine*/, HKEY /*root*/, HKEY& result) {
  result = 0;
  return ERROR_BAD_NETPATH;
}

LSTATUS HiveStore::FlushKey(HKEY key) {
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, 0, node); status != ERROR_SUCCESS)
    return status;
  return FlushAll();
}

LSTATUS HiveStore::FlushAll() {
  // One text for the whole flush: a later hive without changes must not clear the
  // error of an earlier one.
  lastWriteError_.clear();
  LSTATUS result = ERROR_SUCCESS;
  for (auto& hive : hives_) {
    if (LSTATUS status = Write(*hive); status != ERROR_SUCCESS && result == ERROR_SUCCESS) {
      result = status;
    }
  }
  return result;
}

LSTATUS HiveStore::Write(Hive& hive) {
  if (!hive.changed)
    return ERROR_SUCCESS;
  const auto fail = [this, &hive](std::u16string_view reason) {
    lastWriteError_ = Format(
        u"Die Änderungen können nicht in die Hive-Datei '%s' geschrieben werden (%s); "
        u"die Datei ist unverändert.",
        {hive::DisplayName(hive.file->Path()), reason});
    return ERROR_CANTWRITE;
  };
  if (hive.damaged)
    return fail(u"die Datei ist beschädigt");

  std::unique_ptr<hive::HiveFile> written;
  try {
    written = hive::CommitHive(*hive.file, *hive.root, commitFault_);
  } catch (const hive::ECommitError& error) {
    if (const auto& key = error.DamagedKey()) {
      // Damage below keys that were never read shows only now.
      hive.damaged = true;
      if (hive.damagedKey.empty())
        hive.damagedKey = key->empty() ? hive.rootName : hive.rootName + u"\\" + *key;
    }
    return fail(error.Message());
  }

  // The new file is the hive now: every key and value the store holds moves to its
  // cell there, and the data written no longer need to be held.
  struct Settle {
    void operator()(Node& node) const {
      node.cell = node.newCell;
      node.newCell = 0;
      node.touched = false;
      node.valuesChanged = false;
      for (auto& value : node.values) {
        value.cell = value.newCell;
        value.newCell = 0;
        std::vector<std::uint8_t>().swap(value.data);
      }
      for (auto& child : node.children)
        (*this)(*child);
    }
  };
  Settle{}(*hive.root);
  hive.file = std::move(written);
  hive.reached = hive::CellSet(hive.file->BinsSize());
  hive.changed = false;
  return ERROR_SUCCESS;
}

}  // namespace brindel::registry::store
