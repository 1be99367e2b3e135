#include "registry/store/HiveStore.h"

#include <fcntl.h>
#include <hivex.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/Text.h"
#include "registry/store/HiveWriter.h"

namespace brindel::registry::store {

using platform::CompareTextIgnoreCase;
using platform::Format;
using platform::SameTextIgnoreCase;
using platform::ToUtf8;

namespace {

std::uint64_t FileTimeNow() {
  constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
  const auto since1970 = std::chrono::duration_cast<std::chrono::microseconds>(
      std::chrono::system_clock::now().time_since_epoch());
  return kUnixEpochAsFileTime + static_cast<std::uint64_t>(since1970.count()) * 10;
}

// hivex takes names as NUL-terminated UTF-8, so a name with a NUL or a lone surrogate
// cannot be written without changing it.
bool HivexCanWrite(std::u16string_view name) {
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

struct FreeDeleter {
  void operator()(void* p) const { std::free(p); }
};
template <typename T>
using Malloced = std::unique_ptr<T, FreeDeleter>;

// Reads the stored name of an nk or vk cell as it is, without hivex's conversion to
// UTF-8, which ends a name at an embedded NUL. Names flagged as compressed are
// Latin-1, the others UTF-16LE.
bool ReadCellName(int fd, std::size_t cell, bool key, std::u16string& name) {
  std::array<std::uint8_t, 4 + 0x4C> head{};
  const std::size_t fixed = key ? 4 + 0x4C : 4 + 0x14;
  if (::pread(fd, head.data(), fixed, static_cast<off_t>(cell)) != static_cast<ssize_t>(fixed)) {
    return false;
  }
  if (head[4] != (key ? 'n' : 'v') || head[5] != 'k')
    return false;
  const std::size_t length = key ? hive::ReadLE16(head, 4 + 0x48) : hive::ReadLE16(head, 6);
  const std::uint16_t flags = key ? hive::ReadLE16(head, 6) : hive::ReadLE16(head, 4 + 0x10);
  const bool latin1 = key ? (flags & 0x0020) != 0 : (flags & 0x0001) != 0;
  std::vector<std::uint8_t> bytes(length);
  if (length > 0 && ::pread(fd, bytes.data(), length, static_cast<off_t>(cell + fixed)) !=
                        static_cast<ssize_t>(length)) {
    return false;
  }
  name.clear();
  if (latin1) {
    for (std::uint8_t b : bytes)
      name += static_cast<char16_t>(b);
  } else {
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) {
      name += static_cast<char16_t>(bytes[i] | bytes[i + 1] << 8);
    }
  }
  return true;
}

}  // namespace

struct HiveStore::Hive {
  std::filesystem::path file;
  hive_h* reader = nullptr;  // the file as mounted; keys not yet loaded are read here
  int fd = -1;               // the same file, for the names as stored
  bool readOnly = false;
  bool damaged = false;  // a key could not be read: nothing more is written
  std::uint32_t minorVersion = 0;
  std::shared_ptr<Node> root;
  // nk cells of keys in the file that were deleted since the last write, sub keys first.
  std::vector<std::size_t> deletedCells;
  bool changed = false;

  Hive() = default;
  Hive(const Hive&) = delete;
  Hive& operator=(const Hive&) = delete;
  ~Hive() {
    if (reader)
      hivex_close(reader);
    if (fd >= 0)
      ::close(fd);
  }
};

struct HiveStore::Node {
  std::u16string name;
  Node* parent = nullptr;
  Hive* hive = nullptr;     // null for a key that belongs to no hive: a root without one
  std::size_t cell = 0;     // the key's nk cell in the file; 0 until it is written
  std::size_t newCell = 0;  // the cell a write in progress gave it
  bool fixed = false;       // a root or the top of a hive: cannot be deleted
  bool loaded = false;      // sub keys and values have been read from the file
  bool broken = false;      // they could not be read
  bool valuesChanged = false;
  bool touched = false;  // changed since the last write: its last-write time is stored
  bool deleted = false;
  std::vector<std::shared_ptr<Node>> children;  // sorted case-insensitively
  std::vector<std::pair<std::u16string, RegValue>> values;
  std::uint64_t lastWrite = 0;

