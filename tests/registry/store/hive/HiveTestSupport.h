#pragma once

// Helpers for the tests that work on real hive files: a folder of its own per test,
// whole-file reads, a reader of the raw records that shares no code with the store,
// and the independent readers that check what the store wrote.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "platform/Environment.h"
#include "platform/Text.h"
#include "support/Files.h"

namespace brindel::registry::store::testing {

// A new folder under the system's temporary folder, removed with everything in it.
class TempFolder {
 public:
  explicit TempFolder(const std::string& prefix = "brindel-hive-") {
    std::random_device seed;
    std::error_code error;
    const auto base = std::filesystem::temp_directory_path(error);
    for (int attempt = 0; attempt < 100 && path_.empty(); ++attempt) {
      const auto candidate = base / (prefix + std::to_string(seed()));
      if (std::filesystem::create_directory(candidate, error))
        path_ = candidate;
    }
  }
  ~TempFolder() {
    std::error_code ignored;
    if (!path_.empty())
      std::filesystem::remove_all(path_, ignored);
  }
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  const std::filesystem::path& Path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

  // Every name in the folder, to see that no temporary file was left behind.
  std::vector<std::string> Names() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(path_)) {
      names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
  }

 private:
  std::filesystem::path path_;
};

inline std::vector<std::uint8_t> ReadBytes(const std::filesystem::path& file) {
  return brindel::test::ReadFileBytes(file);
}

inline void WriteBytes(const std::filesystem::path& file, const std::vector<std::uint8_t>& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// Just enough of the regf format to walk sub key lists and values and to change
// records in place, for tests that check what the store wrote and for tests that
// spoil a hive on purpose. Offsets here are file offsets of a cell's size field;
// offsets stored in the file count from the first bin, 0x1000 into the file.
class RawHive {
 public:
  struct Listed {
    std::u16string name;
    char kind = 0;  // the list's second letter: 'f', 'h' or 'i'
    std::uint32_t hash = 0;
  };

  explicit RawHive(const std::filesystem::path& file) : bytes_(ReadBytes(file)) {}
  void Save(const std::filesystem::path& file) const { WriteBytes(file, bytes_); }
  const std::vector<std::uint8_t>& Data() const { return bytes_; }

  static constexpr std::size_t kBins = 0x1000;
  // A field of a record, counted from its signature as the format describes them.
  static std::size_t Field(std::size_t cell, std::size_t field) { return cell + 4 + field; }

  std::size_t Root() const { return kBins + U32(0x24); }

  std::u16string Name(std::size_t nk) const {
    const std::size_t length = U16(Field(nk, 0x48));
    const bool compressed = (U16(Field(nk, 0x02)) & 0x20) != 0;
    return Text(Field(nk, 0x4C), length, compressed);
  }

  std::uint64_t LastWrite(std::size_t nk) const {
    return U32(nk + 8) | static_cast<std::uint64_t>(U32(nk + 12)) << 32;
  }

  // The sub keys in list order, with the cell of each.
  std::vector<std::pair<Listed, std::size_t>> SubKeys(std::size_t nk) const {
    std::vector<std::pair<Listed, std::size_t>> keys;
    if (U32(Field(nk, 0x14)) != 0)
      ReadList(kBins + U32(Field(nk, 0x1C)), keys);
    return keys;
  }

  // The key at a path below the root, found in the lists as stored; 0 when not there.
  std::size_t Find(std::initializer_list<std::u16string_view> path) const {
    std::size_t nk = Root();
    for (auto part : path) {
      std::size_t found = 0;
      for (const auto& [listed, cell] : SubKeys(nk)) {
        if (listed.name == part)
          found = cell;
      }
      if (found == 0)
        return 0;
      nk = found;
    }
    return nk;
  }

  std::vector<std::u16string> Names(std::initializer_list<std::u16string_view> path) const {
    std::vector<std::u16string> names;
    for (const auto& [listed, cell] : SubKeys(Find(path)))
      names.push_back(listed.name);
    return names;
  }

  // The vk cells of a key in stored order.
  std::vector<std::size_t> Values(std::size_t nk) const {
    std::vector<std::size_t> values;
    const std::size_t list = kBins + U32(Field(nk, 0x28));
    for (std::size_t i = 0; i < U32(Field(nk, 0x24)); ++i)
      values.push_back(kBins + U32(list + 4 + 4 * i));
    return values;
  }

  std::size_t Value(std::size_t nk, std::u16string_view name) const {
    for (std::size_t vk : Values(nk)) {
      const bool compressed = (U16(Field(vk, 0x10)) & 1) != 0;
      if (Text(Field(vk, 0x14), U16(Field(vk, 0x02)), compressed) == name)
        return vk;
    }
    return 0;
  }

  // The bytes of a used cell's data, without its size field.
  std::vector<std::uint8_t> CellData(std::size_t cell) const {
    const std::uint32_t size = 0u - U32(cell);
    return {bytes_.begin() + static_cast<std::ptrdiff_t>(cell + 4),
            bytes_.begin() + static_cast<std::ptrdiff_t>(cell + size)};
  }

  std::uint32_t U32(std::size_t at) const {
    return bytes_.at(at) | bytes_.at(at + 1) << 8 | bytes_.at(at + 2) << 16 |
           static_cast<std::uint32_t>(bytes_.at(at + 3)) << 24;
  }
  std::uint16_t U16(std::size_t at) const {
    return static_cast<std::uint16_t>(bytes_.at(at) | bytes_.at(at + 1) << 8);
  }
  void Set32(std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
      bytes_.at(at + i) = static_cast<std::uint8_t>(value >> (8 * i));
  }
  void Set16(std::size_t at, std::uint16_t value) {
    bytes_.at(at) = static_cast<std::uint8_t>(value);
    bytes_.at(at + 1) = static_cast<std::uint8_t>(value >> 8);
  }

 private:
  std::u16string Text(std::size_t at, std::size_t length, bool compressed) const {
    std::u16string text;
    for (std::size_t i = 0; i < length; i += compressed ? 1 : 2)
      text += compressed ? static_cast<char16_t>(bytes_.at(at + i))
                         : static_cast<char16_t>(U16(at + i));
    return text;
  }

  void ReadList(std::size_t list, std::vector<std::pair<Listed, std::size_t>>& keys) const {
    const char first = static_cast<char>(bytes_.at(list + 4));
    const char kind = static_cast<char>(bytes_.at(list + 5));
    const std::size_t count = U16(list + 6);
    for (std::size_t i = 0; i < count; ++i) {
      if (first == 'r') {
        ReadList(kBins + U32(list + 8 + 4 * i), keys);
        continue;
      }
      const std::size_t entry = list + 8 + (kind == 'i' ? 4 : 8) * i;
      const std::size_t cell = kBins + U32(entry);
      Listed listed{Name(cell), kind, kind == 'i' ? 0 : U32(entry + 4)};
      keys.emplace_back(std::move(listed), cell);
    }
  }

  std::vector<std::uint8_t> bytes_;
};

struct ToolResult {
  int exitCode = -1;
  std::string output;  // standard output and standard error
};

// Runs an independent reader (a Linux program) on hive files named with Quoted. CI
// installs the readers (libwin-hivex-perl, libregf-utils), so a missing one is a
// failure, not a reason to skip. Under Wine the Windows tests run them through the
// shell of the system below; on Windows itself there is no reader to ask, and the
// check fails.
ToolResult RunTool(const std::string& name, const std::string& arguments);
// A file as an argument of RunTool: quoted for the shell, and under Wine as the Linux
// programs name it.
std::string Quoted(const std::filesystem::path& file);

// What a program run printed and how it ended.
struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};
// Runs a program with arguments in UTF-8 (no shell), standard input closed.
RunResult RunProgram(const std::string& program, const std::vector<std::string>& args);

