#pragma once

// Registry trees made to break a .reg text: key and value names with every character
// a text treats specially, names the ANSI code page lacks, data of every type and of
// every shape a value can have. Drawn from a fixed seed, so a failing tree is made
// again by its seed alone.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Text.h"
#include "registry/store/RegistryStore.h"
#include "support/Bytes.h"

namespace brindel::test {

struct HostileTreeShape {
  int keys = 12;         // keys made below the top, at any depth
  int valuesPerKey = 6;  // at most
  // Only what a REGEDIT4 text holds: names the ANSI code page has and line breaks in
  // names as CR LF pairs, texts of REG_EXPAND_SZ and REG_MULTI_SZ one byte per unit.
  bool regedit4 = false;
  bool unwritable = false;  // also names no .reg text can hold
};

class HostileTree {
 public:
  HostileTree(std::uint32_t seed, HostileTreeShape shape) : random_(seed), shape_(shape) {}

  // Fills the tree below root\top (made when missing).
  void Fill(registry::store::RegistryStore& store, registry::store::HKEY root,
            std::u16string_view top) {
    std::vector<std::u16string> keys = {std::u16string(top)};
    MakeValues(store, root, keys.front());
    for (int i = 0; i < shape_.keys; ++i) {
      const std::u16string& parent = keys[Below(keys.size())];
      std::u16string path = parent + u"\\" + KeyName();
      registry::store::HKEY key = 0;
      if (store.CreateKey(root, path, registry::store::KEY_ALL_ACCESS, key) != 0)
        continue;
      store.CloseKey(key);
      MakeValues(store, root, path);
      keys.push_back(std::move(path));
    }
  }

  // A value's bytes of the given type, in one of the shapes a value takes.
  Bytes Data(std::uint32_t type) {
    const bool textual = type == 1 || type == 2 || type == 7 || Below(4) == 0;
    if (!textual) {
      Bytes bytes(Length());
      for (auto& byte : bytes)
        byte = static_cast<std::uint8_t>(Below(256));
      return bytes;
    }
    const bool oneByteUnits = shape_.regedit4 && (type == 2 || type == 7);
    const auto text = [&] {
      std::u16string picked = Pick(kTexts);
      while (oneByteUnits &&
             std::any_of(picked.begin(), picked.end(), [](char16_t unit) { return unit > 0xFF; })) {
        picked = Pick(kTexts);
      }
      return picked;
    };
    std::u16string units = text();
    switch (Below(7)) {
      case 0:
        break;  // no NUL at all
      case 1:
        units += std::u16string(2, u'\0');  // two NULs
        break;
      case 2:
        units += std::u16string(1, u'\0') + text() + std::u16string(2, u'\0');  // a list
        break;
      default:
        units += u'\0';  // as the registry holds texts
    }
    Bytes bytes = Utf16Bytes(units, false);
    if (!oneByteUnits && Below(8) == 0)
      bytes.push_back(0x41);  // an odd last byte
    return bytes;
  }

  std::u16string KeyName() {
    std::u16string name = Pick(kKeyNames);
    if (!shape_.regedit4 && Below(3) == 0)
      name += Pick(kNonAnsi);
    if (shape_.unwritable && Below(6) == 0)
      name += Pick(kUnwritableKeyNames);
    if (Below(3) == 0)
      name += u" " + Pick(kKeyNames);
    return name.substr(0, registry::store::kMaxKeyNameLength);
  }

  std::u16string ValueName() {
    std::u16string name = Pick(kValueNames);
    while (shape_.regedit4 && LoneLineBreak(name))
      name = Pick(kValueNames);
    if (!shape_.regedit4 && Below(4) == 0)
      name += Pick(kNonAnsi);
    if (shape_.unwritable && Below(8) == 0)
      name += std::u16string(1, u'\0') + u"nach NUL";
    if (Below(3) == 0) {
      std::u16string more = Pick(kValueNames);
      if (!shape_.regedit4 || !LoneLineBreak(more))
        name += more;
    }
    return name;
  }

