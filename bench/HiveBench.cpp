// A large offline user hive: opening it, "Auslesen" and "Löschen" of the damaged demo
// profile in it through the flow object, and the flush that writes the hive anew.
//
// The hive holds the demo registry (a healthy and a damaged profile) and, next to
// them, kFillerProfiles profiles of kSectionsPerProfile sections, each with a
// 1,200-byte binary value and two small ones: more than 50 MB. It is made once per
// process with the project's own writer and the hive store; each run works on a fresh
// copy, so every "Löschen" finds the same damage.
//
// Each benchmark reports the process's peak resident memory so far (getrusage
// ru_maxrss, KiB); run one benchmark per process (--benchmark_filter) to see the peak
// of that step alone.

#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "app/MainDlg.h"
#include "app/MainView.h"
#include "app/RunOptions.h"
#include "platform/Text.h"
#include "registry/store/HiveStore.h"
#include "registry/store/HiveWriter.h"
#include "registry/store/RegText.h"

namespace {

namespace fs = std::filesystem;
using namespace brindel;
using registry::store::HiveStore;

constexpr int kFillerProfiles = 1000;
constexpr int kSectionsPerProfile = 40;
constexpr std::u16string_view kProfiles = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kDamaged = u"B\u00fcro";

// A window that shows nothing and answers nothing.
class TNullView : public app::TMainView {
 public:
  void ClearProfiles() override { selected_ = -1; }
  void AddProfile(std::u16string_view) override {}
  void SelectProfile(int Index) override { selected_ = Index; }
  int SelectedProfile() const override { return selected_; }
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

// The folder with the generated hive, made on first use and removed at exit.
class TBenchHive {
 public:
  static const TBenchHive& Get() {
    static const TBenchHive hive;
    return hive;
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
    return work / "NTUSER.DAT";
  }
  std::uintmax_t Size() const { return fs::file_size(master_); }

 private:
  TBenchHive() {
    std::string pattern = (fs::temp_directory_path() / "brindel-hivebench-XXXXXX").string();
    folder_ = ::mkdtemp(pattern.data());
    master_ = folder_ / "NTUSER.DAT";
    // Made in a child process, so that the peak memory of the benchmarks is their own.
    const pid_t child = ::fork();
    if (child == 0) {
      int status = 1;
      try {
        Generate(master_);
        status = 0;
      } catch (...) {
      }
      ::_exit(status);
    }
    int status = 1;
    if (child < 0 || ::waitpid(child, &status, 0) != child || status != 0)
      throw std::runtime_error("cannot write the benchmark hive");
  }

  static void Generate(const fs::path& master) {
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
    registry::store::LoadRegText(
        std::span(reinterpret_cast<const std::uint8_t*>(userPart.data()), userPart.size()), store);

    std::mt19937_64 random(8);
    std::vector<std::uint8_t> big(1200);
    for (auto& b : big)
      b = static_cast<std::uint8_t>(random());
    for (int p = 0; p < kFillerProfiles; ++p) {
      const std::u16string profile =
          std::u16string(kProfiles) + u"\\Filler" + platform::Widen(std::to_string(p));
      for (int s = 0; s < kSectionsPerProfile; ++s) {
        const std::u16string section = profile + u"\\" + RandomId(random);
        SetValue(store, section, u"01020fff", registry::store::REG_BINARY, big);
        SetValue(store, section, u"001e3001", registry::store::REG_BINARY,
                 std::vector<std::uint8_t>(40, 0x41));
        SetValue(store, section, u"00033009", registry::store::REG_DWORD,
                 std::vector<std::uint8_t>(4, 1));
      }
    }
    if (store.Close() != registry::store::ERROR_SUCCESS)
      throw std::runtime_error("cannot write the benchmark hive");
  }

  fs::path folder_;
  fs::path master_;
};

void ReportMemory(benchmark::State& state) {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  state.counters["peak_rss_KiB"] = static_cast<double>(usage.ru_maxrss);
  state.counters["hive_MB"] = static_cast<double>(TBenchHive::Get().Size()) / 1e6;
}

// One run of the window's flow on a mounted copy, up to the chosen profile.
struct TFlow {
  explicit TFlow(const fs::path& hive) : current(store), dlg(view) {
    store.Mount(HiveStore::MountPoint::CurrentUser, hive);
    dlg.cOutlookVersion = u"16";
    dlg.FormCreate(platform::FromUtf8((hive.parent_path() / "docs").string()));
    dlg.FormShow();
    view.RunPosted();
    for (int i = 0; i < dlg.StrList.Count(); ++i) {
      if (dlg.StrList[i].ProfilName == kDamaged)
        view.SelectProfile(i);
    }
    dlg.cbProfilesChange();
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

// "Löschen" as the window runs it: backup, the four repair phases and the flush.
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

BENCHMARK(BM_HiveOpen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HiveAuslesen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HiveLoeschen)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_HiveFlush)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
