// The repair of one profile in a hive file as the store does it: mount the hive,
// "Auslesen" of the profile, the four repair steps, and the write of the hive. No
// backup: brindel-cli's repair exports the whole profile tree before this and reads
// the file back, which the export rows of bench/compare-peers measure on their own.
//
//   repair_profile HIVE PROFILE [DELETED]
//
// PROFILE is a profile below Software\Microsoft\Office\16.0\Outlook\Profiles of the
// user hive HIVE. With DELETED, the names of the sections the repair deleted are
// written there, one a line in UTF-8, for hivex_deletes to do the same deletes; that
// is outside what a timed run does. Exit status 0 when the repair was written.

#include <algorithm>
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "profile/ProfileAnalysis.h"
#include "profile/Repair.h"
#include "registry/store/hive/HiveStore.h"

namespace {

using namespace brindel;
using registry::store::HiveStore;

constexpr std::u16string_view kTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";

class TCountingLog : public profile::TLogSink {
 public:
  void Log(std::u16string_view) override { ++lines; }
  std::size_t lines = 0;
};

std::vector<std::u16string> SectionNames(HiveStore& store, std::u16string_view profile) {
  std::vector<std::u16string> names;
  registry::store::HKEY key = 0;
  const std::u16string path = std::u16string(kTree) + u"\\" + std::u16string(profile);
  if (store.OpenKey(registry::store::HKEY_CURRENT_USER, path, registry::store::KEY_READ, key) !=
      registry::store::ERROR_SUCCESS)
    return names;
  std::u16string name;
  for (std::uint32_t i = 0; store.EnumKey(key, i, name) == registry::store::ERROR_SUCCESS; ++i)
    names.push_back(name);
  store.CloseKey(key);
  return names;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 && argc != 4) {
    std::fprintf(stderr, "usage: repair_profile HIVE PROFILE [DELETED]\n");
    return 2;
  }
  try {
    const std::u16string profile = platform::FromUtf8(argv[2]);
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, argv[1]);
    const bool listDeleted = argc == 4;
    const std::vector<std::u16string> before =
        listDeleted ? SectionNames(store, profile) : std::vector<std::u16string>();
    {
      registry::store::ScopedCurrentStore current(store);
      TCountingLog log;
      profile::TProfileAnalysis analysis(log);
      analysis.Analyse(kTree, profile);
      profile::RepairProfile(analysis);
    }
    const std::vector<std::u16string> after =
        listDeleted ? SectionNames(store, profile) : std::vector<std::u16string>();
    if (store.Close() != registry::store::ERROR_SUCCESS) {
      std::fprintf(stderr, "repair_profile: %s\n",
                   platform::ToUtf8(store.LastWriteError()).c_str());
      return 1;
    }
    if (listDeleted) {
      std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
      std::size_t deleted = 0;
      for (const auto& name : before) {
        if (std::find(after.begin(), after.end(), name) == after.end()) {
          out << platform::ToUtf8(name) << '\n';
          ++deleted;
        }
      }
      std::printf("%zu sections deleted\n", deleted);
    }
    return 0;
  } catch (const platform::Exception& error) {
    std::fprintf(stderr, "repair_profile: %s\n", platform::ToUtf8(error.Message()).c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "repair_profile: %s\n", error.what());
  }
  return 1;
}
