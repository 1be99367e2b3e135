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

void TExRegistry::Walk(const TWalkProc& walkProc, bool valuesRequired) {
  if (!walkProc)
    return;
  WalkState state{&walkProc, valuesRequired, {}, CurrentPath()};
  state.value.data.reserve(kWalkBufferStep);
  VisitKey(state, RootKey(), CurrentPath());
}

void TExRegistry::VisitKey(WalkState& state, HKEY parent, std::u16string_view subKey) {
  RegistryStore& store = Store();
  const bool exporting = state.walkProc == nullptr;
  HKEY key = 0;
  // The walk opens keys of its own, read-only and in the native view; the object's
  // open key stays as it is. A sub key is opened below its parent's handle, which
  // names the same key as its path from the root without looking that path up again.
  if (store.OpenKey(parent, subKey, KEY_READ, key) != ERROR_SUCCESS) {
    if (exporting)
      LeaveOut(TLeftOut::UnreadableKey, state.path, {});
    return;
  }
  KeyCloser closer(store, key);

  KeyInfo info;
  const LSTATUS status = store.QueryInfoKey(key, info);
  if (status == ERROR_ACCESS_DENIED) {
    if (exporting)
      LeaveOut(TLeftOut::UnreadableKey, state.path, {});
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
        if (exporting) {
          // The export sees a name whole, NULs included, so that it writes no value
          // under a shorter name than its own.
          ExportValue(state.path, name, state.value.type, buffer.data(), ClampedSize(buffer.size()),
                      false);
          continue;
        }
        std::u16string_view valueName = name;
        valueName = valueName.substr(0, valueName.find(u'\0'));
        (*state.walkProc)(state.path, valueName, state.value.type, buffer.data(),
                          ClampedSize(buffer.size()));
      } catch (const platform::Exception&) {
        // A value that cannot be read or handled is left out; the walk goes on.
        if (exporting)
          LeaveOut(TLeftOut::UnreadableValue, state.path, name);
      }
    }
  } else if (exporting) {
    ExportValue(state.path, std::u16string_view(), REG_NONE, nullptr, 0, true);
  } else {
    (*state.walkProc)(state.path, std::u16string_view(), REG_NONE, nullptr, 0);
  }

  std::u16string name;
  for (std::uint32_t i = 0; i < info.subKeys; ++i) {
    if (store.EnumKey(key, i, name) != ERROR_SUCCESS)
      continue;
    const std::size_t length = state.path.size();
    if (!state.path.empty())
      state.path += u'\\';
    state.path += name;
    // A key line has no way of writing some characters: such a key is not written
    // under another name, it is left out and said so.
    if (exporting && !RegTextHoldsKeyName(name))
      LeaveOut(TLeftOut::KeyName, state.path, name);
    else
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
