#include "regfile/RegText.h"

#include <optional>
#include <string>
#include <vector>

#include "platform/Text.h"
#include "regfile/RootKeyName.h"

namespace brindel::regfile {

using namespace registry::store;

using platform::Format;

namespace {

// Full access without the view flags: what a loader needs on the keys it fills.
constexpr REGSAM kFillAccess = KEY_READ | KEY_WRITE;

class KeyHandle {
 public:
  explicit KeyHandle(RegistryStore& store) : store_(store) {}
  ~KeyHandle() { Close(); }
  KeyHandle(const KeyHandle&) = delete;
  KeyHandle& operator=(const KeyHandle&) = delete;

  LSTATUS Open(HKEY root, std::u16string_view path, REGSAM access) {
    Close();
    if (path.empty()) {
      key_ = root;
      return ERROR_SUCCESS;
    }
    return store_.OpenKey(root, path, access, key_);
  }
  LSTATUS Create(HKEY root, std::u16string_view path, REGSAM access) {
    Close();
    if (path.empty()) {
      key_ = root;
      return ERROR_SUCCESS;
    }
    return store_.CreateKey(root, path, access, key_);
  }
  void Close() {
    if (key_ != 0)
      store_.CloseKey(key_);
    key_ = 0;
  }
  // Takes a handle that was opened elsewhere, closing the one it held.
  void Adopt(HKEY key) {
    Close();
    key_ = key;
  }
  HKEY Get() const { return key_; }

 private:
  RegistryStore& store_;
  HKEY key_ = 0;
};

std::u16string JoinPath(std::u16string_view path, std::u16string_view name) {
  if (path.empty())
    return std::u16string(name);
  std::u16string joined(path);
  joined += u'\\';
  joined += name;
  return joined;
}

struct KeySnapshot {
  std::u16string name;
  std::vector<std::pair<std::u16string, RegValue>> values;
  std::vector<KeySnapshot> children;
};

LSTATUS SubKeyNames(RegistryStore& store, HKEY key, std::vector<std::u16string>& names) {
  for (std::uint32_t index = 0;; ++index) {
    std::u16string name;
    const LSTATUS status = store.EnumKey(key, index, name);
    if (status == ERROR_NO_MORE_ITEMS)
      return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
      return status;
    names.push_back(std::move(name));
  }
}

LSTATUS ValuesOf(RegistryStore& store, HKEY key,
                 std::vector<std::pair<std::u16string, RegValue>>& values) {
  for (std::uint32_t index = 0;; ++index) {
    std::pair<std::u16string, RegValue> value;
    const LSTATUS status = store.EnumValue(key, index, value.first, &value.second);
    if (status == ERROR_NO_MORE_ITEMS)
      return ERROR_SUCCESS;
    if (status != ERROR_SUCCESS)
      return status;
    values.push_back(std::move(value));
  }
}

LSTATUS TakeSnapshot(RegistryStore& store, HKEY root, const std::u16string& path,
                     KeySnapshot& snapshot) {
  KeyHandle key(store);
  if (LSTATUS status = key.Open(root, path, KEY_READ); status != ERROR_SUCCESS)
    return status;
  if (LSTATUS status = ValuesOf(store, key.Get(), snapshot.values); status != ERROR_SUCCESS) {
    return status;
  }
  std::vector<std::u16string> names;
  if (LSTATUS status = SubKeyNames(store, key.Get(), names); status != ERROR_SUCCESS)
    return status;
  for (std::u16string& name : names) {
    KeySnapshot child;
    child.name = std::move(name);
    if (LSTATUS status = TakeSnapshot(store, root, JoinPath(path, child.name), child);
        status != ERROR_SUCCESS) {
      return status;
    }
    snapshot.children.push_back(std::move(child));
  }
  return ERROR_SUCCESS;
}

// The store deletes only keys without sub keys, so the tree goes depth first.
LSTATUS DeleteTree(RegistryStore& store, HKEY root, const std::u16string& path) {
  std::vector<std::u16string> names;
  {
    KeyHandle key(store);
    if (LSTATUS status = key.Open(root, path, KEY_READ); status != ERROR_SUCCESS)
      return status;
    if (LSTATUS status = SubKeyNames(store, key.Get(), names); status != ERROR_SUCCESS) {
      return status;
    }
  }
  for (const std::u16string& name : names) {
    if (LSTATUS status = DeleteTree(store, root, JoinPath(path, name)); status != ERROR_SUCCESS) {
      return status;
    }
  }
  return store.DeleteKey(root, path, 0);
}

void RestoreTree(RegistryStore& store, HKEY root, const std::u16string& path,
                 const KeySnapshot& snapshot) {
  KeyHandle key(store);
  if (key.Create(root, path, kFillAccess) != ERROR_SUCCESS)
    return;
  for (const auto& [name, value] : snapshot.values) {
    store.SetValue(key.Get(), name, value.type, value.data);
  }
  for (const KeySnapshot& child : snapshot.children) {
    RestoreTree(store, root, JoinPath(path, child.name), child);
  }
}

// What undoes one change, so that a load the store refuses half-way leaves the store
// as it was.
struct UndoStep {
  enum class Kind { RemoveTree, RestoreTree, RestoreValue, RemoveValues, RestoreValues } kind;
  HKEY root = 0;
  std::u16string path;
  std::u16string name;
  RegValue value;
  KeySnapshot tree;
  // RemoveValues: the values a run of lines made new in one key, one step for all of
  // them, so that a key of a million new values is not a million steps.
  std::vector<std::u16string> names;
};

class Applier {
 public:
  explicit Applier(RegistryStore& store) : store_(store), key_(store) {}

