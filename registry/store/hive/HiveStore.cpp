#include "registry/store/hive/HiveStore.h"

#include <algorithm>
#include <numeric>

#include "platform/NewFile.h"
#include "platform/Text.h"
#include "registry/store/hive/HiveFile.h"
#include "registry/store/hive/HiveTree.h"

namespace brindel::registry::store {

using platform::CompareTextIgnoreCase;
using platform::Format;
using platform::SameTextIgnoreCase;

namespace {

using Node = hive::Key;
using Hive = hive::Mounted;

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
  // A key has a few values as a rule: comparing each pair costs less than sorting.
  static constexpr std::size_t kFewValues = 16;
  if (values.size() <= kFewValues) {
    bool any = false;
    for (std::size_t i = 1; i < values.size() && !any; ++i) {
      for (std::size_t j = 0; j < i && !any; ++j)
        any = SameTextIgnoreCase(values[i].name, values[j].name);
    }
    if (!any)
      return;
  }
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
    if (repeated[i])
      continue;
    // A value moved onto itself may come out empty, as a std::vector does.
    if (kept != i)
      values[kept] = std::move(values[i]);
    ++kept;
  }
  values.resize(kept);
}

// `claim` is false for a key read before: its sub keys and data are in `reached`
// already, and the file has not changed since.
bool ReadFromFile(Node& node, bool claim) {
  Hive& hive = *node.hive;
  const hive::HiveFile& file = *hive.file;
  const auto key = file.Key(node.cell);
  if (!key)
    return false;
  auto& subKeys = hive.scratch.subKeys;
  if (!file.SubKeys(*key, subKeys) || (!subKeys.empty() && node.depth >= hive::kMaxKeyDepth))
    return false;
  for (auto& subKey : subKeys) {
    if (claim && !hive.reached.Insert(subKey.cell))
      return false;
    auto child = std::make_shared<Node>();
    child->name = std::move(subKey.name);
    child->parent = &node;
    child->hive = &hive;
    child->cell = subKey.cell;
    child->depth = static_cast<std::uint16_t>(node.depth + 1);
    node.children.push_back(std::move(child));
  }

  auto& cells = hive.scratch.valueCells;
  if (!file.ValueCells(*key, cells))
    return false;
  node.values.reserve(cells.size());
  hive::DataLayout& layout = hive.scratch.layout;
  for (std::uint32_t cell : cells) {
    const auto value = file.Value(cell);
    if (!value || value->NameLength() > kMaxValueNameLength || !file.Data(*value, layout)) {
      return false;
    }
    for (std::uint32_t dataCell : layout.cells) {
      if (claim && !hive.reached.Insert(dataCell))
        return false;
    }
    hive::KeyValue& entry = node.values.emplace_back();
    value->NameInto(entry.name.Reset(value->NameLength()));
    entry.type = value->type;
    entry.size = value->size;
    entry.cell = cell;
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
  Hive& hive = *node.hive;
  const bool claim = !hive.expanded.Contains(node.cell);
  // A file shortened under the run reads as zeros: whatever came of them is no key.
  if (!ReadFromFile(node, claim) || !hive.file->Intact()) {
    node.children.clear();
    node.values.clear();
    node.broken = true;
    node.hive->damaged = true;
    if (node.hive->damagedKey.empty())
      node.hive->damagedKey = KeyPath(node);
    return ERROR_BADDB;
  }
  if (claim)
    hive.expanded.Insert(node.cell);
  node.loaded = true;
  return ERROR_SUCCESS;
}

// Marks a key that changed, and the keys above it, as not to be let go.
void Keep(Node& node) {
  for (Node* at = &node; at != nullptr && !at->kept; at = at->parent)
    at->kept = true;
}

bool ValueData(const Node& node, const hive::KeyValue& value, std::vector<std::uint8_t>& data) {
  if (value.cell == 0) {
    data = value.data;
    return true;
  }
  const hive::HiveFile& file = *node.hive->file;
  const auto record = file.Value(value.cell);
  hive::DataLayout& layout = node.hive->scratch.layout;
  if (!record || !file.Data(*record, layout))
    return false;
  if (layout.pieces.size() == 1) {
    data.assign(layout.pieces[0].begin(), layout.pieces[0].end());
  } else {
    data.clear();
    data.reserve(record->size);
    for (const auto piece : layout.pieces)
      data.insert(data.end(), piece.begin(), piece.end());
  }
  // Asked after the copy: a read that found the file shortened made zeros of it.
  return file.Intact();
}

std::shared_ptr<Node> TopKey(Hive& hive) {
  auto root = std::make_shared<Node>();
  root->hive = &hive;
  root->cell = hive.file->RootCell();
  root->fixed = true;
  hive.reached = hive::CellSet(hive.file->BinsSize());
  hive.reached.Insert(root->cell);
  hive.expanded = hive::CellSet(hive.file->BinsSize());
  return root;
}

}  // namespace

template class KeyTree<HiveStore, hive::Key>;

HiveStore::HiveStore(Mode mode) : mode_(mode) {
  ResetRoots();
}

HiveStore::~HiveStore() {
  FlushAll();
}

