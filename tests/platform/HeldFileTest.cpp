// A file held for a run: found by what it is, not by its name; one writer at a time
// with readers beside it; refused with the reason when it cannot be held; and a new
// file put in its place whole, with the old one's permissions, also on Windows, where
// no open file may be replaced.

#include "platform/HeldFile.h"

#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
// After windows.h:
#include <aclapi.h>
#else
#include <sys/stat.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "platform/FileError.h"
#include "platform/FileSystem.h"
#include "platform/NewFile.h"
#include "platform/Text.h"
#include "support/Files.h"

namespace brindel::platform {
namespace {

namespace fs = std::filesystem;
using Use = HeldFile::Use;
using Refusal = HeldFile::Refusal;

class HeldFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = fs::temp_directory_path() /
           ("brindel-held-" + std::to_string(std::random_device{}()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_ / "sub");
    file_ = dir_ / "NTUSER.DAT";
    Write(file_, "the old file's bytes");
  }
  void TearDown() override {
    std::error_code ignored;
    fs::remove_all(dir_, ignored);
  }

  static void Write(const fs::path& file, const std::string& text) {
    std::ofstream(file, std::ios::binary) << text;
  }
  static std::unique_ptr<HeldFile> Hold(const fs::path& file, Use use) {
    Refusal refusal = Refusal::None;
    return HeldFile::Open(file, use, refusal);
  }
  static Refusal RefusalOf(const fs::path& file, Use use) {
    Refusal refusal = Refusal::None;
    const auto held = HeldFile::Open(file, use, refusal);
    return held ? Refusal::None : refusal;
  }

