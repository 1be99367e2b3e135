// The whole run on the live registry: the demo's installation and profiles written
// into the registry of this system (Wine's under Wine), its OUTLOOK.EXE on drive C:,
// then start-up, "Auslesen" and "Löschen" of the damaged profile. The same run on the
// memory store loaded with the same text must come out the same to the byte: the
// log, the backup and log files, and the profiles afterwards.

#include <gtest/gtest.h>

#include <process.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "app/MainDlg.h"
#include "app/RegistrySource.h"
#include "outlook/ProfileList.h"
#include "platform/Text.h"
#include "platform/WindowsPath.h"
#include "platform/Wine.h"
#include "regfile/RegText.h"
#include "registry/store/MemoryStore.h"
#include "registry/store/Win32Store.h"
#include "support/Files.h"
#include "support/SameLog.h"
#include "support/TreeDump.h"
#include "tests/app/FakeMainView.h"

namespace brindel::app {
namespace {

namespace fs = std::filesystem;
using platform::ToUtf8;
using registry::store::HKEY;
using registry::store::HKEY_CURRENT_USER;
using registry::store::RegistryStore;

// Where the demo's installation registry says its OUTLOOK.EXE is, and the profile tree
// of its Outlook version. The start-up finds both by that version, so the run cannot be
// moved elsewhere: the test works on the real paths and removes what it made.
constexpr std::u16string_view kOutlookExe =
    u"C:\\Program Files\\Microsoft Office\\root\\Office16\\OUTLOOK.EXE";
constexpr std::u16string_view kProfileTree =
    u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";
constexpr std::u16string_view kProfile = u"Büro";

std::span<const std::uint8_t> AsBytes(std::string_view text) {
  return {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()};
}

bool KeyExists(RegistryStore& store, HKEY root, std::u16string_view path) {
  HKEY key = 0;
  if (store.OpenKey(root, path, registry::store::KEY_READ, key) != registry::store::ERROR_SUCCESS)
    return false;
  store.CloseKey(key);
  return true;
}

// The profile tree as text, read through the store.
std::string DumpProfiles(RegistryStore& store) {
  HKEY key = 0;
  if (store.OpenKey(HKEY_CURRENT_USER, kProfileTree, registry::store::KEY_READ, key) !=
      registry::store::ERROR_SUCCESS) {
    return "(no profile tree)";
  }
  std::string text;
  test::DumpKey(store, key, ToUtf8(kProfileTree), text);
  store.CloseKey(key);
  return text;
}

// A tree dump or a .reg text with the values of each key in the order Wine's registry
// enumerates them: by name, compared in lower case (the names here are ASCII). A line
// "[key]" starts a key, a blank line ends its values, a line indented by two blanks
// continues the value before it; "@" is the default value, whose name is empty.
std::string InWineValueOrder(const std::string& text) {
  struct Entry {
    std::string name;
    std::string lines;
  };
  auto nameOf = [](const std::string& line) {
    std::string name;
    if (line.front() == '"') {
      for (std::size_t i = 1; i < line.size() && line[i] != '"'; ++i)
        name += line[i] == '\\' && i + 1 < line.size() ? line[++i] : line[i];
    } else if (line.front() != '@') {
      name = line.substr(0, line.find('='));
    }
    for (char& c : name)
      c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return name;
  };
  std::string sorted;
  std::vector<Entry> entries;
  auto flush = [&] {
    std::stable_sort(entries.begin(), entries.end(),
                     [](const Entry& a, const Entry& b) { return a.name < b.name; });
    for (const Entry& entry : entries)
      sorted += entry.lines;
    entries.clear();
  };
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = std::min(text.find('\n', start), text.size() - 1) + 1;
    const std::string line = text.substr(start, end - start);
    start = end;
    if (line.starts_with("  ") && !entries.empty()) {
      entries.back().lines += line;
    } else if (line.front() == '[' || line == "\n" || line == "\r\n") {
      flush();
      sorted += line;
    } else {
      entries.push_back({nameOf(line), line});
    }
  }
  flush();
  return sorted;
}

// What a run shows and leaves behind.
struct TRunOutcome {
  std::u16string outlookVersion;
  std::vector<std::u16string> items;
  std::vector<std::u16string> log;
  std::vector<std::u16string> messages;
  TMainState state = TMainState::Starting;
  std::string profilesBefore;
  std::string profilesAfter;
  // The files of the backup folder by name, with their bytes.
  std::map<std::string, std::string> backup;
};

// Start-up with the version detection, "Auslesen" and "Löschen" of the damaged
// profile, as a user runs them.
TRunOutcome RunDemo(RegistryStore& store, const fs::path& documents) {
  TRunOutcome outcome;
  registry::store::ScopedCurrentStore current(store);
  outcome.profilesBefore = DumpProfiles(store);
  test::FakeMainView view;
  TMainDlg dlg(view);
  dlg.FormCreate(documents.u16string());
  dlg.FormShow();
  view.RunPosted();
  outcome.outlookVersion = dlg.SelectedOutlookVersion;
  outcome.items = view.items;
  dlg.SelectProfile(kProfile);
  dlg.btnStartClick();
  dlg.btnDeleteClick();
  outcome.log = view.log;
  for (const auto& message : view.messages)
    outcome.messages.push_back(message.text);
  outcome.state = dlg.State();
  outcome.profilesAfter = DumpProfiles(store);
  const fs::path folder = documents / u"Brindel";
  if (fs::is_directory(folder)) {
    for (const auto& entry : fs::directory_iterator(folder)) {
      outcome.backup[ToUtf8(entry.path().filename().u16string())] =
          test::ReadWholeFile(entry.path());
    }
  }
  return outcome;
}

class LiveRegistryFlowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(platform::WindowsRoot().empty()) << "the run must see this system's drive C:";
    const auto demo = regfile::ParseRegText(AsBytes(DemoRegistryText()));
    // A registry with an Outlook 16 of its own, or with what a run that was killed
    // left behind, is not touched: the test fails and says what is in the way.
    for (const auto& op : demo.ops) {
      if (op.kind == regfile::RegTextOpKind::CreateKey && KeyExists(live_, op.root, op.path)) {
        GTEST_FAIL() << "the registry already holds " << ToUtf8(op.path)
                     << "; this test needs a registry without Outlook 16";
      }
    }
    if (fs::exists(fs::path(kOutlookExe)))
      GTEST_FAIL() << "there is an OUTLOOK.EXE already: " << ToUtf8(kOutlookExe);

