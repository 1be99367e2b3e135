#include <gtest/gtest.h>

#include "profile/ProfileAnalysis.h"
#include "support/RecordingLog.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

using registry::store::HKEY_CURRENT_USER;
using registry::store::MemoryStore;
using registry::store::REG_BINARY;

// An account section that may be read but not written still gives its accounts, so
// that the sections they name stay in use.
TEST(AccountSectionTest, ReadOnlySectionStillListsItsAccounts) {
  MemoryStore store;
  registry::store::ScopedCurrentStore current(store);
  const std::u16string tree = u"Software\\Profiles\\P";
  const std::u16string accounts = tree + u"\\9375CFF0413111d3B88A00104B2A6676";
  const std::u16string service = u"0123456789abcdef0123456789abcdef";
  registry::store::HKEY key = 0;
  ASSERT_EQ(0, store.CreateKey(HKEY_CURRENT_USER, accounts + u"\\00000001",
                               registry::store::KEY_ALL_ACCESS, key));
  ASSERT_EQ(0, store.SetValue(key, u"Service UID", REG_BINARY, test::HexBytes(service)));
  store.CloseKey(key);
  ASSERT_TRUE(store.SetProtection(HKEY_CURRENT_USER, accounts, MemoryStore::Protection::ReadOnly));

  test::TRecordingLog log;
  TProfileAnalysis analysis(log);
  analysis.Analyse(u"Software\\Profiles", u"P");
  ASSERT_EQ(1, analysis.AccountsList->Count());
  EXPECT_EQ(service, (*analysis.AccountsList)[0].ServiceUID);
  EXPECT_GE(analysis.GUIDsUsedList->IndexOf(service), 0);
}

}  // namespace
}  // namespace brindel::profile
