#pragma once

// A Windows disk as a technician finds it on a PC that no longer starts, made with the
// project's own hive writer: the machine part of the demo registry (Outlook 2016) in
// Windows/System32/config/SOFTWARE, its OUTLOOK.EXE where that registry says, a
// ProfileList, and the users' folders with their NTUSER.DAT.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "app/RegistrySource.h"
#include "platform/Text.h"
#include "regfile/RegText.h"
#include "registry/store/hive/EmptyHive.h"
#include "registry/store/hive/HiveStore.h"

namespace brindel::test {

struct DiskUser {
  std::string name;
  bool outlook = true;  // the demo's profiles, else a user registry without Outlook
  std::string sid;      // the ProfileList entry; none when empty
  // The user's Personal in User Shell Folders (REG_EXPAND_SZ); none when empty.
  std::u16string personal{};
  bool documents = true;  // Users/<name>/Documents is there
};

inline std::vector<std::uint8_t> RegText(std::u16string_view text) {
  std::vector<std::uint8_t> bytes;
  for (const char16_t c : text) {
    bytes.push_back(static_cast<std::uint8_t>(c & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(c >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

// Sets a REG_EXPAND_SZ value, making the key.
inline void SetExpandText(registry::store::RegistryStore& store, registry::store::HKEY root,
                          std::u16string_view key, std::u16string_view name,
                          std::u16string_view text) {
  registry::store::HKEY handle = 0;
  ASSERT_EQ(registry::store::ERROR_SUCCESS,
            store.CreateKey(root, key, registry::store::KEY_ALL_ACCESS, handle));
  ASSERT_EQ(registry::store::ERROR_SUCCESS,
            store.SetValue(handle, name, registry::store::REG_EXPAND_SZ, RegText(text)));
  store.CloseKey(handle);
}

constexpr std::u16string_view kProfileListKey =
    u"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList";
constexpr std::u16string_view kShellFoldersKey =
    u"Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\User Shell Folders";

// The disk below `root`; `systemProfiles` adds the ProfileList entries of Windows'
// own services, which have no NTUSER.DAT a run could use.
inline void MakeWindowsDisk(const std::filesystem::path& root, const std::vector<DiskUser>& users,
                            bool systemProfiles = true) {
  namespace fs = std::filesystem;
  using registry::store::HiveStore;
  const fs::path config = root / "Windows" / "System32" / "config";
  fs::create_directories(config);
  const fs::path demoUser = root / "demo-user.dat";
  registry::store::hive::WriteEmptyHive(config / "SOFTWARE");
  registry::store::hive::WriteEmptyHive(demoUser);
  {
    HiveStore store;
    store.Mount(HiveStore::MountPoint::CurrentUser, demoUser);
    store.Mount(HiveStore::MountPoint::MachineSoftware, config / "SOFTWARE");
    const std::string_view demo = app::DemoRegistryText();
    regfile::LoadRegText(std::span(reinterpret_cast<const std::uint8_t*>(demo.data()), demo.size()),
                         store);
    if (systemProfiles) {
      SetExpandText(store, registry::store::HKEY_LOCAL_MACHINE,
                    std::u16string(kProfileListKey) + u"\\S-1-5-18", u"ProfileImagePath",
                    u"%systemroot%\\system32\\config\\systemprofile");
      SetExpandText(store, registry::store::HKEY_LOCAL_MACHINE,
                    std::u16string(kProfileListKey) + u"\\S-1-5-19", u"ProfileImagePath",
                    u"%systemroot%\\ServiceProfiles\\LocalService");
    }
    for (const DiskUser& user : users) {
      if (!user.sid.empty()) {
        SetExpandText(store, registry::store::HKEY_LOCAL_MACHINE,
                      std::u16string(kProfileListKey) + u"\\" + platform::FromUtf8(user.sid),
                      u"ProfileImagePath",
                      u"%SystemDrive%\\Users\\" + platform::FromUtf8(user.name));
      }
    }
    ASSERT_EQ(registry::store::ERROR_SUCCESS, store.Close())
        << platform::ToUtf8(store.LastWriteError());
  }
  const std::string_view exe = app::DemoOutlookExe();
  const fs::path office = root / "Program Files" / "Microsoft Office" / "root" / "Office16";
  fs::create_directories(office);
  std::ofstream(office / "OUTLOOK.EXE", std::ios::binary)
      .write(exe.data(), static_cast<std::streamsize>(exe.size()));
  for (const DiskUser& user : users) {
    const fs::path folder = root / "Users" / user.name;
    fs::create_directories(folder);
    if (user.documents)
      fs::create_directories(folder / "Documents");
    if (user.outlook)
      fs::copy_file(demoUser, folder / "NTUSER.DAT");
    else
      registry::store::hive::WriteEmptyHive(folder / "NTUSER.DAT");
    if (!user.personal.empty()) {
      HiveStore store;
      store.Mount(HiveStore::MountPoint::CurrentUser, folder / "NTUSER.DAT");
      SetExpandText(store, registry::store::HKEY_CURRENT_USER, kShellFoldersKey, u"Personal",
                    user.personal);
      ASSERT_EQ(registry::store::ERROR_SUCCESS, store.Close());
    }
  }
  fs::remove(demoUser);
}

}  // namespace brindel::test