  std::vector<std::shared_ptr<Node>>::iterator LowerBound(std::u16string_view childName) {
    return std::lower_bound(children.begin(), children.end(), childName,
                            [](const std::shared_ptr<Node>& node, std::u16string_view n) {
                              return CompareTextIgnoreCase(node->name, n) < 0;
                            });
  }

  std::shared_ptr<Node> Child(std::u16string_view childName) {
    auto it = LowerBound(childName);
    if (it != children.end() && SameTextIgnoreCase((*it)->name, childName))
      return *it;
    return nullptr;
  }

  std::vector<std::pair<std::u16string, RegValue>>::iterator FindValue(std::u16string_view n) {
    return std::find_if(values.begin(), values.end(),
                        [n](const auto& entry) { return SameTextIgnoreCase(entry.first, n); });
  }

  bool Writable() const { return hive != nullptr && !hive->readOnly && !hive->damaged; }

  // Reads the sub keys and values from the file the first time they are needed.
  LSTATUS Load() {
    if (broken)
      return ERROR_BADDB;
    if (loaded)
      return ERROR_SUCCESS;
    if (hive == nullptr || cell == 0) {
      loaded = true;
      return ERROR_SUCCESS;
    }
    if (!ReadFromFile()) {
      children.clear();
      values.clear();
      broken = true;
      hive->damaged = true;
      return ERROR_BADDB;
    }
    loaded = true;
    return ERROR_SUCCESS;
  }

 private:
  bool ReadFromFile() {
    hive_h* h = hive->reader;
    Malloced<hive_node_h> kids(hivex_node_children(h, cell));
    if (!kids)
      return false;
    for (const hive_node_h* kid = kids.get(); *kid != 0; ++kid) {
      auto child = std::make_shared<Node>();
      // Windows takes a longer name for a damaged hive; so does the store.
      if (!ReadCellName(hive->fd, *kid, true, child->name) ||
          child->name.size() > kMaxKeyNameLength) {
        return false;
      }
      child->parent = this;
      child->hive = hive;
      child->cell = *kid;
      children.push_back(std::move(child));
    }
    // The file keeps them sorted as Windows does; sorting again costs little and
    // keeps lookups right for files that a lesser writer left unsorted. A key that
    // is listed twice is one key.
    std::stable_sort(children.begin(), children.end(), [](const auto& a, const auto& b) {
      return CompareTextIgnoreCase(a->name, b->name) < 0;
    });
    children.erase(std::unique(children.begin(), children.end(),
                               [](const auto& a, const auto& b) {
                                 return SameTextIgnoreCase(a->name, b->name);
                               }),
                   children.end());

    Malloced<hive_value_h> vals(hivex_node_values(h, cell));
    if (!vals)
      return false;
    for (const hive_value_h* val = vals.get(); *val != 0; ++val) {
      std::u16string valueName;
      if (!ReadCellName(hive->fd, *val, false, valueName) ||
          valueName.size() > kMaxValueNameLength) {
        return false;
      }
      hive_type type{};
      std::size_t length = 0;
      Malloced<char> bytes(hivex_value_value(h, *val, &type, &length));
      if (!bytes)
        return false;
      RegValue value;
      // Any type number is kept as stored, also one that hive_type does not name.
      std::memcpy(&value.type, &type, sizeof value.type);
      const auto* first = reinterpret_cast<const std::uint8_t*>(bytes.get());
      value.data.assign(first, first + length);
      if (FindValue(valueName) == values.end())
        values.emplace_back(valueName, std::move(value));
    }
    const std::int64_t stamp = hivex_node_timestamp(h, cell);
    lastWrite = stamp > 0 ? static_cast<std::uint64_t>(stamp) : 0;
    return true;
  }
};

HiveStore::HiveStore(Mode mode) : mode_(mode) {
  ResetRoots();
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
  const auto mounts = std::move(mounts_);
  mounts_.clear();
  ResetRoots();
  for (const auto& [where, file] : mounts)
    Mount(where, file);
}

HiveStore::~HiveStore() {
  FlushAll();
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
      (where != MountPoint::CurrentUser && machine.Child(machineKey) != nullptr)) {
    throw EHiveError(Format(kTaken, {rootName}));
  }

