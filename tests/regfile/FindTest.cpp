// The incremental search: its order, what it compares, and stopping it from the
// message hook.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/Text.h"
#include "regfile/ExRegistry.h"
#include "support/StoreFixture.h"

namespace brindel::regfile {
namespace {

using namespace registry::store;
using test::Utf16Bytes;

// One match as "path" or "path|VALUE".
using Matches = std::vector<std::string>;

class FindTest : public test::StoreFixture {
 protected:
  void Value(std::u16string_view path, std::u16string_view name) {
    Put(path, name, REG_SZ, Utf16Bytes(u"data"));
  }

  // A tree where "hit" is in some names: matched keys hold more hits, which the
  // search must not report, and Other beside Software must never be reached.
  void MakeTree() {
    Value(u"Software", u"hit-s");
    Value(u"Software\\A", u"a-hit");
    Value(u"Software\\A", u"plain");
    Value(u"Software\\A\\B", u"b-hit");
    Value(u"Software\\A\\B\\Bhit", u"inside-hit");
    Value(u"Software\\A\\B\\Bsub", u"bsub-hit");
    Value(u"Software\\A\\C", u"c-hit");
    Value(u"Software\\A\\Dhit", u"d-inner-hit");
    MakeKey(u"Software\\Zhit\\Below-hit");
    Value(u"Other", u"other-hit");
  }

  static std::string Text(const std::u16string& path, const std::u16string& value, bool withValue) {
    return platform::ToUtf8(path) +
           (withValue && !value.empty() ? "|" + platform::ToUtf8(value) : "");
  }

  // Every match from FindFirst on until the search is exhausted.
  static Matches All(TExRegistry& reg, std::u16string_view text, TSearchParams params,
                     bool whole = false) {
    Matches found;
    std::u16string path;
    std::u16string value;
    const bool withValue = params.Contains(TSearchParam::rsValues);
    for (bool more = reg.FindFirst(text, params, whole, path, value); more;
         more = reg.FindNext(path, value)) {
      found.push_back(Text(path, value, withValue));
    }
    return found;
  }
};

const TSearchParams kKeysAndValues{TSearchParam::rsKeys, TSearchParam::rsValues};

TEST_F(FindTest, OrderFromAStartKeyAndBackUp) {
  MakeTree();
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\A\\B", false));
  // The start key's path keeps the caller's spelling; names the search found are
  // upper case.
  const Matches expected = {
      "\\Software\\A\\B|B-HIT",           // the start key's values first
      "\\Software\\A\\B\\BHIT",           // a matched key, not descended
      "\\Software\\A\\B\\BSUB|BSUB-HIT",  // a key that does not match is searched
      "\\Software\\A|A-HIT",              // then the parent's values,
      "\\Software\\A\\C|C-HIT",           // its subkeys after the start key
      "\\Software\\A\\DHIT",
      "\\Software|HIT-S",  // and so on up; never beside Software
      "\\Software\\ZHIT",
  };
  EXPECT_EQ(expected, All(reg, u"hit", kKeysAndValues));
  std::u16string path = u"kept";
  std::u16string value;
  EXPECT_FALSE(reg.FindNext(path, value)) << "an exhausted search stays exhausted";
  EXPECT_EQ(u"kept", path);
}

TEST_F(FindTest, FromTheRootPathsBeginWithOneBackslash) {
  MakeTree();
  TExRegistry reg;
  const Matches found = All(reg, u"-HIT", kKeysAndValues);
  ASSERT_LE(2u, found.size());
  EXPECT_EQ((Matches{"\\OTHER|OTHER-HIT", "\\SOFTWARE\\A|A-HIT"}),
            Matches(found.begin(), found.begin() + 2));
  EXPECT_EQ((Matches{"\\OTHER", "\\SOFTWARE"}), All(reg, u"e", {TSearchParam::rsKeys}));
}

TEST_F(FindTest, MatchedKeyIsReportedAndPassedOver) {
  MakeKey(u"Start\\Profiles\\ProfX");
  MakeKey(u"Start\\Other\\Profil");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Start", false));
  EXPECT_EQ((Matches{"\\Start\\OTHER\\PROFIL", "\\Start\\PROFILES"}),
            All(reg, u"prof", {TSearchParam::rsKeys}));
}

TEST_F(FindTest, ValuesInAnyLetterCase) {
  Value(u"K", u"Alpha");
  Value(u"K", u"Beta");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"K", false));
  EXPECT_EQ((Matches{"\\K|BETA"}), All(reg, u"tA", {TSearchParam::rsValues}));
  EXPECT_EQ((Matches{}), All(reg, u"ALPH", {TSearchParam::rsValues}, true));
  EXPECT_EQ((Matches{"\\K|ALPHA"}), All(reg, u"alpha", {TSearchParam::rsValues}, true));
  EXPECT_EQ((Matches{}), All(reg, u"", {TSearchParam::rsValues})) << "empty text is in no name";
}

