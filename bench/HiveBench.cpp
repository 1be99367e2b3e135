// Offline user hives: opening one, "Auslesen" and "Löschen" of the damaged demo
// profile in it through the flow object, and the flush that writes the hive anew.
//
// Each hive holds the demo registry (a healthy and a damaged profile) and, next to
// them, filler profiles. The small one: 1,000 profiles of 40 sections, each with a
// 1,200-byte binary value and two small ones, more than 50 MB. The large ones: 100
// profiles of 1,000 sections with twelve 260-byte values each, about 370 MB, and the
// damaged profile with n more sections that nothing uses (n = 100, 1,000, 10,000),
// all of which "Löschen" deletes. A hive is made once per process, from a fixed
// seed, with the project's own writer and the hive store; each run works on a fresh
// copy, so every "Löschen" finds the same damage.
//
// Each benchmark reports the process's peak resident memory so far (getrusage
// ru_maxrss, KiB) and the hive's size; run one benchmark per process
// (--benchmark_filter) to see the peak of that step alone. BM_HiveRepairLarge is a
// whole repair as brindel-cli runs it: opening the hive, the profile list,
// "Auslesen", and "Löschen" with its backup, its deletions and the flush.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/MainDlg.h"
#include "app/MainView.h"
#include "app/RegistrySource.h"
#include "platform/Text.h"
#include "registry/store/hive/HiveStore.h"
#include "registry/store/hive/EmptyHive.h"
#include "regfile/RegText.h"

namespace {

namespace fs = std::filesystem;
using namespace brindel;
using registry::store::HiveStore;

// What a generated hive holds besides the demo registry.
struct THiveShape {
  int fillerProfiles = 0;
  int sectionsPerProfile = 0;
  int valuesPerSection = 0;  // besides the 1,200-byte one of the small hive
  std::size_t valueSize = 0;
  int unusedSections = 0;  // added to the damaged profile
  bool operator<(const THiveShape& other) const {
    return std::tie(fillerProfiles, sectionsPerProfile, valuesPerSection, valueSize,
                    unusedSections) < std::tie(other.fillerProfiles, other.sectionsPerProfile,
                                               other.valuesPerSection, other.valueSize,
                                               other.unusedSections);
  }
};

constexpr THiveShape kSmallHive{1000, 40, 0, 0, 0};
THiveShape LargeHive(int unusedSections) {
  return {100, 1000, 12, 260, unusedSections};
}
constexpr std::u16string_view kProfiles = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kDamaged = u"B\u00fcro";

// A window that shows nothing and answers nothing.
class TNullView : public app::TMainView {
 public:
  void ClearProfiles() override { selected_ = -1; }
  void AddProfile(std::u16string_view) override {}
  void SelectProfile(int Index) override { selected_ = Index; }
  int SelectedProfile() const override { return selected_; }
  void SetProfilesEnabled(bool) override {}
  void SetStartEnabled(bool) override {}
  void SetDeleteEnabled(bool) override {}
  void SetBackupFolderCaption(std::u16string_view) override {}
  void ClearLog() override { log_.clear(); }
  void AppendLog(std::u16string_view Line) override { log_.emplace_back(Line); }
  std::vector<std::u16string> LogLines() const override { return log_; }
  void ShowMessage(std::u16string_view, app::TMsgDlgType) override {}
  void ProcessMessages() override {}
  void PostStartMessage(std::function<void()> Handler) override { posted_ = std::move(Handler); }
  app::TVersionChoice ChooseOutlookVersion(std::u16string_view, std::u16string_view) override {
    return app::TVersionChoice::Closed;
  }
  void OpenFolder(std::u16string_view) override {}

  void RunPosted() {
    if (auto handler = std::exchange(posted_, nullptr))
      handler();
  }

 private:
  int selected_ = -1;
  std::vector<std::u16string> log_;
  std::function<void()> posted_;
};

std::u16string RandomId(std::mt19937_64& random) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string id;
  for (int i = 0; i < 32; ++i)
    id += kDigits[random() & 0x0F];
  return id;
}

void SetValue(HiveStore& store, const std::u16string& path, std::u16string_view name,
              std::uint32_t type, const std::vector<std::uint8_t>& data) {
  registry::store::HKEY key = 0;
  store.CreateKey(registry::store::HKEY_CURRENT_USER, path, registry::store::KEY_ALL_ACCESS, key);
  store.SetValue(key, name, type, data);
  store.CloseKey(key);
}

// The folder with a generated hive, made on first use and removed at exit.
class TBenchHive {
 public:
  static const TBenchHive& Get(const THiveShape& shape = kSmallHive) {
    static std::map<THiveShape, std::unique_ptr<TBenchHive>> hives;
    auto& hive = hives[shape];
    if (!hive)
      hive.reset(new TBenchHive(shape));
    return *hive;
  }
  ~TBenchHive() {
    std::error_code ignored;
    fs::remove_all(folder_, ignored);
  }