#ifdef _WIN32
// The file as the Linux programs under Wine name it; empty when there is no Wine.
std::string UnixPath(const std::filesystem::path& file);
// Runs a program of the system below Wine, a Linux program named by its Linux path,
// with arguments in UTF-8 (files among them as UnixPath gives them), as RunProgram
// runs a Windows one.
RunResult RunUnixProgram(const std::string& program, const std::vector<std::string>& args);

// A file held as Windows holds a hive it has loaded: open for reading and writing,
// and no one else may open it at all.
class HeldWithoutSharing {
 public:
  explicit HeldWithoutSharing(const std::filesystem::path& file);
  ~HeldWithoutSharing();
  HeldWithoutSharing(const HeldWithoutSharing&) = delete;
  HeldWithoutSharing& operator=(const HeldWithoutSharing&) = delete;
  bool Held() const { return handle_ != nullptr; }

 private:
  void* handle_ = nullptr;
};
#endif

// The exit status of a process that was killed: 128 + SIGKILL, as a shell reports it;
// on Windows the status that KillThisProcess gives.
inline constexpr int kKilled = 137;

// Ends this process at once, as a killed run ends: nothing is closed or written.
[[noreturn]] void KillThisProcess();

// Starts this test program again as a child process that runs only `test`, a disabled
// test that does the child's part of a test, with `variables` in its environment, and
// waits for it. Its exit status: kKilled for a child that KillThisProcess ended.
int RunChildTest(const std::string& test,
                 const std::vector<std::pair<std::string, std::string>>& variables);

// An environment variable of the child's part, as RunChildTest gave it.
inline std::string ChildVariable(const char* name) {
  return platform::ToUtf8(
      platform::ReadEnvironmentVariable(platform::FromUtf8(name)).value_or(u""));
}

// hivexregedit's export of the whole hive: keys sorted, values sorted by name.
inline ToolResult HivexExport(const std::filesystem::path& file) {
  return RunTool("hivexregedit", "--export " + Quoted(file) + " '\\'");
}

// regfexport (libregf): values in stored order, big-data records read as Windows does.
inline ToolResult RegfExport(const std::filesystem::path& file) {
  return RunTool("regfexport", Quoted(file));
}

}  // namespace brindel::registry::store::testing