  void Apply(const ParsedRegText& text) {
    try {
      for (const RegTextOp& op : text.ops)
        ApplyOne(op);
    } catch (...) {
      key_.Close();
      Undo();
      throw;
    }
  }

 private:
  void ApplyOne(const RegTextOp& op) {
    switch (op.kind) {
      case RegTextOpKind::CreateKey:
        return CreateKey(op);
      case RegTextOpKind::DeleteKey:
        return DeleteKey(op);
      case RegTextOpKind::SetValue:
      case RegTextOpKind::DeleteValue:
        return ChangeValue(op);
    }
  }

  static std::u16string KeyText(const RegTextOp& op) {
    return JoinPath(RootKeyName(op.root), op.path);
  }

  [[noreturn]] static void KeyRefused(const RegTextOp& op, std::u16string_view what,
                                      LSTATUS status) {
    FailAtLine(op.line, what, {KeyText(op), platform::Decimal(status)});
  }

  [[noreturn]] static void ValueRefused(const RegTextOp& op, std::u16string_view what,
                                        LSTATUS status) {
    FailAtLine(op.line, what,
               {op.name.empty() ? u"@" : op.name, KeyText(op), platform::Decimal(status)});
  }

  void CreateKey(const RegTextOp& op) {
    // Remember the first key that does not exist yet: removing it undoes the creation.
    // Each level is opened below the one before, so that a deep path is walked once,
    // not once for every level; a level that does not open for another reason is
    // looked past from the root.
    std::optional<std::u16string> firstMissing;
    KeyHandle level(store_);
    bool fromRoot = false;
    std::size_t start = 0;
    while (!op.path.empty() && start <= op.path.size()) {
      std::size_t end = op.path.find(u'\\', start);
      if (end == std::u16string::npos)
        end = op.path.size();
      const std::u16string_view prefix = std::u16string_view(op.path).substr(0, end);
      HKEY probe = 0;
      const LSTATUS status = fromRoot ? store_.OpenKey(op.root, prefix, 0, probe)
                                      : store_.OpenKey(start == 0 ? op.root : level.Get(),
                                                       prefix.substr(start), 0, probe);
      if (status == ERROR_FILE_NOT_FOUND) {
        firstMissing = std::u16string(prefix);
        break;
      }
      if (status == ERROR_SUCCESS) {
        level.Adopt(probe);
      } else {
        level.Close();
        fromRoot = true;
      }
      start = end + 1;
    }
    level.Close();
    const LSTATUS status = key_.Create(op.root, op.path, kFillAccess);
    if (status != ERROR_SUCCESS) {
      key_.Close();
      KeyRefused(op, u"Schlüssel „%s“ kann nicht angelegt werden (Fehler %d)", status);
    }
    keyRoot_ = op.root;
    keyPath_ = op.path;
    if (firstMissing) {
      undo_.push_back({UndoStep::Kind::RemoveTree, op.root, *firstMissing, {}, {}, {}, {}});
    }
  }

  void DeleteKey(const RegTextOp& op) {
    key_.Close();
    keyRoot_ = 0;
    UndoStep step{UndoStep::Kind::RestoreTree, op.root, op.path, {}, {}, {}, {}};
    LSTATUS status = TakeSnapshot(store_, op.root, op.path, step.tree);
    if (status == ERROR_FILE_NOT_FOUND)
      return;  // nothing to delete
    if (status == ERROR_SUCCESS) {
      // Recorded before deleting, so that a delete that stops half-way is undone too.
      undo_.push_back(std::move(step));
      status = DeleteTree(store_, op.root, op.path);
    }
    if (status != ERROR_SUCCESS) {
      KeyRefused(op, u"Schlüssel „%s“ kann nicht gelöscht werden (Fehler %d)", status);
    }
  }