 private:
  void MakeValues(registry::store::RegistryStore& store, registry::store::HKEY root,
                  const std::u16string& path) {
    registry::store::HKEY key = 0;
    if (store.OpenKey(root, path, registry::store::KEY_ALL_ACCESS, key) != 0)
      return;
    const int count = static_cast<int>(Below(static_cast<std::size_t>(shape_.valuesPerKey) + 1));
    for (int i = 0; i < count; ++i) {
      const std::uint32_t type = kTypes[Below(std::size(kTypes))];
      const Bytes data = Data(type);
      store.SetValue(key, ValueName(), type, data);
    }
    store.CloseKey(key);
  }

  static bool LoneLineBreak(std::u16string_view name) {
    for (std::size_t i = 0; i < name.size(); ++i) {
      if (name[i] == u'\r' && i + 1 < name.size() && name[i + 1] == u'\n')
        ++i;
      else if (name[i] == u'\r' || name[i] == u'\n')
        return true;
    }
    return false;
  }

  std::size_t Below(std::size_t bound) {
    return std::uniform_int_distribution<std::size_t>(0, bound - 1)(random_);
  }

  template <std::size_t N>
  std::u16string Pick(const std::u16string_view (&pool)[N]) {
    return std::u16string(pool[Below(N)]);
  }

  std::size_t Length() {
    switch (Below(6)) {
      case 0:
        return 0;
      case 1:
        return 1 + Below(4);
      case 2:
        return 2000 + Below(3000);  // many continued lines
      default:
        return Below(300);
    }
  }

  static constexpr std::uint32_t kTypes[] = {0, 1, 1, 1, 2, 2,  3,  3,   4,           4,          5,
                                             6, 7, 7, 8, 9, 10, 11, 188, 0x12345678u, 0xFFFFFFFFu};
  // Characters that mean something in a .reg line, and look-alikes of its syntax.
  static constexpr std::u16string_view kKeyNames[] = {u"Sektion",
                                                      u"r",
                                                      u"n",
                                                      u"nx",
                                                      u"[klammer]",
                                                      u"]",
                                                      u"say \"hi\"",
                                                      u" vorn",
                                                      u"hinten ",
                                                      u"\t",
                                                      u";Kommentar",
                                                      u"@",
                                                      u"=",
                                                      u"-minus",
                                                      u"REGEDIT4",
                                                      u"hex:00",
                                                      u"M\u00FCll \u20AC",
                                                      u"9207f3e0a3b11019908b08002b2a56c2",
                                                      u"a\"b\"",
                                                      u"%TEMP%"};
  static constexpr std::u16string_view kValueNames[] = {u"",
                                                        u"v",
                                                        u"say \"hi\"",
                                                        u"back\\slash",
                                                        u"a\\\\b",
                                                        u"ende\\",
                                                        u"\"",
                                                        u"=",
                                                        u"@",
                                                        u"[x]",
                                                        u"zwei\r\nZeilen",
                                                        u"nur\rCR",
                                                        u"nur\nLF",
                                                        u"\n",
                                                        u"\\r\\n",
                                                        u"\\\r\n",
                                                        u"hex:",
                                                        u";c",
                                                        u" blank ",
                                                        u"\t",
                                                        u"01023d00",
                                                        u"Gr\u00FC\u00DFe"};
  // What the ANSI code page (Windows-1252) lacks: letters of other scripts, a
  // surrogate pair, a lone surrogate, a C1 control it has no byte for.
  static constexpr std::u16string_view kNonAnsi[] = {u"\u03A9", u"\u4E2D\u6587", u"\U0001F600",
                                                     u"\xD800", u"x\u0080y",     u"\u0100"};
  static constexpr std::u16string_view kUnwritableKeyNames[] = {u"a\r\nb", u"a\nb", u"a\rb",
                                                                std::u16string_view(u"a\0b", 3)};
  static constexpr std::u16string_view kTexts[] = {u"",
                                                   u"Outlook",
                                                   u"a\r\nb",
                                                   u"oben\nunten",
                                                   u"nur\rCR",
                                                   u"say \"hi\" \\o/",
                                                   u"%USERPROFILE%\\AppData",
                                                   u"Gr\u00FC\u00DFe \u20AC",
                                                   u"\u03A9mega",
                                                   u"\U0001F600",
                                                   u"\xDC00lone",
                                                   u"\u00FF\u0100",
                                                   u"x\u0080y",
                                                   u"\\r\\n",
                                                   u"end\\"};