TEST_F(FindTest, WholeEmptyTextFindsDefaultValues) {
  Put(u"K", u"", REG_SZ, Utf16Bytes(u"d"));
  Value(u"K", u"named");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"K", false));
  EXPECT_EQ((Matches{"\\K"}), All(reg, u"", {TSearchParam::rsValues}, true));
}

TEST_F(FindTest, DataIsNeverSearched) {
  Put(u"K", u"v", REG_SZ, Utf16Bytes(u"needle"));
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"K", false));
  EXPECT_EQ((Matches{}), All(reg, u"needle", {TSearchParam::rsData}));
  EXPECT_EQ((Matches{}), All(reg, u"v", {TSearchParam::rsData}));
}

TEST_F(FindTest, KeysOnlyLeaveTheCallersValueText) {
  MakeKey(u"K\\Match");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"K", false));
  std::u16string path;
  std::u16string value = u"caller's";
  ASSERT_TRUE(reg.FindFirst(u"match", {TSearchParam::rsKeys}, false, path, value));
  EXPECT_EQ(u"\\K\\MATCH", path);
  EXPECT_EQ(u"caller's", value);
  value = u"caller's";
  ASSERT_TRUE(reg.FindFirst(u"match", kKeysAndValues, false, path, value));
  EXPECT_EQ(u"", value) << "a key match has no value name";
}

TEST_F(FindTest, KeysWithoutFullAccessAreSearchedAsEmpty) {
  Value(u"K\\ReadOnly", u"hit1");
  Value(u"K\\ReadOnly\\Below", u"hit2");
  Value(u"K\\Hidden", u"hit3");
  Value(u"K\\Open", u"hit4");
  store_.SetProtection(HKEY_CURRENT_USER, u"K\\ReadOnly", MemoryStore::Protection::ReadOnly);
  store_.SetProtection(HKEY_CURRENT_USER, u"K\\Hidden", MemoryStore::Protection::Unreadable);
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"K", false));
  EXPECT_EQ((Matches{"\\K\\OPEN|HIT4"}), All(reg, u"hit", kKeysAndValues));
}

TEST_F(FindTest, LettersBeyondAToZKeepTheirCase) {
  Value(u"K", u"Ärger");
  Value(u"K", u"äpfel");
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"K", false));
  EXPECT_EQ((Matches{"\\K|äPFEL"}), All(reg, u"ä", {TSearchParam::rsValues}));
  EXPECT_EQ((Matches{"\\K|ÄRGER"}), All(reg, u"Ä", {TSearchParam::rsValues}));
}

TEST_F(FindTest, CancelFromTheMessageHookAndContinue) {
  MakeTree();
  TExRegistry plain;
  ASSERT_TRUE(plain.Open(u"Software\\A\\B", false));
  const Matches expected = All(plain, u"hit", kKeysAndValues);

  // The hook stands for a button that the user presses in the middle of a search:
  // every third time the interface gets its messages, it cancels.
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\A\\B", false));
  int calls = 0;
  bool cancelled = false;
  reg.SetProcessMessages([&] {
    if (++calls % 3 == 0) {
      cancelled = true;
      reg.CancelSearch();
    }
  });
  Matches found;
  int cancels = 0;
  std::u16string path;
  std::u16string value;
  bool more = reg.FindFirst(u"hit", kKeysAndValues, false, path, value);
  for (int guard = 0; guard < 100; ++guard) {
    if (more) {
      found.push_back(Text(path, value, true));
    } else if (cancelled) {
      ++cancels;
    } else {
      break;
    }
    cancelled = false;
    more = reg.FindNext(path, value);
  }
  EXPECT_GT(cancels, 2);
  EXPECT_EQ(expected, found) << "cancelling neither loses nor repeats a match";
}

TEST_F(FindTest, FindFirstStartsAfresh) {
  MakeTree();
  TExRegistry reg;
  ASSERT_TRUE(reg.Open(u"Software\\A", false));
  std::u16string path;
  std::u16string value;
  ASSERT_TRUE(reg.FindFirst(u"hit", kKeysAndValues, false, path, value));
  ASSERT_TRUE(reg.FindNext(path, value));
  ASSERT_TRUE(reg.FindFirst(u"plain", kKeysAndValues, false, path, value));
  EXPECT_EQ(u"\\Software\\A", path);
  EXPECT_EQ(u"PLAIN", value);
}

}  // namespace
}  // namespace brindel::regfile