  fs::path dir_;
  fs::path file_;
};

TEST_F(HeldFileTest, IdentityNamesTheFileWhateverPathLeadsToIt) {
  Write(dir_ / "other.dat", "another file");
  const auto identity = IdentityOf(file_);
  ASSERT_TRUE(identity.has_value());
  EXPECT_EQ(identity, IdentityOf(dir_ / "sub" / ".." / "NTUSER.DAT"));
  std::error_code error;
  fs::create_hard_link(file_, dir_ / "link.dat", error);
  ASSERT_FALSE(error) << error.message();
  EXPECT_EQ(identity, IdentityOf(dir_ / "link.dat")) << "a second name of the same file";
  EXPECT_NE(identity, IdentityOf(dir_ / "other.dat"));
  EXPECT_EQ(std::nullopt, IdentityOf(dir_ / "missing.dat"));
}

TEST_F(HeldFileTest, AHeldFileIsKnownByWhatItIsWhileItIsHeld) {
  EXPECT_FALSE(IsHeldFile(file_));
  {
    const auto held = Hold(file_, Use::Read);
    ASSERT_NE(nullptr, held);
    EXPECT_TRUE(IsHeldFile(file_));
    EXPECT_TRUE(IsHeldFile(dir_ / "sub" / ".." / "NTUSER.DAT"));
    EXPECT_FALSE(IsHeldFile(dir_ / "sub"));
    {
      const auto second = Hold(file_, Use::Read);
      ASSERT_NE(nullptr, second);
    }
    EXPECT_TRUE(IsHeldFile(file_)) << "the first still holds it";
  }
  EXPECT_FALSE(IsHeldFile(file_));
}

// A file this run holds is never replaced from under it by the files it writes.
TEST_F(HeldFileTest, WritingOntoAHeldFileIsRefused) {
  const auto held = Hold(file_, Use::Read);
  ASSERT_NE(nullptr, held);
  const std::string path = ToUtf8(file_.u16string());
  EXPECT_FALSE(WriteFileReplacing(path, "a backup"));
  EXPECT_FALSE(LastFileErrorText().empty());
  EXPECT_EQ("the old file's bytes", test::ReadWholeFile(file_));
  EXPECT_FALSE(fs::exists(fs::path(FromUtf8(TemporaryFileOf(path)))));
}

TEST_F(HeldFileTest, OneWriterAtATimeAndReadersBesideIt) {
  auto writer = Hold(file_, Use::Write);
  ASSERT_NE(nullptr, writer);
  EXPECT_EQ(Refusal::Locked, RefusalOf(file_, Use::Write));
  EXPECT_EQ(Refusal::None, RefusalOf(file_, Use::Read));
  const auto reader = Hold(file_, Use::Read);
  ASSERT_NE(nullptr, reader);
  EXPECT_EQ(Refusal::Locked, RefusalOf(file_, Use::Write)) << "readers hold no lock";
  writer->Unlock();
  auto next = Hold(file_, Use::Write);
  ASSERT_NE(nullptr, next) << "the lock given up";
  next.reset();
  writer.reset();
  EXPECT_NE(nullptr, Hold(file_, Use::Write));
}

TEST_F(HeldFileTest, WhatCannotBeHeldSaysWhy) {
  EXPECT_EQ(Refusal::NotFound, RefusalOf(dir_ / "missing.dat", Use::Read));
  EXPECT_EQ(Refusal::NotFound, RefusalOf(dir_ / "missing" / "NTUSER.DAT", Use::Write));
  EXPECT_EQ(Refusal::NotAFile, RefusalOf(dir_ / "sub", Use::Read));
#ifdef _WIN32
  // How Windows holds a hive it has loaded: no one else may open it.
  const HANDLE windows = ::CreateFileW(file_.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                       OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, windows);
  EXPECT_EQ(Refusal::InUse, RefusalOf(file_, Use::Read));
  EXPECT_EQ(Refusal::InUse, RefusalOf(file_, Use::Write));
  EXPECT_TRUE(IdentityOf(file_).has_value()) << "known by what it is all the same";
  ::CloseHandle(windows);
#else
  // A pipe put in a file's place must not stop the run.
  ASSERT_EQ(0, ::mkfifo((dir_ / "pipe").c_str(), 0600));
  EXPECT_EQ(Refusal::NotAFile, RefusalOf(dir_ / "pipe", Use::Read));
#endif
}

TEST_F(HeldFileTest, TheViewShowsTheFile) {
  const auto held = Hold(file_, Use::Read);
  ASSERT_NE(nullptr, held);
  EXPECT_EQ(std::optional<std::uint64_t>(20), held->Size());
  ASSERT_TRUE(held->Map(20));
  const auto view = held->View();
  EXPECT_EQ("the old file's bytes", std::string(view.begin(), view.end()));
  std::vector<std::uint8_t> bytes(100);
  std::size_t got = 0;
  ASSERT_TRUE(held->ReadAt(4, bytes, got));
  EXPECT_EQ("old file's bytes", std::string(bytes.begin(), bytes.begin() + got));
  EXPECT_TRUE(held->Intact());
}

// The whole sequence of a new file: beside the target, written, synced, held, and put
// in the target's place, which the run then holds.
TEST_F(HeldFileTest, ANewFileTakesTheTargetsPlaceWholeWithItsPermissions) {
#ifdef _WIN32
  // A DACL of its own and the attributes of a user hive.
  EXPLICIT_ACCESSW access[2] = {};
  wchar_t everyone[] = L"EVERYONE";
  wchar_t administrators[] = L"ADMINISTRATORS";
  access[0].grfAccessPermissions = GENERIC_ALL;
  access[0].grfAccessMode = SET_ACCESS;
  access[0].Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  access[0].Trustee.ptstrName = everyone;
  access[1].grfAccessPermissions = GENERIC_READ;
  access[1].grfAccessMode = SET_ACCESS;
  access[1].Trustee.TrusteeForm = TRUSTEE_IS_NAME;
  access[1].Trustee.ptstrName = administrators;
  PACL acl = nullptr;
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS), ::SetEntriesInAclW(2, access, nullptr, &acl));
  std::wstring name = file_.wstring();
  ASSERT_EQ(static_cast<DWORD>(ERROR_SUCCESS),
            ::SetNamedSecurityInfoW(name.data(), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, acl, nullptr));
  ::LocalFree(acl);
  ASSERT_TRUE(::SetFileAttributesW(file_.c_str(), FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  const auto daclOf = [](const fs::path& file) {
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    std::wstring wide = file.wstring();
    std::string bytes;
    if (::GetNamedSecurityInfoW(wide.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                                nullptr, &dacl, nullptr, &descriptor) == ERROR_SUCCESS &&
        dacl != nullptr) {
      bytes.assign(reinterpret_cast<const char*>(dacl), dacl->AclSize);
    }
    ::LocalFree(descriptor);
    return bytes;
  };
  const std::string dacl = daclOf(file_);
  ASSERT_FALSE(dacl.empty());
#else
  ASSERT_EQ(0, ::chmod(file_.c_str(), 0640));
#endif
  auto old = Hold(file_, Use::Write);
  ASSERT_NE(nullptr, old);
  ASSERT_TRUE(old->Map(20));
  const auto created = NewFile::CreateUnique(dir_, ".NTUSER.DAT.brindel-", old.get());
  ASSERT_NE(nullptr, created);
  const std::string text = "the new file, longer than the old one";
  ASSERT_TRUE(created->WriteAt(
      std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), 0));
  ASSERT_TRUE(created->Sync());
  auto held = created->Hold();
  ASSERT_NE(nullptr, held);
  EXPECT_EQ(Refusal::Locked, RefusalOf(created->Path(), Use::Write)) << "locked before it is known";
  ASSERT_TRUE(created->PutInPlace(file_, old.get(), false));
  EXPECT_TRUE(SyncFolder(dir_));

  EXPECT_EQ(text, test::ReadWholeFile(file_));
  EXPECT_EQ(file_, held->Path());
  EXPECT_EQ(IdentityOf(file_), held->Identity());
  EXPECT_TRUE(IsHeldFile(file_));
  EXPECT_EQ(Refusal::Locked, RefusalOf(file_, Use::Write)) << "the lock went with the file";
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir_))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ((std::vector<std::string>{"NTUSER.DAT", "sub"}), names);
#ifdef _WIN32
  EXPECT_EQ(dacl, daclOf(file_)) << "the old file's DACL";
  EXPECT_EQ(static_cast<DWORD>(FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM),
            ::GetFileAttributesW(file_.c_str()) & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
#else
  struct stat info {};
  ASSERT_EQ(0, ::stat(file_.c_str(), &info));
  EXPECT_EQ(0640u, info.st_mode & 07777) << "the old file's permissions";
#endif
}

