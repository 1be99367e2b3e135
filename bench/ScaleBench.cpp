// One key of very many values or sub keys, and one very deep key path: each step must
// take time in proportion to what it handles, not to its square.
//
// - BM_SetValues: a memory store's key filled with N values, each name new.
// - BM_LoadRegValues: a .reg text of one key with N values loaded as --reg loads it
//   (the lenient grammar, applied with its undo).
// - BM_ImportValues: the same text read by the import into an empty memory store.
// - BM_ImportSubKeys, BM_LoadRegSubKeys: N sub keys of one key, in a scrambled order.
// - BM_HiveSetValues, BM_HiveSubKeys: the same in the hive store, on a mounted empty
//   hive, changes held in memory and not written.
// - BM_DeepPath*: a path 512 levels deep (the registry's limit) of names 255 units
//   long: find, export, import and --reg load, with extra_peak_MiB, how far the step
//   raised the process's resident memory above what it held before.
//
// Reports the time per element (per_element_s) beside the time of the whole step, so
// that linear growth shows as a constant.

#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "bench/PeakMemory.h"
#include "regfile/ExRegistry.h"
#include "regfile/RegText.h"
#include "registry/store/MemoryStore.h"
#ifdef __linux__
#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveStore.h"
#endif

namespace {

namespace fs = std::filesystem;
using namespace brindel::registry::store;
using brindel::regfile::TExRegistry;
using brindel::regfile::TMemoryStream;

using brindel::bench::ExtraPeakMiB;
using brindel::bench::ResetPeak;

// Seconds per element, shown with its unit prefix (u for microseconds).
void PerElement(benchmark::State& state, std::int64_t elements) {
  state.SetComplexityN(elements);
  state.counters["per_element_s"] =
      benchmark::Counter(static_cast<double>(elements) * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

std::u16string Number(std::int64_t i) {
  const std::string digits = std::to_string(i);
  return std::u16string(digits.begin(), digits.end());
}

// The i-th of n in an order that is neither sorted nor reversed: 7919 is a prime
// that divides no n used here.
std::int64_t Scrambled(std::int64_t i, std::int64_t n) {
  return (i * 7919) % n;
}

// --- Many values in one key ---------------------------------------------------------------

void BM_SetValues(benchmark::State& state) {
  const std::int64_t n = state.range(0);
  const std::uint8_t data[] = {1, 0, 0, 0};
  for (auto _ : state) {
    MemoryStore store;
    HKEY key = 0;
    store.CreateKey(HKEY_CURRENT_USER, u"Software\\Many", KEY_ALL_ACCESS, key);
    for (std::int64_t i = 0; i < n; ++i)
      store.SetValue(key, u"Wert " + Number(i), REG_DWORD, data);
    store.CloseKey(key);
  }
  PerElement(state, n);
}
BENCHMARK(BM_SetValues)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// The text of one key with n DWORD values, or of n empty sub keys of one key.
const std::string& ValuesText(std::int64_t n) {
  static std::map<std::int64_t, std::string> texts;
  std::string& text = texts[n];
  if (text.empty()) {
    text = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Microsoft\\Office\\16.0\\Many]\r\n";
    for (std::int64_t i = 0; i < n; ++i)
      text += "\"Wert " + std::to_string(i) + "\"=dword:0000002a\r\n";
    text += "\r\n";
  }
  return text;
}

const std::string& SubKeysText(std::int64_t n) {
  static std::map<std::int64_t, std::string> texts;
  std::string& text = texts[n];
  if (text.empty()) {
    text = "REGEDIT4\r\n\r\n";
    for (std::int64_t i = 0; i < n; ++i) {
      text += "[HKEY_CURRENT_USER\\Software\\Keys\\k" + std::to_string(Scrambled(i, n)) + "]\r\n";
    }
    text += "\r\n";
  }
  return text;
}

std::span<const std::uint8_t> Bytes(const std::string& text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

void Import(const std::string& text, MemoryStore& store) {
  TMemoryStream stream;
  stream.Write(text);
  stream.SetPosition(0);
  TExRegistry importer;
  importer.UseStore(store);
  importer.ImportRegFile(u"bench.reg", &stream);
}

void BM_LoadRegValues(benchmark::State& state) {
  const std::string& text = ValuesText(state.range(0));
  for (auto _ : state) {
    MemoryStore store;
    brindel::regfile::LoadRegText(Bytes(text), store);
  }
  PerElement(state, state.range(0));
}
BENCHMARK(BM_LoadRegValues)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_ImportValues(benchmark::State& state) {
  const std::string& text = ValuesText(state.range(0));
  for (auto _ : state) {
    MemoryStore store;
    Import(text, store);
  }
  PerElement(state, state.range(0));
}
BENCHMARK(BM_ImportValues)
    ->RangeMultiplier(10)
    ->Range(10'000, 1'000'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

// --- Many sub keys in one key ----------------------------------------------------------------

void BM_ImportSubKeys(benchmark::State& state) {
  const std::string& text = SubKeysText(state.range(0));
  for (auto _ : state) {
    MemoryStore store;
    Import(text, store);
  }
  PerElement(state, state.range(0));
}
BENCHMARK(BM_ImportSubKeys)
    ->Arg(50'000)
    ->Arg(100'000)
    ->Arg(200'000)
    ->Arg(500'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

void BM_LoadRegSubKeys(benchmark::State& state) {
  const std::string& text = SubKeysText(state.range(0));
  for (auto _ : state) {
    MemoryStore store;
    brindel::regfile::LoadRegText(Bytes(text), store);
  }
  PerElement(state, state.range(0));
}
BENCHMARK(BM_LoadRegSubKeys)
    ->Arg(50'000)
    ->Arg(500'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oN);

#ifdef __linux__

// A hive mounted for the step and let go without writing it.
template <typename Fill>
void InEmptyHive(benchmark::State& state, Fill fill) {
  const fs::path hive = fs::temp_directory_path() / "brindel-scale-bench.dat";
  for (auto _ : state) {
    state.PauseTiming();
    brindel::registry::store::hive::WriteEmptyHive(hive);
    {
      HiveStore store;
      store.Mount(HiveStore::MountPoint::CurrentUser, hive);
      state.ResumeTiming();
      fill(store);
      state.PauseTiming();
      store.DiscardChanges();
    }
    state.ResumeTiming();
  }
  fs::remove(hive);
  PerElement(state, state.range(0));
}

void BM_HiveSetValues(benchmark::State& state) {
  const std::int64_t n = state.range(0);
  InEmptyHive(state, [n](HiveStore& store) {
    const std::uint8_t data[] = {1, 0, 0, 0};
    HKEY key = 0;
    store.CreateKey(HKEY_CURRENT_USER, u"Software\\Many", KEY_ALL_ACCESS, key);
    for (std::int64_t i = 0; i < n; ++i)
      store.SetValue(key, u"Wert " + Number(i), REG_DWORD, data);
    store.CloseKey(key);
  });
}
BENCHMARK(BM_HiveSetValues)
    ->Arg(5'000)
    ->Arg(10'000)
    ->Arg(20'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oAuto);

void BM_HiveSubKeys(benchmark::State& state) {
  const std::int64_t n = state.range(0);
  InEmptyHive(state, [n](HiveStore& store) {
    HKEY parent = 0;
    store.CreateKey(HKEY_CURRENT_USER, u"Software\\Keys", KEY_ALL_ACCESS, parent);
    for (std::int64_t i = 0; i < n; ++i) {
      HKEY key = 0;
      store.CreateKey(parent, u"k" + Number(Scrambled(i, n)), KEY_ALL_ACCESS, key);
      store.CloseKey(key);
    }
    store.CloseKey(parent);
  });
}
BENCHMARK(BM_HiveSubKeys)
    ->Arg(50'000)
    ->Arg(100'000)
    ->Arg(200'000)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->Complexity(benchmark::oAuto);

#endif

// --- One deep path ----------------------------------------------------------------------

constexpr int kDeepest = 512;
const std::u16string kLongName(kMaxKeyNameLength, u'n');

// HKEY_CURRENT_USER\Deep\n...n\n...n, kDeepest levels with names of 255 units.
std::u16string DeepPath(int levels) {
  std::u16string path = u"Deep";
  for (int level = 2; level <= levels; ++level)
    path += u"\\" + kLongName;
  return path;
}

void MakeDeep(MemoryStore& store, int levels) {
  HKEY key = 0;
  store.CreateKey(HKEY_CURRENT_USER, DeepPath(levels), KEY_ALL_ACCESS, key);
  const std::uint8_t data[] = {1};
  store.SetValue(key, u"v", REG_BINARY, data);
  store.CloseKey(key);
}

std::string DeepText(MemoryStore& store) {
  ScopedCurrentStore current(store);
  TExRegistry reg(KEY_READ);
  reg.Open(u"Deep", false);
  std::unique_ptr<TMemoryStream> stream;
  reg.ExportKey(u"", true, stream);
  return std::string(stream->Bytes());
}

void BM_DeepPathFind(benchmark::State& state) {
  const int levels = static_cast<int>(state.range(0));
  MemoryStore store;
  MakeDeep(store, levels);
  ScopedCurrentStore current(store);
  const std::uint64_t before = ResetPeak();
  for (auto _ : state) {
    TExRegistry reg;
    reg.Open(u"Deep", false);
    std::u16string path;
    std::u16string value;
    benchmark::DoNotOptimize(
        reg.FindFirst(u"nothing", {brindel::regfile::TSearchParam::rsKeys}, false, path, value));
  }
  state.counters["extra_peak_MiB"] = ExtraPeakMiB(before);
  PerElement(state, levels);
}

void BM_DeepPathExport(benchmark::State& state) {
  const int levels = static_cast<int>(state.range(0));
  MemoryStore store;
  MakeDeep(store, levels);
  ScopedCurrentStore current(store);
  const fs::path file = fs::temp_directory_path() / "brindel-deep-bench.reg";
  const std::uint64_t before = ResetPeak();
  for (auto _ : state) {
    TExRegistry reg(KEY_READ);
    reg.Open(u"Deep", false);
    benchmark::DoNotOptimize(reg.ExportKey(file.u16string()));
  }
  state.counters["extra_peak_MiB"] = ExtraPeakMiB(before);
  state.counters["text_MB"] = static_cast<double>(fs::file_size(file)) / 1e6;
  fs::remove(file);
  PerElement(state, levels);
}

void BM_DeepPathImport(benchmark::State& state) {
  const int levels = static_cast<int>(state.range(0));
  std::string text;
  {
    MemoryStore source;
    MakeDeep(source, levels);
    text = DeepText(source);
  }
  const std::uint64_t before = ResetPeak();
  for (auto _ : state) {
    MemoryStore store;
    Import(text, store);
  }
  // The text itself is held before the step, so this is what reading it costs.
  state.counters["extra_peak_MiB"] = ExtraPeakMiB(before);
  state.counters["text_MB"] = static_cast<double>(text.size()) / 1e6;
  PerElement(state, levels);
}

void BM_DeepPathLoadReg(benchmark::State& state) {
  const int levels = static_cast<int>(state.range(0));
  std::string text;
  {
    MemoryStore source;
    MakeDeep(source, levels);
    text = DeepText(source);
  }
  const std::uint64_t before = ResetPeak();
  for (auto _ : state) {
    MemoryStore store;
    brindel::regfile::LoadRegText(Bytes(text), store);
  }
  state.counters["extra_peak_MiB"] = ExtraPeakMiB(before);
  state.counters["text_MB"] = static_cast<double>(text.size()) / 1e6;
  PerElement(state, levels);
}

BENCHMARK(BM_DeepPathFind)->Arg(128)->Arg(256)->Arg(kDeepest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepPathExport)->Arg(128)->Arg(256)->Arg(kDeepest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepPathImport)->Arg(128)->Arg(256)->Arg(kDeepest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeepPathLoadReg)->Arg(128)->Arg(256)->Arg(kDeepest)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
