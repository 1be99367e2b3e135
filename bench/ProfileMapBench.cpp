// The profile at a glance for large profiles: the map made from the findings of
// "Auslesen", and the Qt window's page "Profil" filled with it and drawn, on Qt's
// offscreen platform.
//
// A generated profile of n sections: n / 10 services, each with two providers in the
// store-provider list (one in ten names a service that is not listed), n / 2 sections
// that nothing names, n / 10 empty ones, the protected sections and n / 100 accounts.
// Section ids are drawn from a fixed seed.
//
// BM_BuildProfileMap: findings and map of an analysed profile. BM_QtShowProfileMap:
// TMainWindow::ShowProfileMap, then the tree drawn once, as the window shows it.

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QTabWidget>
#include <QTreeWidget>
#include <QTreeWidgetItemIterator>

#include <memory>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "app/qt/MainWindow.h"
#include "bench/GeneratedProfile.h"
#include "profile/Findings.h"
#include "profile/ProfileAnalysis.h"
#include "profile/ProfileMap.h"
#include "profile/ProfileNames.h"
#include "registry/store/MemoryStore.h"

namespace {

using namespace brindel::registry::store;
using namespace brindel::profile;

using namespace brindel::bench;

class TSilentLog : public TLogSink {
 public:
  void Log(std::u16string_view) override {}
};

void Put(MemoryStore& store, std::u16string_view section, std::u16string_view name,
         std::uint32_t type, const Bytes& data) {
  PutInProfile(store, section, name, type, data);
}

void BuildProfile(MemoryStore& store, int sections) {
  std::mt19937_64 random(7);
  Bytes services;
  Bytes stores;
  std::vector<std::u16string> serviceIds;
  for (int s = 0; s < std::max(1, sections / 10); ++s) {
    serviceIds.push_back(RandomId(random));
    AppendIdBytes(services, serviceIds.back());
    Put(store, serviceIds.back(), kDisplayNameValue, REG_BINARY, Utf16(u"Dienst"));
    for (int p = 0; p < 2; ++p) {
      const std::u16string provider = RandomId(random);
      AppendIdBytes(stores, provider);
      Bytes service;
      AppendIdBytes(service, s % 10 == 9 ? RandomId(random) : serviceIds.back());
      Put(store, provider, kServiceUidValue, REG_BINARY, service);
      Put(store, provider, kDisplayNameValue, REG_BINARY, Utf16(u"Persönliche Ordner"));
    }
  }
  Put(store, kProviderSection, kStoreProviderList, REG_BINARY, stores);
  Put(store, kProviderSection, kServiceList, REG_BINARY, services);
  for (int o = 0; o < sections / 2; ++o)
    Put(store, RandomId(random), kDisplayNameAnsiValue, REG_SZ, Utf16(u"Verwaist"));
  for (int e = 0; e < sections / 10; ++e)
    Put(store, RandomId(random), {}, REG_NONE, {});
  for (auto protectedId : kKeyConstants)
    Put(store, protectedId, {}, REG_NONE, {});
  Bytes numbers;
  for (int a = 1; a <= std::max(1, sections / 100); ++a) {
    std::u16string number;
    for (int shift = 28; shift >= 0; shift -= 4)
      number += u"0123456789abcdef"[(a >> shift) & 0x0F];
    const std::u16string key = std::u16string(kAccountSection) + u"\\" + number;
    Put(store, key, u"Account Name", REG_BINARY, Utf16(u"Konto"));
    Bytes service;
    AppendIdBytes(service, serviceIds[static_cast<std::size_t>(a) % serviceIds.size()]);
    Put(store, key, u"Service UID", REG_BINARY, service);
    numbers.insert(numbers.end(), {static_cast<std::uint8_t>(a), 0, 0, 0});
  }
  Put(store, kAccountSection, kAccountList, REG_BINARY, numbers);
}

// An analysed profile in a store of its own.
struct TAnalysed {
  explicit TAnalysed(int sections) {
    BuildProfile(store, sections);
    analysis.Analyse(kTree, kProfile);
  }
  MemoryStore store;
  ScopedCurrentStore current{store};
  TSilentLog log;
  TProfileAnalysis analysis{log};
};

void BM_BuildProfileMap(benchmark::State& state) {
  const TAnalysed analysed(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    const TProfileMap map = BuildProfileMap(analysed.analysis, CollectFindings(analysed.analysis));
    benchmark::DoNotOptimize(map.Counts.Deleted);
  }
  state.SetComplexityN(state.range(0));
}

void BM_QtShowProfileMap(benchmark::State& state) {
  // The window starts up on the same registry: its one profile is chosen, no box.
  const TAnalysed analysed(static_cast<int>(state.range(0)));
  const TProfileMap map = BuildProfileMap(analysed.analysis, CollectFindings(analysed.analysis));
  brindel::app::qt::TMainWindow window([](brindel::app::TMainDlg& Dlg) {
    Dlg.cOutlookVersion = u"16";
    return std::optional<std::u16string>(u"/tmp");
  });
  auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("tvProfileMap"));
  window.findChild<QTabWidget*>(QStringLiteral("tabPages"))->setCurrentWidget(tree);
  window.show();
  QApplication::processEvents();
  for (auto _ : state) {
    window.ShowProfileMap(map);
    tree->viewport()->repaint();
  }
  int entries = 0;
  for (QTreeWidgetItemIterator it(tree); *it; ++it)
    ++entries;
  state.counters["entries"] = entries;
  state.SetComplexityN(state.range(0));
}

BENCHMARK(BM_BuildProfileMap)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(BM_QtShowProfileMap)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->Complexity();

}  // namespace

int main(int argc, char** argv) {
  // The window's own platform needs no display.
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication application(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
