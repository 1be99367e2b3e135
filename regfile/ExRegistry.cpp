#include "regfile/ExRegistry.h"

#include <algorithm>
#include <array>
#include <limits>
#include <string>

#include "platform/Errors.h"
#include "platform/LastError.h"
#include "platform/Text.h"

namespace brindel::regfile {

using namespace registry::store;

namespace {

// The walk reads every value into one buffer, grown in these steps to the longest
// value data it meets, instead of one allocation per value.
constexpr std::size_t kWalkBufferStep = 65536;

// Value names may be as long as the registry allows; a shorter name buffer would
// silently leave long-named values out of a backup.
constexpr std::size_t kValueNameBuffer = kMaxValueNameLength + 1;

std::int32_t ClampedSize(std::size_t size) {
  return static_cast<std::int32_t>(
      std::min<std::size_t>(size, std::numeric_limits<std::int32_t>::max()));
}

// Closes a key the walk opened, however the visit ends.
class KeyCloser {
 public:
  KeyCloser(RegistryStore& store, HKEY key) : store_(store), key_(key) {}
  ~KeyCloser() { store_.CloseKey(key_); }
  KeyCloser(const KeyCloser&) = delete;
  KeyCloser& operator=(const KeyCloser&) = delete;

 private:
  RegistryStore& store_;
  HKEY key_;
};

}  // namespace

// The search position is released before the key object part.
TExRegistry::~TExRegistry() {
  fSearchStack.clear();
}

void TExRegistry::SetRoot(HKEY root, std::u16string_view server) {
  fSaveServer = std::u16string(server);
  UseRoot(root);
  fLocalRoot = root;
  if (server.empty())
    return;
  if (!Connect(u"\\\\" + std::u16string(server))) {
    // The registry returns its result instead of setting the thread's last error.
    platform::SetLastErrorCode(LastError());
    throw platform::Exception(
        platform::Format(u"Unable to connect to the registry on %s (%d)",
                         {server, platform::Decimal(platform::LastErrorCode())}));
  }
}

class TExRegistry::TProcVisitor final : public TWalkVisitor {
 public:
  explicit TProcVisitor(const TWalkProc& walkProc) : fWalkProc(walkProc) {}
  void Value(std::u16string_view keyPath, std::u16string_view name, std::uint32_t dataType,
             const std::uint8_t* data, std::int32_t DataLen) override {
    fWalkProc(keyPath, name.substr(0, name.find(u'\0')), dataType, data, DataLen);
  }
  void KeyWithoutValues(std::u16string_view keyPath) override {
    fWalkProc(keyPath, std::u16string_view(), REG_NONE, nullptr, 0);
  }
  bool EntersKey(std::u16string_view, std::u16string_view) override { return true; }
  void UnreadableKey(std::u16string_view) override {}
  void UnreadableValue(std::u16string_view, std::u16string_view) override {}

 private:
  const TWalkProc& fWalkProc;
};

void TExRegistry::Walk(const TWalkProc& walkProc, bool valuesRequired) {
  if (!walkProc)
    return;
  TProcVisitor visitor(walkProc);
  WalkState state{&visitor, valuesRequired, {}, CurrentPath()};
  state.value.data.reserve(kWalkBufferStep);
  VisitKey(state, RootKey(), CurrentPath());
}

void TExRegistry::VisitKey(WalkState& state, HKEY parent, std::u16string_view subKey) {
  RegistryStore& store = Store();
  TWalkVisitor& visitor = *state.visitor;
  HKEY key = 0;
  // The walk opens keys of its own, read-only and in the native view; the object's
  // open key stays as it is. A sub key is opened below its parent's handle, which
  // names the same key as its path from the root without looking that path up again.
  if (store.OpenKey(parent, subKey, KEY_READ, key) != ERROR_SUCCESS) {
    visitor.UnreadableKey(state.path);
    return;
  }
  KeyCloser closer(store, key);

  KeyInfo info;
  const LSTATUS status = store.QueryInfoKey(key, info);
  if (status == ERROR_ACCESS_DENIED) {
    visitor.UnreadableKey(state.path);
    return;
  }
  if (status != ERROR_SUCCESS)
    throw EExRegistryException::Create(status, u"Unable to query key info");

  if (info.values > 0) {
    std::vector<std::uint8_t>& buffer = state.value.data;
    if (info.maxValueLen > buffer.capacity()) {
      buffer.reserve((info.maxValueLen / kWalkBufferStep + 1) * kWalkBufferStep);
    }
    std::u16string name;
    name.reserve(kValueNameBuffer);
    for (std::uint32_t i = 0; i < info.values; ++i) {
      try {
        LSTATUS result = store.EnumValue(key, i, name, &state.value);
        // What the enumeration's fixed buffers could not take fails as it does on
        // Windows; only a value that changed since the key information was read can.
        if (result == ERROR_SUCCESS &&
            (name.size() >= kValueNameBuffer ||
             (state.valuesRequired && buffer.size() > info.maxValueLen))) {
          result = ERROR_MORE_DATA;
        }
        if (result != ERROR_SUCCESS) {
          throw EExRegistryException::Create(static_cast<std::uint32_t>(result),
                                             u"Unable to get value info");
        }
        visitor.Value(state.path, name, state.value.type, buffer.data(),
                      ClampedSize(buffer.size()));
      } catch (const platform::Exception&) {
        // A value that cannot be read or handled is left out; the walk goes on.
        visitor.UnreadableValue(state.path, name);
      }
    }
  } else {
    visitor.KeyWithoutValues(state.path);
  }

  std::u16string name;
  for (std::uint32_t i = 0; i < info.subKeys; ++i) {
    if (store.EnumKey(key, i, name) != ERROR_SUCCESS)
      continue;
    const std::size_t length = state.path.size();
    if (!state.path.empty())
      state.path += u'\\';
    state.path += name;
    if (visitor.EntersKey(state.path, name))
      VisitKey(state, key, name);
    state.path.resize(length);
  }
}

void TExRegistry::GetValuesSize(std::int32_t& size) {
  fValuesSize = 0;
  Walk(
      [this](std::u16string_view, std::u16string_view, std::uint32_t, const std::uint8_t*,
             std::int32_t DataLen) {
        // Saturates instead of wrapping past the largest 32-bit total.
        const std::int64_t total = std::int64_t{fValuesSize} + DataLen;
        fValuesSize = static_cast<std::int32_t>(
            std::min<std::int64_t>(total, std::numeric_limits<std::int32_t>::max()));
      },
      false);
  if (fValuesSize == 0)
    fValuesSize = -1;
  size = fValuesSize;
}

}  // namespace brindel::regfile
