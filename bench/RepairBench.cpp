// "Auslesen" and "Löschen" on generated damaged profiles in the memory store.
//
// A profile of n provider entries lists n / 2 distinct providers, each twice: the
// first listing of every provider in the store-provider list 01023d00, the second in
// 01023d00 (even providers) or in the transport list 01023d02 (odd ones), shuffled.
// Every provider has a section with a display name, a data file, a flags value and its
// service id; one in ten names a service that 01023d0e does not list, so the repair
// removes it from the lists and deletes its section. There are n / 8 services (listed, with
// sections), n / 20 orphan sections that nothing names, the protected sections, and
// n / 100 accounts (plus one that no account list names, with its own sections).
// Section ids are drawn from a fixed seed, so their order is random.
//
// BM_Auslesen: the whole analysis. BM_Loeschen: backup (export into a temporary
// folder) and the four repair steps, as "Löschen" runs them. BM_Repair: the steps
// alone. Each reports the fit of its times over n.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "bench/GeneratedProfile.h"
#include "platform/Text.h"
#include "profile/Backup.h"
#include "profile/ProfileAnalysis.h"
#include "profile/ProfileNames.h"
#include "profile/Repair.h"
#include "registry/store/MemoryStore.h"

namespace {

using namespace brindel::registry::store;
using namespace brindel::profile;

using namespace brindel::bench;

class TCountingLog : public TLogSink {
 public:
  void Log(std::u16string_view Line) override {
    ++lines;
    chars += Line.size();
  }
  std::size_t lines = 0;
  std::size_t chars = 0;
};

Bytes Dword(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value), static_cast<std::uint8_t>(value >> 8),
          static_cast<std::uint8_t>(value >> 16), static_cast<std::uint8_t>(value >> 24)};
}

class TProfileBuilder {
 public:
  explicit TProfileBuilder(MemoryStore& store) : store_(store) {}

  void Put(std::u16string_view section, std::u16string_view name, std::uint32_t type,
           const Bytes& data) {
    PutInProfile(store_, section, name, type, data);
  }

 private:
  MemoryStore& store_;
};

// Fills the store with the generated profile of `entries` provider entries.
void BuildProfile(MemoryStore& store, int entries) {
  std::mt19937_64 random(5);
  TProfileBuilder profile(store);
  const int providers = entries / 2;
  const int services = std::max(1, entries / 8);
  std::vector<std::u16string> serviceIds;
  Bytes serviceList;
  for (int s = 0; s < services; ++s) {
    serviceIds.push_back(RandomId(random));
    AppendIdBytes(serviceList, serviceIds.back());
    profile.Put(serviceIds.back(), kDisplayNameValue, REG_BINARY, Utf16(u"Dienst"));
  }
  std::vector<std::u16string> providerIds;
  for (int p = 0; p < providers; ++p) {
    providerIds.push_back(RandomId(random));
    const std::u16string& id = providerIds.back();
    const std::u16string service = p % 10 == 9 ? RandomId(random) : serviceIds[p % services];
    profile.Put(id, kServiceUidValue, REG_BINARY, IdBytes(service));
    profile.Put(id, kDisplayNameValue, REG_BINARY, Utf16(u"Persönliche Ordner"));
    profile.Put(id, kDataFileValue, REG_BINARY, Utf16(u"C:\\Daten\\Outlook.pst"));
    profile.Put(id, kResourceFlagsValue, REG_BINARY, Dword(p == 0 ? 2 : 0));
  }
  // Every provider once in the store list, then the repetitions.
  std::vector<std::u16string> store00 = providerIds;
  std::vector<std::u16string> transport02;
  for (int p = 0; p < providers; ++p)
    (p % 2 == 0 ? store00 : transport02).push_back(providerIds[p]);
  std::shuffle(store00.begin(), store00.end(), random);
  std::shuffle(transport02.begin(), transport02.end(), random);
  Bytes bytes00;
  for (const auto& id : store00)
    AppendIdBytes(bytes00, id);
  Bytes bytes02;
  for (const auto& id : transport02)
    AppendIdBytes(bytes02, id);
  const std::u16string providerSection(kProviderSection);
  profile.Put(providerSection, kStoreProviderList, REG_BINARY, bytes00);
  profile.Put(providerSection, kTransportProviderList, REG_BINARY, bytes02);
  profile.Put(providerSection, kServiceList, REG_BINARY, serviceList);
  for (int o = 0; o < entries / 20; ++o)
    profile.Put(RandomId(random), kDisplayNameAnsiValue, REG_SZ, Utf16(u"Verwaist"));
  for (auto protectedId : kKeyConstants)
    profile.Put(protectedId, {}, REG_NONE, {});

  const std::u16string accountSection(kAccountSection);
  const int accounts = std::max(1, entries / 100);
  Bytes numbers;
  for (int a = 1; a <= accounts + 1; ++a) {
    std::u16string number;
    for (int shift = 28; shift >= 0; shift -= 4)
      number += u"0123456789abcdef"[(a >> shift) & 0x0F];
    const std::u16string key = accountSection + u"\\" + number;
    profile.Put(key, u"Account Name", REG_BINARY, Utf16(u"Konto"));
    profile.Put(key, u"Service UID", REG_BINARY, IdBytes(serviceIds[a % services]));
    const std::u16string prefs = RandomId(random);
    profile.Put(prefs, kDisplayNameAnsiValue, REG_SZ, Utf16(u"Einstellungen"));
    profile.Put(key, u"Preferences UID", REG_BINARY, IdBytes(prefs));
    // The last account is named by no account list.
    if (a <= accounts) {
      const Bytes one = Dword(static_cast<std::uint32_t>(a));
      numbers.insert(numbers.end(), one.begin(), one.end());
    }
  }
  profile.Put(accountSection, kAccountList, REG_BINARY, numbers);
}

