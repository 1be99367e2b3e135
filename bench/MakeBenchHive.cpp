// Writes a user hive of generated Outlook profiles for the export benchmarks, cell by
// cell, without hivex or the store: adding thousands of keys one by one through a
// library costs minutes and leaves freed sub key lists behind, while this takes
// seconds and gives a compact hive like one Windows has written.
//
//   make_bench_hive PROFILES SECTIONS FILE
//
// The hive holds Software\Microsoft\Office\16.0\Outlook\Profiles with PROFILES profiles
// ("Profile 00", ...) of SECTIONS sections each (32 hex digits, as Outlook names them),
// every section with 6 to 18 values: REG_BINARY of 8 bytes to 4 KB, REG_DWORD, REG_SZ
// (some characters beyond ASCII, some backslashes and quotation marks), REG_MULTI_SZ,
// REG_EXPAND_SZ and REG_QWORD. Everything, timestamps included, follows from the two
// numbers, so the same arguments give the same bytes.

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

constexpr std::uint32_t kNoCell = 0xFFFFFFFFu;
constexpr std::size_t kBaseBlockSize = 0x1000;
constexpr std::size_t kBinAlignment = 0x1000;
constexpr std::size_t kBinHeaderSize = 0x20;
// A sub key list takes at most this many entries; more go into lists under an index.
constexpr std::size_t kMaxListEntries = 512;
// 2024-01-01 as FILETIME: every key carries the same time, so the file is the same
// on every run.
constexpr std::uint64_t kFileTime = 133485408000000000ull;

constexpr std::uint32_t REG_SZ = 1;
constexpr std::uint32_t REG_EXPAND_SZ = 2;
constexpr std::uint32_t REG_BINARY = 3;
constexpr std::uint32_t REG_DWORD = 4;
constexpr std::uint32_t REG_MULTI_SZ = 7;
constexpr std::uint32_t REG_QWORD = 11;

// splitmix64: the same numbers from every compiler and library, unlike the
// distributions of <random>.
class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number from low to high, both included.
  std::uint32_t Between(std::uint32_t low, std::uint32_t high) {
    return low + static_cast<std::uint32_t>(Next() % (high - low + 1));
  }

 private:
  std::uint64_t state_;
};

std::size_t RoundUp(std::size_t size, std::size_t step) {
  return (size + step - 1) / step * step;
}