  const hive::BaseBlock base = hive::CheckHiveFile(file);
  MountResult result;
  result.readOnly = mode_ == Mode::ReadOnly;
  if (base.Dirty()) {
    result.readOnly = true;
    result.notice = Format(
        u"Die Hive-Datei '%s' wurde von Windows nicht sauber geschlossen: Änderungen stehen "
        u"noch in ihrem Transaktionsprotokoll und fehlen in der Datei. Sie wird deshalb nur "
        u"zum Lesen geöffnet; was sie zeigt, kann veraltet sein. Starten Sie Windows einmal "
        u"normal und fahren Sie es sauber herunter, um die Datei zu vervollständigen.",
        {hive::DisplayName(file)});
  }

  // A hive on a write-protected disk or in a folder without write access could not
  // take the new file at the first flush; say so now instead.
  const auto folder = file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
  if (!result.readOnly &&
      (::access(file.c_str(), W_OK) != 0 || ::access(folder.c_str(), W_OK) != 0)) {
    result.readOnly = true;
    result.notice = Format(
        u"Die Hive-Datei '%s' oder ihr Ordner ist schreibgeschützt. Sie wird nur zum Lesen "
        u"geöffnet.",
        {hive::DisplayName(file)});
  }

  auto hive = std::make_unique<Hive>();
  hive->file = file;
  hive->readOnly = result.readOnly;
  hive->minorVersion = base.minorVersion;
  hive->fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
  if (hive->fd < 0) {
    throw EHiveError(
        Format(u"Die Hive-Datei '%s' kann nicht gelesen werden.", {hive::DisplayName(file)}));
  }
  hive->reader = hivex_open(file.c_str(), 0);
  const hive_node_h top = hive->reader ? hivex_root(hive->reader) : 0;
  const auto corrupt = [&file]() {
    return EHiveError(Format(u"Die Hive-Datei '%s' ist beschädigt und kann nicht gelesen werden.",
                             {hive::DisplayName(file)}));
  };
  if (top == 0)
    throw corrupt();

  auto root = std::make_shared<Node>();
  root->hive = hive.get();
  root->cell = top;
  root->fixed = true;
  if (root->Load() != ERROR_SUCCESS)
    throw corrupt();
  hive->root = root;

  if (where == MountPoint::CurrentUser) {
    roots_[HKEY_CURRENT_USER] = root;
  } else {
    root->name = std::u16string(machineKey);
    root->parent = &machine;
    machine.children.insert(machine.LowerBound(root->name), root);
    if (where == MountPoint::MachineSoftware) {
      if (auto classes = root->Child(u"Classes")) {
        classes->fixed = true;
        roots_[HKEY_CLASSES_ROOT] = classes;
      }
    }
  }
  hives_.push_back(std::move(hive));
  mounts_.emplace_back(where, file);
  return result;
}