  // A fresh copy of the hive, and an empty documents folder for the backups.
  fs::path FreshCopy() const {
    const fs::path work = folder_ / "work";
    fs::remove_all(work);
    fs::create_directories(work / "docs");
    fs::copy_file(master_, work / "NTUSER.DAT");
    // On disk, as a hive is that a run finds: otherwise the first sync of the run
    // would write the copy's pages too.
    ::sync();
    return work / "NTUSER.DAT";
  }
  std::uintmax_t Size() const { return fs::file_size(master_); }

 private:
  explicit TBenchHive(const THiveShape& shape) {
    std::string pattern = (fs::temp_directory_path() / "brindel-hivebench-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    master_ = folder_ / "NTUSER.DAT";
    // Made in a child process, so that the peak memory of the benchmarks is their own.
    const pid_t child = ::fork();
    if (child == 0) {
      int status = 1;
      try {
        Generate(master_, shape);
        status = 0;
      } catch (...) {
      }
      ::_exit(status);
    }
    int status = 1;
    if (child < 0 || ::waitpid(child, &status, 0) != child || status != 0)
      throw std::runtime_error("cannot write the benchmark hive");
  }

  static void Generate(const fs::path& master, const THiveShape& shape) {
    registry::store::hive::WriteEmptyHive(master);
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, master);
    const std::string_view demo = app::DemoRegistryText();
    // The demo's machine keys have no hive here; the version is given to the flow.
    std::string userPart;
    bool user = false;
    std::size_t start = 0;
    while (start < demo.size()) {
      std::size_t end = demo.find('\n', start);
      end = end == std::string_view::npos ? demo.size() : end + 1;
      const std::string_view line = demo.substr(start, end - start);
      if (line.starts_with("["))
        user = line.starts_with("[HKEY_CURRENT_USER");
      if (user || start == 0)
        userPart += line;
      start = end;
    }
    regfile::LoadRegText(
        std::span(reinterpret_cast<const std::uint8_t*>(userPart.data()), userPart.size()), store);

    std::mt19937_64 random(8);
    std::vector<std::uint8_t> big(1200);
    for (auto& b : big)
      b = static_cast<std::uint8_t>(random());
    std::vector<std::uint8_t> value(shape.valueSize);
    for (auto& b : value)
      b = static_cast<std::uint8_t>(random());
    const auto fillSection = [&](const std::u16string& section) {
      if (shape.valuesPerSection == 0) {
        SetValue(store, section, u"01020fff", registry::store::REG_BINARY, big);
        SetValue(store, section, u"001e3001", registry::store::REG_BINARY,
                 std::vector<std::uint8_t>(40, 0x41));
        SetValue(store, section, u"00033009", registry::store::REG_DWORD,
                 std::vector<std::uint8_t>(4, 1));
        return;
      }
      registry::store::HKEY key = 0;
      store.CreateKey(registry::store::HKEY_CURRENT_USER, section, registry::store::KEY_ALL_ACCESS,
                      key);
      for (int v = 0; v < shape.valuesPerSection; ++v) {
        value[0] = static_cast<std::uint8_t>(v);
        store.SetValue(key, u"0102" + platform::Decimal(1000 + v), registry::store::REG_BINARY,
                       value);
      }
      store.CloseKey(key);
    };
    for (int p = 0; p < shape.fillerProfiles; ++p) {
      const std::u16string profile = std::u16string(kProfiles) + u"\\Filler" + platform::Decimal(p);
      for (int s = 0; s < shape.sectionsPerProfile; ++s)
        fillSection(profile + u"\\" + RandomId(random));
    }
    for (int s = 0; s < shape.unusedSections; ++s)
      fillSection(std::u16string(kProfiles) + u"\\" + std::u16string(kDamaged) + u"\\" +
                  RandomId(random));
    if (store.Close() != registry::store::ERROR_SUCCESS)
      throw std::runtime_error("cannot write the benchmark hive");
  }

  fs::path folder_;
  fs::path master_;
};

void ReportMemory(benchmark::State& state, const THiveShape& shape = kSmallHive) {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_KiB"] = static_cast<double>(usage.ru_maxrss);
  const double hiveBytes = static_cast<double>(TBenchHive::Get(shape).Size());
  state.counters["hive_MB"] = hiveBytes / 1e6;
  state.counters["peak_per_hive"] = static_cast<double>(usage.ru_maxrss) * 1024 / hiveBytes;
}

// One run of the window's flow on a mounted copy, up to the chosen profile.
struct TFlow {
  explicit TFlow(const fs::path& hive) : current(store), dlg(view) {
    store.Mount(HiveStore::MountPoint::CurrentUser, hive);
    dlg.cOutlookVersion = u"16";
    dlg.FormCreate(platform::FromUtf8((hive.parent_path() / "docs").string()));
    dlg.FormShow();
    view.RunPosted();
    dlg.SelectProfile(kDamaged);
  }
  HiveStore store;
  registry::store::ScopedCurrentStore current;
  TNullView view;
  app::TMainDlg dlg;
};