void HiveStore::ResetRoots() {
  closed_.clear();
  nextClosed_ = 0;
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

HiveStore::MountResult HiveStore::Mount(MountPoint where, const std::filesystem::path& file,
                                        bool readOnly) {
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
  const bool asked = mode_ == Mode::ReadWrite && !readOnly;
  const bool mayWrite = asked && platform::CanReplace(file);
  std::unique_ptr<hive::HiveFile> opened;
  try {
    opened = hive::HiveFile::Open(file, mayWrite);
  } catch (const EHiveInUse& error) {
    throw EHiveInUse(
        error.Message() +
        (where == MountPoint::CurrentUser
             ? u" Gehört die Datei einem angemeldeten Benutzer, starten Sie Brindel als dieser "
               u"Benutzer ohne --hive, oder als Administrator mit --user NAME statt --hive: "
               u"dann arbeitet es auf der Registry, die Windows für ihn geladen hat. Sonst "
               u"melden Sie den Benutzer ab und versuchen es noch einmal."
             : u" Für die Registry des laufenden Windows starten Sie Brindel ohne --hive. Eine "
               u"Hive-Datei des laufenden Systems lässt sich nur lesen, wenn Sie den Rechner von "
               u"einem anderen Medium starten (etwa Windows PE) oder eine Kopie angeben, die "
               u"„reg save“ erstellt hat."));
  }

  MountResult result;
  result.readOnly = !asked;
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
  } else if (asked && !mayWrite) {
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

LSTATUS HiveStore::Descend(Node& node) {
  return Load(node);
}

LSTATUS HiveStore::Prepare(Node& node, KeyOperation /*operation*/) {
  return Load(node);
}

LSTATUS HiveStore::CheckWrite(const Node& node, KeyOperation /*operation*/) const {
  if (!Writable(node) || mode_ == Mode::ReadOnly)
    return ERROR_ACCESS_DENIED;
  return ERROR_SUCCESS;
}

bool HiveStore::Storable(std::u16string_view name) const {
  return StorableName(name);
}

LSTATUS HiveStore::AddChild(Node& parent, std::u16string_view name, std::shared_ptr<Node>& child) {
  // The registry is no deeper than this; a hive with deeper keys reads as damaged.
  if (parent.depth >= hive::kMaxKeyDepth)
    return ERROR_INVALID_PARAMETER;
  child = std::make_shared<Node>();
  child->name = std::u16string(name);
  child->parent = &parent;
  child->hive = parent.hive;
  child->depth = static_cast<std::uint16_t>(parent.depth + 1);
  child->loaded = true;
  child->lastWrite = hive::FileTimeNow();
  child->touched = true;
  parent.children.insert(LowerBound(parent, name), child);
  parent.lastWrite = child->lastWrite;
  parent.touched = true;
  parent.hive->changed = true;
  Keep(*child);
  return ERROR_SUCCESS;
}

void HiveStore::RemoveChild(Node& parent, const Node& child) {
  // Handles still open on the deleted key no longer count for the keys above it.
  for (Node* at = &parent; at != nullptr; at = at->parent)
    at->handles -= child.handles;
  parent.children.erase(LowerBound(parent, child.name));
}

void HiveStore::Touch(Node& node, KeyChange change) {
  if (change == KeyChange::Values)
    node.valuesChanged = true;
  node.hive->changed = true;
  node.lastWrite = hive::FileTimeNow();
  node.touched = true;
  Keep(node);
}

void HiveStore::Opened(Node& node) {
  for (Node* at = &node; at != nullptr; at = at->parent)
    ++at->handles;
}

void HiveStore::Closed(const std::shared_ptr<Node>& node) {
  // Enough for the keys that code reading one section or account opens again and
  // again; few enough that what a walk over a whole hive holds stays small.
  static constexpr std::size_t kClosedKept = 64;
  for (Node* at = node.get(); at != nullptr; at = at->parent)
    --at->handles;
  if (node->handles != 0 || node->kept || !node->loaded)
    return;
  if (closed_.size() < kClosedKept) {
    closed_.push_back(node);
    return;
  }
  if (auto oldest = closed_[nextClosed_].lock())
    Release(*oldest);
  closed_[nextClosed_] = node;
  nextClosed_ = (nextClosed_ + 1) % kClosedKept;
}

void HiveStore::Release(Node& node) {
  // A key read again is read from the same file: a write gives the keys it holds their
  // new cells, and a key not read stands for what that file holds below it.
  if (!node.loaded || node.broken || node.fixed || node.kept || node.deleted || node.handles != 0 ||
      node.hive == nullptr || node.cell == 0) {
    return;
  }
  std::vector<std::shared_ptr<Node>>().swap(node.children);
  std::vector<hive::KeyValue>().swap(node.values);
  node.loaded = false;
}

bool HiveStore::ReadData(const Node& node, const Value& value,
                         std::vector<std::uint8_t>& data) const {
  return ValueData(node, value, data);
}

std::uint32_t HiveStore::DataSize(const Value& value) {
  return value.size;
}

std::size_t HiveStore::HeldKeyCount() const {
  struct Count {
    std::size_t operator()(const Node& node) const {
      std::size_t count = 1;
      for (const auto& child : node.children)
        count += (*this)(*child);
      return count;
    }
  };
  std::size_t count = 0;
  for (const auto& hive : hives_)
    count += Count{}(*hive->root);
  return count;
}

std::u16string HiveStore::DamageNotice() const {
  for (const auto& hive : hives_) {
    if (!hive->file->Whole()) {
      return Format(
          u"Die Hive-Datei '%s' wurde während des Laufs von einem anderen Programm verkürzt "
          u"oder ersetzt. Was aus ihr gelesen wurde, ist unvollständig, und Änderungen werden "
          u"nicht in die Datei geschrieben. Sorgen Sie dafür, dass kein anderes Programm die "
          u"Datei verwendet, und versuchen Sie es noch einmal.",
          {hive::DisplayName(hive->file->Path())});
    }
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

}  // namespace brindel::registry::store