// A program that reads the target while the new file is put in place: elsewhere it
// keeps reading the old file, which the new one replaces; Windows replaces no open
// file, so the replacement fails there, and the run holds and views the old file as
// before. A known difference between the systems, shown as such.
TEST_F(HeldFileTest, AReaderOfTheTargetWhileItIsReplaced) {
  auto old = Hold(file_, Use::Write);
  ASSERT_NE(nullptr, old);
  ASSERT_TRUE(old->Map(20));
  const auto reader = Hold(file_, Use::Read);
  ASSERT_NE(nullptr, reader);
  const auto created = NewFile::CreateUnique(dir_, ".NTUSER.DAT.brindel-", old.get());
  ASSERT_NE(nullptr, created);
  ASSERT_TRUE(created->Append("new"));
  ASSERT_TRUE(created->Sync());
  auto held = created->Hold();
  ASSERT_NE(nullptr, held);
  const bool replaced = created->PutInPlace(file_, old.get(), false);
#ifdef _WIN32
  EXPECT_FALSE(replaced);
  EXPECT_EQ("the old file's bytes", test::ReadWholeFile(file_));
  EXPECT_TRUE(old->Intact());
  const auto view = old->View();
  EXPECT_EQ("the old file's bytes", std::string(view.begin(), view.end())) << "viewed again";
  EXPECT_EQ(Refusal::Locked, RefusalOf(file_, Use::Write)) << "and locked again";
#else
  EXPECT_TRUE(replaced);
  EXPECT_EQ("new", test::ReadWholeFile(file_));
#endif
  ASSERT_TRUE(reader->Map(20));
  const auto read = reader->View();
  EXPECT_EQ("the old file's bytes", std::string(read.begin(), read.end()))
      << "the reader still reads what it opened";
}

}  // namespace
}  // namespace brindel::platform