    // What the test makes and removes afterwards: the first missing key on the way to
    // each key of the demo, with everything below it.
    for (const auto& op : demo.ops) {
      std::u16string path;
      for (auto name : registry::store::SplitKeyPath(op.path)) {
        path += (path.empty() ? u"" : u"\\") + std::u16string(name);
        if (!KeyExists(live_, op.root, path)) {
          madeKeys_.emplace(op.root, path);
          break;
        }
      }
    }
    // The same for the folders of OUTLOOK.EXE.
    for (fs::path folder = fs::path(kOutlookExe).parent_path();
         !fs::exists(folder) && folder.has_relative_path(); folder = folder.parent_path()) {
      madeFolder_ = folder;
    }
    fs::create_directories(fs::path(kOutlookExe).parent_path());
    const std::string_view exe = DemoOutlookExe();
    std::ofstream(fs::path(kOutlookExe), std::ios::binary)
        .write(exe.data(), static_cast<std::streamsize>(exe.size()));
    madeExe_ = true;
    ASSERT_EQ(exe.size(), fs::file_size(fs::path(kOutlookExe)));

    const std::u16string process = platform::Widen(std::to_string(::_getpid()));
    for (int attempt = 0; temp_.empty(); ++attempt) {
      const fs::path candidate =
          fs::temp_directory_path() /
          (u"brindel-flow-" + process + u"-" + platform::Widen(std::to_string(attempt)));
      if (fs::create_directory(candidate))
        temp_ = candidate;
    }
    documents_ = temp_ / u"Dokumente";
    fs::create_directory(documents_);

    regfile::LoadRegText(AsBytes(DemoRegistryText()), live_);
    regfile::LoadRegText(AsBytes(DemoRegistryText()), memory_);
  }

  void TearDown() override {
    for (const auto& [root, path] : madeKeys_)
      EXPECT_EQ(registry::store::ERROR_SUCCESS, live_.DeleteTree(root, path)) << ToUtf8(path);
    std::error_code ignored;
    if (madeExe_)
      fs::remove(fs::path(kOutlookExe), ignored);
    if (!madeFolder_.empty())
      fs::remove_all(madeFolder_, ignored);
    if (!temp_.empty())
      fs::remove_all(temp_, ignored);
  }

  registry::store::Win32Store live_;
  registry::store::MemoryStore memory_;
  std::set<std::pair<HKEY, std::u16string>> madeKeys_;
  fs::path madeFolder_;
  bool madeExe_ = false;
  fs::path temp_;
  fs::path documents_;
};

TEST_F(LiveRegistryFlowTest, RunGivesWhatTheMemoryStoreGives) {
  const TRunOutcome memory = RunDemo(memory_, documents_);
  fs::remove_all(documents_ / u"Brindel");
  const TRunOutcome live = RunDemo(live_, documents_);

  // The run did its whole work: the version was found on disk, the profile repaired.
  EXPECT_EQ(u"16", memory.outlookVersion);
  ASSERT_TRUE(memory.messages.empty()) << ToUtf8(memory.messages[0]);
  EXPECT_EQ(TMainState::Repaired, memory.state);
  EXPECT_NE(memory.profilesBefore, memory.profilesAfter) << "the repair deleted nothing";
  EXPECT_EQ((std::vector<std::string>{"Büro-original.reg", "Büro.log", "Büro.reg"}), [&] {
    std::vector<std::string> names;
    for (const auto& [name, bytes] : memory.backup)
      names.push_back(name);
    return names;
  }());

  EXPECT_EQ(memory.outlookVersion, live.outlookVersion);
  EXPECT_EQ(memory.items, live.items);
  EXPECT_TRUE(test::SameLog(memory.log, live.log));
  EXPECT_EQ(memory.messages, live.messages);
  EXPECT_EQ(memory.state, live.state);
  // Known Wine difference: Wine enumerates the values of a key sorted by name, Windows
  // and the memory store in the order they were made; the trees and the backups show
  // them in that order.
  auto valueOrder = [](const std::string& text) {
    return platform::RunningOnWine() ? InWineValueOrder(text) : text;
  };
  EXPECT_EQ(valueOrder(memory.profilesBefore), live.profilesBefore);
  EXPECT_EQ(valueOrder(memory.profilesAfter), live.profilesAfter);
  for (const auto& [name, bytes] : memory.backup) {
    SCOPED_TRACE(name);
    ASSERT_EQ(1u, live.backup.count(name));
    EXPECT_EQ(name.ends_with(".reg") ? valueOrder(bytes) : bytes, live.backup.at(name));
  }
  EXPECT_EQ(memory.backup.size(), live.backup.size());
}

}  // namespace
}  // namespace brindel::app