LSTATUS HiveStore::Close() {
  if (LSTATUS status = FlushAll(); status != ERROR_SUCCESS)
    return status;
  mounts_.clear();
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
    if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
      return status;
    node = node->Child(part);
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
    if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
      return status;
    auto child = node->Child(part);
    if (!child) {
      if (firstLevel && !IsPredefinedRoot(parent) &&
          (handles_.at(parent).access & KEY_CREATE_SUB_KEY) == 0) {
        return ERROR_ACCESS_DENIED;
      }
      if (!node->Writable() || mode_ == Mode::ReadOnly)
        return ERROR_ACCESS_DENIED;
      if (!HivexCanWrite(part))
        return ERROR_INVALID_PARAMETER;
      child = std::make_shared<Node>();
      child->name = std::u16string(part);
      child->parent = node.get();
      child->hive = node->hive;
      child->loaded = true;
      child->lastWrite = FileTimeNow();
      child->touched = true;
      node->children.insert(node->LowerBound(part), child);
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
  if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
    return status;
  info.subKeys = static_cast<std::uint32_t>(node->children.size());
  info.values = static_cast<std::uint32_t>(node->values.size());
  for (const auto& child : node->children) {
    info.maxSubKeyLen = std::max(info.maxSubKeyLen, static_cast<std::uint32_t>(child->name.size()));
  }
  for (const auto& [name, value] : node->values) {
    info.maxValueNameLen = std::max(info.maxValueNameLen, static_cast<std::uint32_t>(name.size()));
    info.maxValueLen = std::max(info.maxValueLen, static_cast<std::uint32_t>(value.data.size()));
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
  if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
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
  if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
    return status;
  if (index >= node->values.size())
    return ERROR_NO_MORE_ITEMS;
  name = node->values[index].first;
  if (value)
    *value = node->values[index].second;
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
  if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
    return status;
  auto it = node->FindValue(name);
  if (it == node->values.end())
    return ERROR_FILE_NOT_FOUND;
  if (data)
    *data = it->second.data;
  type = it->second.type;
  size = static_cast<std::uint32_t>(it->second.data.size());
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::SetValue(HKEY key, std::u16string_view name, std::uint32_t type,
                            std::span<const std::uint8_t> data) {
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (name.size() > kMaxValueNameLength)
    return ERROR_INVALID_PARAMETER;
  if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
    return status;
  if (!node->Writable() || mode_ == Mode::ReadOnly)
    return ERROR_ACCESS_DENIED;
  if (!HivexCanWrite(name))
    return ERROR_INVALID_PARAMETER;
  RegValue value{type, std::vector<std::uint8_t>(data.begin(), data.end())};
  if (auto it = node->FindValue(name); it != node->values.end()) {
    it->second = std::move(value);
  } else {
    node->values.emplace_back(std::u16string(name), std::move(value));
  }
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
  if (!node->Writable() || mode_ == Mode::ReadOnly)
    return ERROR_ACCESS_DENIED;
  if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
    return status;
  // The registry deletes only keys without sub keys; Windows answers with access denied.
  if (!node->children.empty())
    return ERROR_ACCESS_DENIED;
  Node* parent = node->parent;
  parent->children.erase(parent->LowerBound(node->name));
  parent->lastWrite = FileTimeNow();
  parent->touched = true;
  if (node->cell != 0)
    node->hive->deletedCells.push_back(node->cell);
  node->hive->changed = true;
  node->deleted = true;
  node->parent = nullptr;
  return ERROR_SUCCESS;
}

LSTATUS HiveStore::DeleteValue(HKEY key, std::u16string_view name) {
  std::shared_ptr<Node> node;
  if (LSTATUS status = Resolve(key, KEY_SET_VALUE, node); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = node->Load(); status != ERROR_SUCCESS)
    return status;
  if (!node->Writable() || mode_ == Mode::ReadOnly)
    return ERROR_ACCESS_DENIED;
  auto it = node->FindValue(name);
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
    if (hive->damaged) {
      return Format(
          u"Die Hive-Datei '%s' ist beschädigt: mindestens ein Schlüssel lässt sich nicht "
          u"lesen (beschädigte Daten oder ein Name, länger als die Registry erlaubt). Was "
          u"angezeigt wird, ist unvollständig, und Änderungen werden nicht in die Datei "
          u"geschrieben.",
          {hive::DisplayName(hive->file)});
    }
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

namespace {

// One write of a hive: a hivex handle on the current file that takes the changes,
// and the values whose data go into big-data records afterwards.
struct Writer {
  hive_h* h = nullptr;
  bool bigData = false;  // the format keeps large data in big-data records
  std::vector<hive::BigDataValue> bigValues;
  ~Writer() {
    if (h)
      hivex_close(h);
  }
};

}  // namespace

// The keys of a write in progress whose sub key lists got new keys or that changed,
// with their cells in the new file.
std::vector<hive::KeyUpdate> HiveStore::KeyUpdates(Node& top) {
  std::vector<hive::KeyUpdate> updates;
  struct Collect {
    std::vector<hive::KeyUpdate>& updates;
    void operator()(Node& node) {
      if (!node.loaded)
        return;
      hive::KeyUpdate update;
      update.keyCell = node.cell ? node.cell : node.newCell;
      update.lastWrite = node.touched ? node.lastWrite : 0;
      for (auto& child : node.children) {
        update.sortSubKeys = update.sortSubKeys || child->newCell != 0;
        (*this)(*child);
      }
      if (update.keyCell != 0 && (update.sortSubKeys || update.lastWrite != 0))
        updates.push_back(update);
    }
  };
  Collect{updates}(top);
  return updates;
}

LSTATUS HiveStore::Write(Hive& hive) {
  if (!hive.changed)
    return ERROR_SUCCESS;
  const auto fail = [this, &hive](std::u16string_view reason) {
    lastWriteError_ = Format(
        u"Die Änderungen können nicht in die Hive-Datei '%s' geschrieben werden (%s); "
        u"die Datei ist unverändert.",
        {hive::DisplayName(hive.file), reason});
    return ERROR_CANTWRITE;
  };
  if (hive.damaged)
    return fail(u"die Datei ist beschädigt");

  Writer writer;
  writer.bigData = hive.minorVersion >= hive::kFirstBigDataMinor;
  writer.h = hivex_open(hive.file.c_str(), HIVEX_OPEN_WRITE);
  if (!writer.h)
    return fail(u"sie lässt sich nicht öffnen");

  // Every node a write gave a new cell, to take back when the write fails.
  std::vector<Node*> placed;
  const auto undo = [&placed]() {
    for (Node* node : placed)
      node->newCell = 0;
  };

  for (std::size_t cell : hive.deletedCells) {
    if (hivex_node_delete_child(writer.h, cell) != 0) {
      undo();
      return fail(u"ein Schlüssel lässt sich nicht löschen");
    }
  }

  // Each new key once, each changed key's values once, parents before children.
  struct Apply {
    Writer& writer;
    std::vector<Node*>& placed;
    bool operator()(Node& node) {
      std::size_t cell = node.cell ? node.cell : node.newCell;
      if (cell == 0) {
        const std::size_t parentCell = node.parent->cell ? node.parent->cell : node.parent->newCell;
        cell = hivex_node_add_child(writer.h, parentCell, ToUtf8(node.name).c_str());
        if (cell == 0)
          return false;
        node.newCell = cell;
        placed.push_back(&node);
      }
      if (node.valuesChanged && !SetValues(node, cell))
        return false;
      if (!node.loaded)
        return true;
      for (auto& child : node.children) {
        if (!(*this)(*child))
          return false;
      }
      return true;
    }

    bool SetValues(Node& node, std::size_t cell) {
      std::vector<std::string> names;
      names.reserve(node.values.size());
      std::vector<hive_set_value> values(node.values.size());
      std::vector<std::size_t> big;
      static std::array<char, 4> placeholder{};
      for (std::size_t i = 0; i < node.values.size(); ++i) {
        const auto& [name, value] = node.values[i];
        names.push_back(ToUtf8(name));
        values[i].key = names.back().data();
        std::memcpy(&values[i].t, &value.type, sizeof value.type);
        if (writer.bigData && value.data.size() > hive::kMaxCellData) {
          // hivex would write one plain cell; a small stand-in is replaced later.
          values[i].len = placeholder.size();
          values[i].value = placeholder.data();
          big.push_back(i);
        } else {
          values[i].len = value.data.size();
          values[i].value = const_cast<char*>(reinterpret_cast<const char*>(value.data.data()));
        }
      }
      if (hivex_node_set_values(writer.h, cell, values.size(), values.data(), 0) != 0) {
        return false;
      }
      if (big.empty())
        return true;
      Malloced<hive_value_h> written(hivex_node_values(writer.h, cell));
      if (!written)
        return false;
      for (std::size_t i : big) {
        writer.bigValues.push_back({cell, written.get()[i], node.values[i].second.data});
      }
      return true;
    }
  };
  if (!Apply{writer, placed}(*hive.root)) {
    undo();
    return fail(u"hivex lehnt eine Änderung ab");
  }

  // The new file goes next to the old one, so that the rename stays in one file system.
  const auto folder =
      hive.file.has_parent_path() ? hive.file.parent_path() : std::filesystem::path(".");
  std::string pattern = (folder / ("." + hive.file.filename().string() + ".brindel-XXXXXX"));
  const int tempFd = ::mkstemp(pattern.data());
  if (tempFd < 0) {
    undo();
    return fail(u"im Ordner kann keine neue Datei angelegt werden");
  }
  ::close(tempFd);
  const std::filesystem::path temp = pattern;
  const auto abandon = [&](std::u16string_view reason) {
    ::unlink(temp.c_str());
    undo();
    return fail(reason);
  };
  if (hivex_commit(writer.h, temp.c_str(), 0) != 0)
    return abandon(u"hivex kann nicht speichern");
  hivex_close(writer.h);
  writer.h = nullptr;
  try {
    hive::AppendBigData(temp, writer.bigValues);
  } catch (const EHiveError&) {
    return abandon(u"große Werte lassen sich nicht schreiben");
  }
  try {
    hive::UpdateKeys(temp, KeyUpdates(*hive.root));
  } catch (const EHiveError&) {
    return abandon(u"die Schlüssellisten lassen sich nicht ordnen");
  }

  // Durable before it replaces the original, with the original's permissions.
  struct stat original {};
  const int fd = ::open(temp.c_str(), O_RDWR | O_CLOEXEC);
  bool synced = fd >= 0;
  if (synced && ::stat(hive.file.c_str(), &original) == 0) {
    ::fchmod(fd, original.st_mode & 07777);
    if (::fchown(fd, original.st_uid, original.st_gid) != 0) {
      // Only root may hand a file to another owner; the hive stays readable for its user.
    }
  }
  synced = synced && ::fsync(fd) == 0;
  if (fd >= 0)
    synced = ::close(fd) == 0 && synced;
  if (!synced)
    return abandon(u"die neue Datei lässt sich nicht sichern");
  if (::rename(temp.c_str(), hive.file.c_str()) != 0) {
    return abandon(u"die neue Datei kann die alte nicht ersetzen");
  }
  if (const int dirFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dirFd >= 0) {
    ::fsync(dirFd);
    ::close(dirFd);
  }

  // The file is written: the new keys have their cells, nothing is pending. Keys not
  // yet loaded keep the same cells in the new file, so the reader stays valid.
  for (Node* node : placed) {
    node->cell = node->newCell;
    node->newCell = 0;
  }
  struct Clear {
    void operator()(Node& node) const {
      node.valuesChanged = false;
      node.touched = false;
      if (!node.loaded)
        return;
      for (auto& child : node.children)
        (*this)(*child);
    }
  };
  Clear{}(*hive.root);
  hive.deletedCells.clear();
  hive.changed = false;
  return ERROR_SUCCESS;
}

}  // namespace brindel::registry::store
