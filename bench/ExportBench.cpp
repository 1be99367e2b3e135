// Export of a large registry tree, to a memory stream and to a file.
//
// The in-memory tree: HKEY_CURRENT_USER\Software\Bench with 400 profile keys of 250
// section keys each (100,401 keys), every section key holding 10 values (1,000,000
// values). The values are drawn from a fixed seed: 35 % REG_BINARY of 16 to 4,096 bytes
// (sizes spread evenly over the powers of two between, as registry data are mostly
// small), 25 % REG_DWORD, 20 % REG_SZ of 8 to 80 characters (some beyond ASCII), 8 %
// REG_EXPAND_SZ, 7 % REG_MULTI_SZ of two to four strings and 5 % REG_QWORD.
//
// With BRINDEL_BENCH_HIVE naming a hive made by make_bench_hive, the same exports run
// on that hive through the hive store: one profile and the whole profile tree, each
// with and without mounting the hive.
//
// Reports the bytes of .reg text produced per second, and extra_peak_MiB: how far the
// step raised the process's resident memory above what it held before: for the tree,
// the export's own memory (writing as it walks, the file form needs a few MiB whatever
// the size of the text; the stream form holds the whole text by its nature); for a
// hive, also the mounted hive and what the store read from it.

#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "bench/PeakMemory.h"
#include "regfile/ExRegistry.h"
#include "registry/store/MemoryStore.h"
#ifdef __linux__
#include "registry/store/hive/HiveStore.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace brindel::registry::store;
using brindel::regfile::TExRegistry;
using brindel::regfile::TMemoryStream;

constexpr int kProfiles = 400;
constexpr int kSectionsPerProfile = 250;
constexpr int kValuesPerSection = 10;

constexpr std::u16string_view kHiveProfiles =
    u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kHiveOneProfile =
    u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles\\Profile 03";

using brindel::bench::ExtraPeakMiB;
using brindel::bench::ResetPeak;

fs::path OutputFile() {
  return fs::temp_directory_path() / "brindel-export-bench.reg";
}

struct Tree {
  MemoryStore store;
  std::uint64_t valueBytes = 0;
  std::uint64_t values = 0;
  std::uint64_t keys = 0;
};

std::vector<std::uint8_t> Utf16(const std::u16string& text) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(text.size() * 2 + 2);
  for (char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

std::u16string Hex(std::mt19937_64& random, int digits) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text;
  for (int i = 0; i < digits; ++i)
    text += kDigits[random() & 0x0F];
  return text;
}

std::u16string Words(std::mt19937_64& random, std::size_t length) {
  static constexpr char16_t kLetters[] = u"abcdefghijklmnopqrstuvwxyz \u00E4\u00F6\u00FC\u00DF\\\"";
  constexpr std::size_t kCount = sizeof(kLetters) / sizeof(kLetters[0]) - 1;
  std::u16string text;
  for (std::size_t i = 0; i < length; ++i)
    text += kLetters[random() % kCount];
  return text;
}

void AddValue(Tree& tree, HKEY key, std::mt19937_64& random, int index) {
  const std::u16string name =
      u"0" + Hex(random, 3) + u"3d" + Hex(random, 2) + u"_" + static_cast<char16_t>(u'0' + index);
  const auto draw = static_cast<unsigned>(random() % 100);
  std::uint32_t type = REG_BINARY;
  std::vector<std::uint8_t> data;
  if (draw < 35) {
    // 2^4 to 2^12 bytes, evenly over the exponents.
    std::uniform_real_distribution<double> exponent(4.0, 12.0);
    const auto size = static_cast<std::size_t>(std::pow(2.0, exponent(random)));
    data.resize(size);
    for (auto& byte : data)
      byte = static_cast<std::uint8_t>(random());
  } else if (draw < 60) {
    type = REG_DWORD;
    const auto number = static_cast<std::uint32_t>(random());
    data = {static_cast<std::uint8_t>(number), static_cast<std::uint8_t>(number >> 8),
            static_cast<std::uint8_t>(number >> 16), static_cast<std::uint8_t>(number >> 24)};
  } else if (draw < 80) {
    type = REG_SZ;
    data = Utf16(Words(random, 8 + random() % 73));
  } else if (draw < 88) {
    type = REG_EXPAND_SZ;
    data =
        Utf16(u"%USERPROFILE%\\AppData\\Local\\Microsoft\\Outlook\\" + Words(random, 12) + u".ost");
  } else if (draw < 95) {
    type = REG_MULTI_SZ;
    std::u16string strings;
    const int count = 2 + static_cast<int>(random() % 3);
    for (int i = 0; i < count; ++i)
      strings += Words(random, 4 + random() % 20) + u'\0';
    data = Utf16(strings);
  } else {
    type = REG_QWORD;
    const std::uint64_t number = random();
    for (int i = 0; i < 8; ++i)
      data.push_back(static_cast<std::uint8_t>(number >> (8 * i)));
  }
  tree.store.SetValue(key, name, type, data);
  tree.valueBytes += data.size();
  ++tree.values;
}

