#include "registry/StringList.h"

#include <gtest/gtest.h>

namespace brindel::registry {
namespace {

using Items = std::vector<std::u16string>;

TEST(StringListTest, UnsortedKeepsOrderAndDuplicates) {
  TStringList list;
  list.Add(u"b");
  list.Add(u"a");
  list.Add(u"b");
  EXPECT_EQ((Items{u"b", u"a", u"b"}), list.Items());
  EXPECT_EQ(0, list.IndexOf(u"B")) << "first match, letter case ignored";
  EXPECT_EQ(-1, list.IndexOf(u"c"));
}

TEST(StringListTest, SortedAcceptingInsertsBeforeTheFirstEqualEntry) {
  TStringList list(true, TStringList::Duplicates::Accept);
  list.Add(u"0000000B");
  EXPECT_EQ(0, list.Add(u"0000000b"));
  EXPECT_EQ(0, list.Add(u"0000000a")) << "letter case ignored: a before B";
  EXPECT_EQ((Items{u"0000000a", u"0000000b", u"0000000B"}), list.Items());
}

TEST(StringListTest, SortedIgnoringKeepsOneEntry) {
  TStringList list(true, TStringList::Duplicates::Ignore);
  list.Add(u"0000000B");
  EXPECT_EQ(-1, list.Add(u"0000000b"));
  EXPECT_EQ((Items{u"0000000B"}), list.Items());
}

TEST(StringListTest, HexTextsSortDigitsBeforeLetters) {
  TStringList list(true);
  for (auto text : {u"f0", u"a9", u"90", u"0f"})
    list.Add(text);
  EXPECT_EQ((Items{u"0f", u"90", u"a9", u"f0"}), list.Items());
}

TEST(StringListTest, FindReportsPresenceAndPlace) {
  TStringList list(true);
  for (auto text : {u"b", u"d", u"d", u"f"})
    list.Add(text);
  int index = -1;
  EXPECT_TRUE(list.Find(u"D", index));
  EXPECT_EQ(1, index);
  EXPECT_FALSE(list.Find(u"e", index));
  EXPECT_EQ(3, index);
  EXPECT_FALSE(list.Find(u"z", index));
  EXPECT_EQ(4, index);
  EXPECT_EQ(1, list.IndexOf(u"d"));
}

TEST(StringListTest, SwitchingToSortedSortsWhatIsThere) {
  TStringList list;
  for (auto text : {u"c", u"A", u"b", u"a"})
    list.Add(text);
  list.SetDuplicates(TStringList::Duplicates::Ignore);
  list.SetSorted(true);
  EXPECT_EQ((Items{u"A", u"a", u"b", u"c"}), list.Items()) << "entries already held stay";
  EXPECT_EQ(-1, list.Add(u"B"));
  EXPECT_EQ(4, list.Count());
}

}  // namespace
}  // namespace brindel::registry