struct TRun {
  MemoryStore store;
  std::unique_ptr<ScopedCurrentStore> current;
  TCountingLog log;
  TProfileAnalysis analysis{log};
};

std::unique_ptr<TRun> NewRun(int entries) {
  auto run = std::make_unique<TRun>();
  BuildProfile(run->store, entries);
  run->current = std::make_unique<ScopedCurrentStore>(run->store);
  return run;
}

void BM_Auslesen(benchmark::State& state) {
  const int entries = static_cast<int>(state.range(0));
  for (auto _ : state) {
    state.PauseTiming();
    auto run = NewRun(entries);
    state.ResumeTiming();
    run->analysis.Analyse(kTree, kProfile);
    benchmark::DoNotOptimize(run->log.lines);
    state.PauseTiming();
    run.reset();
    state.ResumeTiming();
  }
  state.SetComplexityN(entries);
}

void Loeschen(benchmark::State& state, bool withBackup) {
  const int entries = static_cast<int>(state.range(0));
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("brindel-repair-bench-" + std::to_string(entries));
  const std::u16string backupFolder =
      brindel::platform::FromUtf8(folder.string()) + brindel::platform::FromUtf8("/");
  std::filesystem::remove_all(folder);
  for (auto _ : state) {
    state.PauseTiming();
    auto run = NewRun(entries);
    run->analysis.Analyse(kTree, kProfile);
    state.ResumeTiming();
    if (withBackup &&
        !brindel::profile::CreateBackup(run->analysis.ProfileTree, kProfile, backupFolder, {})) {
      state.SkipWithError("backup failed");
      break;
    }
    brindel::profile::RepairProfile(run->analysis);
    state.PauseTiming();
    run.reset();
    state.ResumeTiming();
  }
  std::filesystem::remove_all(folder);
  state.SetComplexityN(entries);
}

void BM_Loeschen(benchmark::State& state) {
  Loeschen(state, true);
}
void BM_Repair(benchmark::State& state) {
  Loeschen(state, false);
}

BENCHMARK(BM_Auslesen)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_Loeschen)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Complexity();
BENCHMARK(BM_Repair)->Arg(100)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

BENCHMARK_MAIN();