std::unique_ptr<Tree> BuildTree() {
  auto tree = std::make_unique<Tree>();
  std::mt19937_64 random(20240601);
  HKEY base = 0;
  tree->store.CreateKey(HKEY_CURRENT_USER, u"Software\\Bench", KEY_ALL_ACCESS, base);
  ++tree->keys;
  for (int p = 0; p < kProfiles; ++p) {
    HKEY profile = 0;
    tree->store.CreateKey(base, u"Profile " + Hex(random, 6), KEY_ALL_ACCESS, profile);
    ++tree->keys;
    for (int s = 0; s < kSectionsPerProfile; ++s) {
      HKEY section = 0;
      tree->store.CreateKey(profile, Hex(random, 32), KEY_ALL_ACCESS, section);
      ++tree->keys;
      for (int v = 0; v < kValuesPerSection; ++v)
        AddValue(*tree, section, random, v);
      tree->store.CloseKey(section);
    }
    tree->store.CloseKey(profile);
  }
  tree->store.CloseKey(base);
  return tree;
}

Tree& SharedTree() {
  static std::unique_ptr<Tree> tree = BuildTree();
  return *tree;
}

void ReportTree(benchmark::State& state, const Tree& tree, std::uint64_t textBytes) {
  state.SetBytesProcessed(static_cast<std::int64_t>(textBytes * state.iterations()));
  state.counters["keys"] = static_cast<double>(tree.keys);
  state.counters["values"] = static_cast<double>(tree.values);
  state.counters["value_MB"] = static_cast<double>(tree.valueBytes) / 1e6;
  state.counters["text_MB"] = static_cast<double>(textBytes) / 1e6;
}

void BM_ExportTreeToStream(benchmark::State& state) {
  Tree& tree = SharedTree();
  ScopedCurrentStore current(tree.store);
  std::uint64_t textBytes = 0;
  const std::uint64_t before = ResetPeak();
  for (auto _ : state) {
    TExRegistry reg(KEY_READ);
    if (!reg.Open(u"Software\\Bench", false)) {
      state.SkipWithError("tree missing");
      return;
    }
    std::unique_ptr<TMemoryStream> stream;
    if (!reg.ExportKey(u"", true, stream)) {
      state.SkipWithError("export failed");
      return;
    }
    textBytes = stream->Size();
    benchmark::DoNotOptimize(stream->Bytes().data());
  }
  state.counters["extra_peak_MiB"] = ExtraPeakMiB(before);
  ReportTree(state, tree, textBytes);
}

BENCHMARK(BM_ExportTreeToStream)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_ExportTreeToFile(benchmark::State& state) {
  Tree& tree = SharedTree();
  ScopedCurrentStore current(tree.store);
  const fs::path file = OutputFile();
  const std::uint64_t before = ResetPeak();
  for (auto _ : state) {
    TExRegistry reg(KEY_READ);
    if (!reg.Open(u"Software\\Bench", false) || !reg.ExportKey(file.u16string())) {
      state.SkipWithError("export failed");
      return;
    }
  }
  state.counters["extra_peak_MiB"] = ExtraPeakMiB(before);
  ReportTree(state, tree, fs::file_size(file));
  fs::remove(file);
}

BENCHMARK(BM_ExportTreeToFile)->Iterations(1)->Unit(benchmark::kMillisecond);

#ifdef __linux__

std::optional<fs::path> BenchHive() {
  const char* hive = std::getenv("BRINDEL_BENCH_HIVE");
  if (hive == nullptr || *hive == '\0')
    return std::nullopt;
  return fs::path(hive);
}

// Exports a key of a freshly mounted hive to a file; with mount, mounting the hive
// is timed too.
void ExportFromHive(benchmark::State& state, std::u16string_view key, bool mount) {
  const auto hive = BenchHive();
  if (!hive) {
    state.SkipWithError("BRINDEL_BENCH_HIVE names no hive (see bench/compare-peers)");
    return;
  }
  const fs::path file = OutputFile();
  const std::uint64_t before = ResetPeak();
  for (auto _ : state) {
    if (!mount)
      state.PauseTiming();
    auto store = std::make_unique<HiveStore>(HiveStore::Mode::ReadOnly);
    store->Mount(HiveStore::MountPoint::CurrentUser, *hive);
    if (!mount)
      state.ResumeTiming();
    {
      ScopedCurrentStore current(*store);
      TExRegistry reg(KEY_READ);
      if (!reg.Open(key, false) || !reg.ExportKey(file.u16string())) {
        state.SkipWithError("export failed");
        return;
      }
    }
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
  state.counters["extra_peak_MiB"] = ExtraPeakMiB(before);
  const auto textBytes = fs::file_size(file);
  state.SetBytesProcessed(static_cast<std::int64_t>(textBytes * state.iterations()));
  state.counters["text_MB"] = static_cast<double>(textBytes) / 1e6;
  state.counters["hive_MB"] = static_cast<double>(fs::file_size(*hive)) / 1e6;
  fs::remove(file);
}

void BM_HiveExportProfile(benchmark::State& state) {
  ExportFromHive(state, kHiveOneProfile, false);
}
void BM_HiveExportProfileWithMount(benchmark::State& state) {
  ExportFromHive(state, kHiveOneProfile, true);
}
void BM_HiveExportTree(benchmark::State& state) {
  ExportFromHive(state, kHiveProfiles, false);
}
void BM_HiveExportTreeWithMount(benchmark::State& state) {
  ExportFromHive(state, kHiveProfiles, true);
}

BENCHMARK(BM_HiveExportProfile)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HiveExportProfileWithMount)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HiveExportTree)->Iterations(3)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_HiveExportTreeWithMount)->Iterations(3)->Unit(benchmark::kMillisecond);

#endif

}  // namespace

BENCHMARK_MAIN();