char16_t Upper(char16_t c) {
  if ((c >= u'a' && c <= u'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
    return static_cast<char16_t>(c - 0x20);
  return c;
}

struct Value {
  std::u16string name;
  std::uint32_t type = 0;
  std::vector<std::uint8_t> data;
};

// The hive bins as they grow: cells are appended to the current bin, and a cell that
// does not fit starts a new bin, the rest of the old one becoming a free cell.
class HiveImage {
 public:
  HiveImage() {
    OpenBin(0);
    skCell_ = WriteSecurity();
  }

  std::uint32_t AddKey(std::u16string_view name, std::uint32_t parent, bool root) {
    const std::uint32_t cell = Alloc(0x4C + name.size());
    Put16(cell + 4, 'n' | 'k' << 8);
    Put16(cell + 6, root ? 0x2C : 0x20);  // hive entry and no delete for the root; ASCII name
    Put64(cell + 8, kFileTime);
    Put32(cell + 4 + 0x10, parent);
    Put32(cell + 4 + 0x1C, kNoCell);
    Put32(cell + 4 + 0x20, kNoCell);
    Put32(cell + 4 + 0x28, kNoCell);
    Put32(cell + 4 + 0x2C, skCell_);
    Put32(cell + 4 + 0x30, kNoCell);
    Put16(cell + 4 + 0x48, static_cast<std::uint16_t>(name.size()));
    for (std::size_t i = 0; i < name.size(); ++i)
      bins_[cell + 4 + 0x4C + i] = static_cast<std::uint8_t>(name[i]);
    ++keys_;
    return cell;
  }

  void SetValues(std::uint32_t key, const std::vector<Value>& values) {
    std::vector<std::uint32_t> cells;
    std::size_t longestName = 0;
    std::size_t longestData = 0;
    for (const Value& value : values) {
      std::uint32_t dataCell = 0;
      const std::size_t size = value.data.size();
      if (size > 4) {
        dataCell = Alloc(size);
        std::copy(value.data.begin(), value.data.end(), bins_.begin() + dataCell + 4);
      }
      const std::uint32_t vk = Alloc(0x14 + value.name.size());
      Put16(vk + 4, 'v' | 'k' << 8);
      Put16(vk + 6, static_cast<std::uint16_t>(value.name.size()));
      if (size <= 4) {
        // Small data stand in the offset field itself.
        Put32(vk + 8, static_cast<std::uint32_t>(size) | 0x80000000u);
        for (std::size_t i = 0; i < size; ++i)
          bins_[vk + 12 + i] = value.data[i];
      } else {
        Put32(vk + 8, static_cast<std::uint32_t>(size));
        Put32(vk + 12, dataCell);
      }
      Put32(vk + 16, value.type);
      Put16(vk + 20, 0x0001);  // ASCII name
      for (std::size_t i = 0; i < value.name.size(); ++i)
        bins_[vk + 24 + i] = static_cast<std::uint8_t>(value.name[i]);
      cells.push_back(vk);
      longestName = std::max(longestName, 2 * value.name.size());
      longestData = std::max(longestData, size);
    }
    const std::uint32_t list = Alloc(4 * cells.size());
    for (std::size_t i = 0; i < cells.size(); ++i)
      Put32(list + 4 + 4 * i, cells[i]);
    Put32(key + 4 + 0x24, static_cast<std::uint32_t>(cells.size()));
    Put32(key + 4 + 0x28, list);
    Put32(key + 4 + 0x3C, static_cast<std::uint32_t>(longestName));
    Put32(key + 4 + 0x40, static_cast<std::uint32_t>(longestData));
  }

  // Sub keys in the order Windows keeps them, in "lh" lists with Windows' name hash.
  void SetSubKeys(std::uint32_t key, std::vector<std::pair<std::u16string, std::uint32_t>> keys) {
    const auto upper = [](std::u16string name) {
      for (char16_t& c : name)
        c = Upper(c);
      return name;
    };
    std::sort(keys.begin(), keys.end(),
              [&](const auto& a, const auto& b) { return upper(a.first) < upper(b.first); });
    std::vector<std::uint32_t> lists;
    std::size_t longestName = 0;
    for (std::size_t start = 0; start < keys.size(); start += kMaxListEntries) {
      const std::size_t count = std::min(kMaxListEntries, keys.size() - start);
      const std::uint32_t list = Alloc(4 + 8 * count);
      Put16(list + 4, 'l' | 'h' << 8);
      Put16(list + 6, static_cast<std::uint16_t>(count));
      for (std::size_t i = 0; i < count; ++i) {
        const auto& [name, cell] = keys[start + i];
        std::uint32_t hash = 0;
        for (char16_t c : name)
          hash = hash * 37 + Upper(c);
        Put32(list + 8 + 8 * i, cell);
        Put32(list + 12 + 8 * i, hash);
        longestName = std::max(longestName, 2 * name.size());
      }
      lists.push_back(list);
    }
    std::uint32_t top = lists.empty() ? kNoCell : lists.front();
    if (lists.size() > 1) {
      top = Alloc(4 + 4 * lists.size());
      Put16(top + 4, 'r' | 'i' << 8);
      Put16(top + 6, static_cast<std::uint16_t>(lists.size()));
      for (std::size_t i = 0; i < lists.size(); ++i)
        Put32(top + 8 + 4 * i, lists[i]);
    }
    Put32(key + 4 + 0x14, static_cast<std::uint32_t>(keys.size()));
    Put32(key + 4 + 0x1C, top);
    Put32(key + 4 + 0x34, static_cast<std::uint32_t>(longestName));
  }

  void Save(const std::string& file, std::uint32_t root) {
    CloseBin();
    Put32(skCell_ + 4 + 12, keys_);  // every key refers to the one security cell
    std::vector<std::uint8_t> base(kBaseBlockSize, 0);
    const auto put32 = [&](std::size_t at, std::uint32_t v) {
      for (int i = 0; i < 4; ++i)
        base[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
    };
    base[0] = 'r', base[1] = 'e', base[2] = 'g', base[3] = 'f';
    put32(0x04, 1);  // both sequence numbers equal: closed cleanly
    put32(0x08, 1);
    put32(0x0C, static_cast<std::uint32_t>(kFileTime));
    put32(0x10, static_cast<std::uint32_t>(kFileTime >> 32));
    put32(0x14, 1);  // format 1.5
    put32(0x18, 5);
    put32(0x1C, 0);  // primary file
    put32(0x20, 1);
    put32(0x24, root);
    put32(0x28, static_cast<std::uint32_t>(bins_.size()));
    put32(0x2C, 1);
    const std::u16string_view name = u"\\??\\C:\\Users\\Bench\\ntuser.dat";
    for (std::size_t i = 0; i < name.size() && 2 * i + 1 < 64; ++i)
      base[0x30 + 2 * i] = static_cast<std::uint8_t>(name[i]);
    std::uint32_t sum = 0;
    for (std::size_t at = 0; at < 0x1FC; at += 4)
      sum ^= static_cast<std::uint32_t>(base[at] | base[at + 1] << 8 | base[at + 2] << 16 |
                                        static_cast<std::uint32_t>(base[at + 3]) << 24);
    if (sum == 0)
      sum = 1;
    if (sum == 0xFFFFFFFFu)
      sum = 0xFFFFFFFEu;
    put32(0x1FC, sum);

    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(base.data()),
              static_cast<std::streamsize>(base.size()));
    out.write(reinterpret_cast<const char*>(bins_.data()),
              static_cast<std::streamsize>(bins_.size()));
    out.close();
    if (!out)
      throw std::runtime_error("cannot write " + file);
  }

 private:
  // A new allocated cell with room for `payload` bytes after its size field.
  std::uint32_t Alloc(std::size_t payload) {
    const std::size_t size = RoundUp(payload + 4, 8);
    if (bins_.size() + size > binEnd_) {
      CloseBin();
      OpenBin(size);
    }
    const auto cell = static_cast<std::uint32_t>(bins_.size());
    bins_.resize(bins_.size() + size, 0);
    Put32(cell, static_cast<std::uint32_t>(-static_cast<std::int32_t>(size)));
    return cell;
  }

  void OpenBin(std::size_t cellSize) {
    const std::size_t start = bins_.size();
    const std::size_t size =
        RoundUp(std::max<std::size_t>(cellSize + kBinHeaderSize, 1), kBinAlignment);
    binEnd_ = start + size;
    bins_.resize(start + kBinHeaderSize, 0);
    bins_[start] = 'h', bins_[start + 1] = 'b', bins_[start + 2] = 'i', bins_[start + 3] = 'n';
    Put32(start + 4, static_cast<std::uint32_t>(start));
    Put32(start + 8, static_cast<std::uint32_t>(size));
    Put64(start + 0x14, kFileTime);
  }

  // The rest of the bin is one free cell.
  void CloseBin() {
    const std::size_t rest = binEnd_ - bins_.size();
    if (rest == 0)
      return;
    const std::size_t cell = bins_.size();
    bins_.resize(binEnd_, 0);
    Put32(cell, static_cast<std::uint32_t>(rest));
  }

  // Owner Administrators, group SYSTEM; SYSTEM and Administrators may do everything,
  // Users may read; sub keys inherit it.
  std::uint32_t WriteSecurity() {
    std::vector<std::uint8_t> sd = {1, 0, 0x04, 0x80};  // self-relative, DACL present
    const auto add32 = [](std::vector<std::uint8_t>& out, std::uint32_t v) {
      for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
    };
    const auto sid = [&](std::vector<std::uint8_t>& out, std::vector<std::uint32_t> subs) {
      out.insert(out.end(), {1, static_cast<std::uint8_t>(subs.size()), 0, 0, 0, 0, 0, 5});
      for (std::uint32_t s : subs)
        add32(out, s);
    };
    std::vector<std::uint8_t> aces;
    const auto ace = [&](std::uint32_t mask, std::vector<std::uint32_t> subs) {
      std::vector<std::uint8_t> sidBytes;
      sid(sidBytes, std::move(subs));
      const auto size = static_cast<std::uint8_t>(8 + sidBytes.size());
      aces.insert(aces.end(), {0, 0x02, size, 0});
      add32(aces, mask);
      aces.insert(aces.end(), sidBytes.begin(), sidBytes.end());
    };
    ace(0xF003F, {18});
    ace(0xF003F, {32, 544});
    ace(0x20019, {32, 545});
    std::vector<std::uint8_t> acl = {2, 0, static_cast<std::uint8_t>(8 + aces.size()), 0, 3, 0,
                                     0, 0};
    acl.insert(acl.end(), aces.begin(), aces.end());
    std::vector<std::uint8_t> owner;
    sid(owner, {32, 544});
    const auto daclAt = static_cast<std::uint32_t>(20);
    const auto ownerAt = static_cast<std::uint32_t>(daclAt + acl.size());
    const auto groupAt = static_cast<std::uint32_t>(ownerAt + owner.size());
    add32(sd, ownerAt);
    add32(sd, groupAt);
    add32(sd, 0);
    add32(sd, daclAt);
    sd.insert(sd.end(), acl.begin(), acl.end());
    sd.insert(sd.end(), owner.begin(), owner.end());
    sid(sd, {18});

    const std::uint32_t cell = Alloc(20 + sd.size());
    Put16(cell + 4, 's' | 'k' << 8);
    Put32(cell + 8, cell);  // the only one: its own neighbour both ways
    Put32(cell + 12, cell);
    Put32(cell + 20, static_cast<std::uint32_t>(sd.size()));
    std::copy(sd.begin(), sd.end(), bins_.begin() + cell + 24);
    return cell;
  }

  void Put16(std::size_t at, std::uint32_t v) {
    bins_[at] = static_cast<std::uint8_t>(v);
    bins_[at + 1] = static_cast<std::uint8_t>(v >> 8);
  }
  void Put32(std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
      bins_[at + i] = static_cast<std::uint8_t>(v >> (8 * i));
  }
  void Put64(std::size_t at, std::uint64_t v) {
    Put32(at, static_cast<std::uint32_t>(v));
    Put32(at + 4, static_cast<std::uint32_t>(v >> 32));
  }

  std::vector<std::uint8_t> bins_;
  std::size_t binEnd_ = 0;
  std::uint32_t skCell_ = 0;
  std::uint32_t keys_ = 0;
};

std::vector<std::uint8_t> Utf16(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::u16string Hex(std::uint64_t number, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text(static_cast<std::size_t>(digits), u'0');
  for (int i = digits - 1; i >= 0; --i, number >>= 4)
    text[static_cast<std::size_t>(i)] = kDigits[number & 0x0F];
  return text;
}

std::u16string Words(Random& random, std::size_t length) {
  // Mostly letters and blanks; umlauts, the euro sign, a backslash and a quotation
  // mark now and then, as names and paths in profiles have them.
  static constexpr std::u16string_view kLetters =
      u"abcdefghijklmnopqrstuvwxyz    abcdefghijklmnopqrstuvwxyzABCDEFGHIJ0123456789"
      u"\u00E4\u00F6\u00FC\u00DF\u00E9\u20AC\\\"";
  std::u16string text;
  for (std::size_t i = 0; i < length; ++i)
    text += kLetters[random.Next() % kLetters.size()];
  return text;
}

Value MakeValue(Random& random, std::size_t index) {
  Value value;
  // Property tags: a per-section property number and a type part, unique in the key.
  value.name = Hex(0x3001 + 16 * index + random.Between(0, 15), 4) + Hex(random.Next(), 4);
  const std::uint32_t draw = random.Between(0, 99);
  if (draw < 55) {
    value.type = REG_BINARY;
    const std::uint32_t size_class = random.Between(0, 99);
    std::size_t size = 0;
    if (size_class < 60)
      size = random.Between(8, 64);
    else if (size_class < 90)
      size = random.Between(65, 512);
    else
      size = random.Between(513, 4000);
    value.data.resize(size);
    for (auto& byte : value.data)
      byte = static_cast<std::uint8_t>(random.Next());
  } else if (draw < 70) {
    value.type = REG_DWORD;
    const auto number = static_cast<std::uint32_t>(random.Next());
    for (int i = 0; i < 4; ++i)
      value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  } else if (draw < 85) {
    value.type = REG_SZ;
    value.data = Utf16(Words(random, random.Between(8, 80)));
  } else if (draw < 90) {
    value.type = REG_MULTI_SZ;
    std::u16string strings;
    const std::uint32_t count = random.Between(2, 4);
    for (std::uint32_t i = 0; i < count; ++i)
      strings += Words(random, random.Between(4, 24)) + u'\0';
    value.data = Utf16(strings);
  } else if (draw < 95) {
    value.type = REG_EXPAND_SZ;
    value.data = Utf16(u"%USERPROFILE%\\AppData\\Local\\Microsoft\\Outlook\\" +
                       Words(random, random.Between(8, 24)) + u".ost");
  } else {
    value.type = REG_QWORD;
    const std::uint64_t number = random.Next();
    for (int i = 0; i < 8; ++i)
      value.data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  }
  return value;
}

// The keys from the root down to Profiles, each the only sub key of the one above.
constexpr std::u16string_view kPath[] = {u"Software", u"Microsoft", u"Office",
                                         u"16.0",     u"Outlook",   u"Profiles"};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: make_bench_hive PROFILES SECTIONS FILE\n";
    return 2;
  }
  const unsigned long profiles = std::stoul(argv[1]);
  const unsigned long sections = std::stoul(argv[2]);
  if (profiles == 0 || profiles > 100 || sections == 0 || sections > 100000) {
    std::cerr << "make_bench_hive: 1 to 100 profiles of 1 to 100000 sections\n";
    return 2;
  }
  Random random(profiles * 1000003ull + sections);
  HiveImage image;
  const std::uint32_t root = image.AddKey(u"ROOT", 0, true);
  std::uint32_t parent = root;
  std::uint32_t outlook = 0;
  for (std::u16string_view name : kPath) {
    const std::uint32_t key = image.AddKey(name, parent, false);
    image.SetSubKeys(parent, {{std::u16string(name), key}});
    if (name == u"Outlook")
      outlook = key;
    parent = key;
  }
  image.SetValues(outlook, {{u"DefaultProfile", REG_SZ, Utf16(u"Profile 00")}});

  std::uint64_t values = 0;
  std::vector<std::pair<std::u16string, std::uint32_t>> profileKeys;
  for (unsigned long p = 0; p < profiles; ++p) {
    std::u16string name = u"Profile " + Hex(p, 2);
    const std::uint32_t profile = image.AddKey(name, parent, false);
    profileKeys.emplace_back(std::move(name), profile);
    std::vector<std::pair<std::u16string, std::uint32_t>> sectionKeys;
    for (unsigned long s = 0; s < sections; ++s) {
      std::u16string id = Hex(random.Next(), 16) + Hex(random.Next(), 16);
      const std::uint32_t section = image.AddKey(id, profile, false);
      std::vector<Value> list;
      const std::uint32_t count = random.Between(6, 18);
      for (std::uint32_t v = 0; v < count; ++v)
        list.push_back(MakeValue(random, v));
      image.SetValues(section, list);
      values += count;
      sectionKeys.emplace_back(std::move(id), section);
    }
    image.SetSubKeys(profile, std::move(sectionKeys));
  }
  image.SetSubKeys(parent, std::move(profileKeys));
  image.Save(argv[3], root);
  std::cout << argv[3] << ": " << profiles << " profiles, " << profiles * sections << " sections, "
            << values << " values\n";
  return 0;
}