  void ChangeValue(const RegTextOp& op) {
    if (keyRoot_ != op.root || keyPath_ != op.path || key_.Get() == 0) {
      if (LSTATUS status = key_.Create(op.root, op.path, kFillAccess); status != ERROR_SUCCESS) {
        key_.Close();
        ValueRefused(op, u"Wert „%s“ in „%s“ kann nicht gesetzt werden (Fehler %d)", status);
      }
      keyRoot_ = op.root;
      keyPath_ = op.path;
    }
    UndoStep step{UndoStep::Kind::RestoreValue, op.root, op.path, op.name, {}, {}, {}};
    std::uint32_t size = 0;
    LSTATUS status =
        store_.QueryValue(key_.Get(), op.name, step.value.type, size, &step.value.data);
    if (status == ERROR_FILE_NOT_FOUND) {
      if (op.kind == RegTextOpKind::DeleteValue)
        return;  // nothing to delete
      step.kind = UndoStep::Kind::RemoveValues;
      status = ERROR_SUCCESS;
    } else if (status == ERROR_SUCCESS && op.kind == RegTextOpKind::DeleteValue) {
      // A value set again would come last; the key's values keep their order only
      // when all of them are set again.
      step.kind = UndoStep::Kind::RestoreValues;
      status = ValuesOf(store_, key_.Get(), step.tree.values);
    }
    if (status == ERROR_SUCCESS) {
      status = op.kind == RegTextOpKind::SetValue
                   ? store_.SetValue(key_.Get(), op.name, op.value.type, op.value.data)
                   : store_.DeleteValue(key_.Get(), op.name);
    }
    if (status != ERROR_SUCCESS) {
      ValueRefused(op,
                   op.kind == RegTextOpKind::SetValue
                       ? u"Wert „%s“ in „%s“ kann nicht gesetzt werden (Fehler %d)"
                       : u"Wert „%s“ in „%s“ kann nicht gelöscht werden (Fehler %d)",
                   status);
    }
    if (step.kind == UndoStep::Kind::RemoveValues) {
      if (undo_.empty() || undo_.back().kind != UndoStep::Kind::RemoveValues ||
          undo_.back().root != op.root || undo_.back().path != op.path) {
        step.name.clear();
        undo_.push_back(std::move(step));
      }
      undo_.back().names.push_back(op.name);
      return;
    }
    undo_.push_back(std::move(step));
  }

  // Best effort, newest change first: a store that refused a change may refuse its
  // undoing too, and then there is nothing better left to do.
  void Undo() {
    for (auto step = undo_.rbegin(); step != undo_.rend(); ++step) {
      switch (step->kind) {
        case UndoStep::Kind::RemoveTree:
          DeleteTree(store_, step->root, step->path);
          break;
        case UndoStep::Kind::RestoreTree:
          RestoreTree(store_, step->root, step->path, step->tree);
          break;
        case UndoStep::Kind::RestoreValues: {
          KeyHandle key(store_);
          if (key.Open(step->root, step->path, kFillAccess) != ERROR_SUCCESS)
            break;
          std::vector<std::pair<std::u16string, RegValue>> present;
          ValuesOf(store_, key.Get(), present);
          // The last first: nothing moves in between.
          for (auto value = present.rbegin(); value != present.rend(); ++value)
            store_.DeleteValue(key.Get(), value->first);
          for (const auto& [name, value] : step->tree.values) {
            store_.SetValue(key.Get(), name, value.type, value.data);
          }
          break;
        }
        case UndoStep::Kind::RestoreValue:
        case UndoStep::Kind::RemoveValues: {
          KeyHandle key(store_);
          if (key.Open(step->root, step->path, kFillAccess) != ERROR_SUCCESS)
            break;
          if (step->kind == UndoStep::Kind::RestoreValue) {
            store_.SetValue(key.Get(), step->name, step->value.type, step->value.data);
          } else {
            for (auto name = step->names.rbegin(); name != step->names.rend(); ++name)
              store_.DeleteValue(key.Get(), *name);
          }
          break;
        }
      }
    }
    undo_.clear();
  }

  RegistryStore& store_;
  KeyHandle key_;
  HKEY keyRoot_ = 0;
  std::u16string keyPath_;
  std::vector<UndoStep> undo_;
};

}  // namespace

void ApplyRegText(const ParsedRegText& text, RegistryStore& store) {
  Applier applier(store);
  applier.Apply(text);
}

void LoadRegText(std::span<const std::uint8_t> bytes, RegistryStore& store) {
  ApplyRegText(ParseRegText(bytes), store);
}

void LoadRegTextFile(std::u16string_view fileName, RegistryStore& store) {
  const std::string bytes = ReadRegTextFile(fileName);
  try {
    LoadRegText(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                store);
  } catch (const ERegTextError& fault) {
    throw ERegTextError(fault.Line(), Format(u"Datei „%s“, %s", {fileName, fault.Message()}));
  }
}

}  // namespace brindel::regfile