void BM_HiveOpen(benchmark::State& state) {
  TBenchHive::Get();
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path hive = TBenchHive::Get().FreshCopy();
    state.ResumeTiming();
    HiveStore store(HiveStore::Mode::ReadOnly);
    store.Mount(HiveStore::MountPoint::CurrentUser, hive);
    benchmark::DoNotOptimize(store.OpenHandleCount());
  }
  ReportMemory(state);
}

void BM_HiveAuslesen(benchmark::State& state) {
  TBenchHive::Get();
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path hive = TBenchHive::Get().FreshCopy();
    state.ResumeTiming();
    TFlow flow(hive);  // opening and the profile list
    flow.dlg.btnStartClick();
    if (flow.dlg.State() != app::TMainState::Analysed)
      state.SkipWithError("Auslesen failed");
  }
  ReportMemory(state);
}

// "Löschen" as the window runs it: backup, the four repair steps and the flush.
void BM_HiveLoeschen(benchmark::State& state) {
  TBenchHive::Get();
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path hive = TBenchHive::Get().FreshCopy();
    std::optional<TFlow> flow(std::in_place, hive);
    flow->dlg.btnStartClick();
    state.ResumeTiming();
    flow->dlg.btnDeleteClick();
    if (flow->dlg.State() != app::TMainState::Repaired)
      state.SkipWithError("Löschen failed");
    state.PauseTiming();
    flow.reset();
    state.ResumeTiming();
  }
  ReportMemory(state);
}

// The flush alone: one deleted section makes the whole hive be written anew.
void BM_HiveFlush(benchmark::State& state) {
  TBenchHive::Get();
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path hive = TBenchHive::Get().FreshCopy();
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive);
    store.DeleteKey(registry::store::HKEY_CURRENT_USER,
                    std::u16string(kProfiles) + u"\\B\u00fcro\\5a89cc3fa6d8fe64d70c612c73cdcb86",
                    0);
    state.ResumeTiming();
    if (store.FlushKey(registry::store::HKEY_CURRENT_USER) != registry::store::ERROR_SUCCESS)
      state.SkipWithError("flush failed");
  }
  ReportMemory(state);
}

// A whole repair of the damaged profile in a large hive, as brindel-cli runs it.
void BM_HiveRepairLarge(benchmark::State& state) {
  const THiveShape shape = LargeHive(static_cast<int>(state.range(0)));
  TBenchHive::Get(shape);
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path hive = TBenchHive::Get(shape).FreshCopy();
    state.ResumeTiming();
    {
      TFlow flow(hive);
      flow.dlg.btnStartClick();
      flow.dlg.btnDeleteClick();
      if (flow.dlg.State() != app::TMainState::Repaired)
        state.SkipWithError("Löschen failed");
    }
  }
  state.SetComplexityN(state.range(0));
  ReportMemory(state, shape);
}

// The store's share of that repair: the same sections deleted straight through the
// store, and the flush; no analysis, no backup.
void BM_HiveDeleteLarge(benchmark::State& state) {
  const THiveShape shape = LargeHive(static_cast<int>(state.range(0)));
  TBenchHive::Get(shape);
  const std::u16string profile = std::u16string(kProfiles) + u"\\" + std::u16string(kDamaged);
  for (auto _ : state) {
    state.PauseTiming();
    const fs::path hive = TBenchHive::Get(shape).FreshCopy();
    state.ResumeTiming();
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, hive);
    registry::store::HKEY key = 0;
    store.OpenKey(registry::store::HKEY_CURRENT_USER, profile, registry::store::KEY_ALL_ACCESS,
                  key);
    std::vector<std::u16string> sections;
    std::u16string name;
    for (std::uint32_t i = 0; store.EnumKey(key, i, name) == registry::store::ERROR_SUCCESS; ++i) {
      sections.push_back(name);
    }
    for (const auto& section : sections) {
      registry::store::KeyInfo info;
      registry::store::HKEY sectionKey = 0;
      store.OpenKey(key, section, registry::store::KEY_READ, sectionKey);
      store.QueryInfoKey(sectionKey, info);
      store.CloseKey(sectionKey);
      if (info.subKeys == 0 && info.values == 12)
        store.DeleteKey(key, section, 0);
    }
    store.CloseKey(key);
    if (store.Close() != registry::store::ERROR_SUCCESS)
      state.SkipWithError("flush failed");
  }
  ReportMemory(state, shape);
}

BENCHMARK(BM_HiveOpen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HiveAuslesen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HiveLoeschen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HiveFlush)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HiveDeleteLarge)->Arg(10000)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_HiveRepairLarge)
    ->Arg(100)
    ->Arg(1000)
    ->Arg(10000)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