  std::mt19937 random_;
  HostileTreeShape shape_;
};

// Whether the value read back from a .reg text is the registry's: the same type and
// bytes; a string that lacked its terminating NUL may come back with it, which the
// text format cannot tell apart.
inline bool SameReadBack(const registry::store::RegValue& live,
                         const registry::store::RegValue& file) {
  if (live.type != file.type)
    return false;
  if (live.data == file.data)
    return true;
  const auto& a = live.data;
  const auto& b = file.data;
  return live.type == registry::store::REG_SZ && a.size() % 2 == 0 && b.size() == a.size() + 2 &&
         std::equal(a.begin(), a.end(), b.begin()) && b[b.size() - 1] == 0 && b[b.size() - 2] == 0;
}

// Names as escapes, for messages.
inline std::string Shown(std::u16string_view text) {
  std::string out;
  for (const char16_t unit : text) {
    if (unit < 0x20 || (unit >= 0xD800 && unit <= 0xDFFF) || unit >= 0x7F) {
      char escape[12];
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
      out += escape;
    } else {
      out += static_cast<char>(unit);
    }
  }
  return out;
}

// Compares two trees key by key and value by value, names exactly as stored, values
// by SameReadBack; names the first difference.
inline ::testing::AssertionResult SameTree(registry::store::RegistryStore& live,
                                           registry::store::HKEY liveKey,
                                           registry::store::RegistryStore& file,
                                           registry::store::HKEY fileKey,
                                           const std::u16string& path) {
  using namespace registry::store;
  const auto values = [](RegistryStore& store, HKEY key) {
    std::vector<std::pair<std::u16string, RegValue>> all;
    for (std::uint32_t i = 0;; ++i) {
      std::pair<std::u16string, RegValue> value;
      if (store.EnumValue(key, i, value.first, &value.second) != ERROR_SUCCESS)
        return all;
      all.push_back(std::move(value));
    }
  };
  const auto subKeys = [](RegistryStore& store, HKEY key) {
    std::vector<std::u16string> all;
    for (std::uint32_t i = 0;; ++i) {
      std::u16string name;
      if (store.EnumKey(key, i, name) != ERROR_SUCCESS)
        return all;
      all.push_back(std::move(name));
    }
  };
  const auto a = values(live, liveKey);
  const auto b = values(file, fileKey);
  if (a.size() != b.size()) {
    return ::testing::AssertionFailure()
           << "[" << Shown(path) << "] has " << a.size() << " values, read back " << b.size();
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].first != b[i].first || !SameReadBack(a[i].second, b[i].second)) {
      return ::testing::AssertionFailure()
             << "[" << Shown(path) << "] value " << i << " \"" << Shown(a[i].first) << "\" type "
             << a[i].second.type << ", " << a[i].second.data.size() << " bytes; read back \""
             << Shown(b[i].first) << "\" type " << b[i].second.type << ", "
             << b[i].second.data.size() << " bytes";
    }
  }
  const auto keysA = subKeys(live, liveKey);
  const auto keysB = subKeys(file, fileKey);
  if (keysA != keysB) {
    return ::testing::AssertionFailure() << "[" << Shown(path) << "] has " << keysA.size()
                                         << " sub keys, read back " << keysB.size();
  }
  for (const std::u16string& name : keysA) {
    HKEY subA = 0;
    HKEY subB = 0;
    live.OpenKey(liveKey, name, KEY_READ, subA);
    file.OpenKey(fileKey, name, KEY_READ, subB);
    auto result = SameTree(live, subA, file, subB, path + u"\\" + name);
    live.CloseKey(subA);
    file.CloseKey(subB);
    if (!result)
      return result;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace brindel::test
