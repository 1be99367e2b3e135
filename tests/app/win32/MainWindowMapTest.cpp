// The page "Profil" of the Win32 window: the map of "Auslesen" in a tree view, each
// entry with its marks in words and in colour (the colour the window gives the tree
// when the tree draws the item), the state after "Löschen", and the pages by keyboard.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/MapLook.h"
#include "profile/ProfileMap.h"
#include "support/NamedRows.h"
#include "tests/app/win32/WindowTestSupport.h"

#include <windows.h>

namespace brindel::test {
namespace {

using test::PrintTo;
using test::RowName;

const std::uint32_t kRed = Rgb(192, 0, 0);
const std::uint32_t kOrange = Rgb(204, 102, 0);
const std::uint32_t kDarkYellow = Rgb(140, 120, 0);
const std::uint32_t kBlue = Rgb(0, 70, 180);
const std::uint32_t kGrey = Rgb(112, 112, 112);

// The tree as indented text, as ProfileMapText writes a map: the count line, then the
// entries, two blanks a level.
std::u16string TreeText(const std::vector<TTreeItem>& items) {
  std::u16string text;
  for (std::size_t i = 0; i < items.size(); ++i) {
    const int level = i == 0 ? 0 : items[i].depth;
    text += std::u16string(static_cast<std::size_t>(2 * level), u' ') + items[i].text + u"\n";
  }
  return text;
}

const TTreeItem* ItemStarting(const std::vector<TTreeItem>& items, std::u16string_view start) {
  for (const TTreeItem& item : items) {
    if (item.text.starts_with(start))
      return &item;
  }
  return nullptr;
}

bool AllExpanded(const std::vector<TTreeItem>& items) {
  for (const TTreeItem& item : items) {
    if (item.hasChildren && !item.expanded)
      return false;
  }
  return true;
}

// The damaged profile read.
void Read(TWindowRun& run) {
  run.Load("damaged.reg");
  run.Start(u"14");
  Click(run.StartButton());
  ASSERT_TRUE(run.user.boxes.empty());
  ASSERT_TRUE(run.Dlg().ProfileMap.has_value());
}

TEST(MainWindowMapTest, BeforeAuslesenThePageSaysWhatComes) {
  TWindowRun run;
  run.Load("damaged.reg");
  run.Start(u"14");
  const std::vector<TTreeItem> items = TreeItems(run.Map());
  ASSERT_EQ(1u, items.size());
  EXPECT_EQ(app::kNoMapNote, items[0].text);
  EXPECT_EQ(kGrey, TreeItemColour(run.Map(), items[0]));
}

TEST(MainWindowMapTest, AuslesenShowsTheMapOfTheFlow) {
  TWindowRun run;
  Read(run);
  const std::vector<TTreeItem> items = TreeItems(run.Map());
  ASSERT_GE(items.size(), 2u);
  // The count line on top, then every entry with its marks, as the map's text says.
  EXPECT_EQ(run.Dlg().ProfileMap->CountLine, items[0].text);
  EXPECT_EQ(u"Profil „Kaputt“", items[1].text);
  EXPECT_EQ(profile::ProfileMapText(*run.Dlg().ProfileMap), TreeText(items));
  EXPECT_TRUE(AllExpanded(items));
  EXPECT_EQ(items[0].handle, TreeSelection(run.Map()));
  // The report stays the page shown.
  EXPECT_EQ(0, TabSelection(run.Tabs()));
  EXPECT_TRUE(Visible(run.Memo()));
}

struct TMarkCase {
  const char* name;
  std::u16string entry;
  std::u16string marks;
  std::uint32_t colour;  // 0xFFFFFFFF: the system's text colour
};

class MapMarkTest : public ::testing::TestWithParam<TMarkCase> {};

TEST_P(MapMarkTest, HasItsWordsAndItsColour) {
  const TMarkCase& row = GetParam();
  TWindowRun run;
  Read(run);
  const std::vector<TTreeItem> items = TreeItems(run.Map());
  const TTreeItem* item = ItemStarting(items, row.entry);
  ASSERT_NE(nullptr, item) << platform::ToUtf8(row.entry);
  if (row.marks.empty()) {
    EXPECT_EQ(std::u16string::npos, item->text.find(u'['));
  } else {
    EXPECT_TRUE(item->text.ends_with(u" " + row.marks)) << platform::ToUtf8(item->text);
  }
  EXPECT_EQ(row.colour == 0xFFFFFFFFu ? WindowTextColour() : row.colour,
            TreeItemColour(run.Map(), *item));
  // Selected, an entry keeps the colours of the selection, which stay readable.
  EXPECT_EQ(WindowTextColour(), TreeItemColour(run.Map(), *item, true));
}

INSTANTIATE_TEST_SUITE_P(
    Marks, MapMarkTest,
    ::testing::Values(TMarkCase{"OrphanSection", u"Abschnitt e0000000000000000000000000000001",
                                u"[wird gelöscht]", kRed},
                      TMarkCase{"DeletedAndEmpty", u"Abschnitt e1000000000000000000000000000002",
                                u"[wird gelöscht; leer]", kRed},
                      TMarkCase{"UnlinkedProvider", u"Provider a4000000000000000000000000000004",
                                u"[nicht verknüpft]", kOrange},
                      TMarkCase{"FaultyAccount", u"Konto 0000000a",
                                u"[Konto fehlerhaft: keine Service UID hinterlegt]", kOrange},
                      TMarkCase{"RepeatedProvider", u"Provider a1000000000000000000000000000001",
                                u"[doppelt (3×)]", kDarkYellow},
                      TMarkCase{"ProtectedAndEmpty", u"Abschnitt 8503020000000000c000000000000046",
                                u"[leer; geschützt]", kBlue},
                      TMarkCase{"UnusedWithSubKeys", u"Abschnitt e2000000000000000000000000000003",
                                u"[nicht verwendet, bleibt: hat Unterschlüssel; leer]", kGrey},
                      TMarkCase{"ServiceInUse", u"Dienst b2000000000000000000000000000002", u"",
                                0xFFFFFFFFu}),
    RowName<TMarkCase>);

TEST(MainWindowMapTest, LoeschenShowsWhatTheRepairDid) {
  TWindowRun run;
  Read(run);
  const profile::TProfileMap read = *run.Dlg().ProfileMap;
  Click(run.DeleteButton());
  ASSERT_TRUE(run.user.boxes.empty());
  const std::vector<TTreeItem> items = TreeItems(run.Map());
  EXPECT_EQ(profile::ProfileMapText(profile::RepairedProfileMap(read)), TreeText(items));
  const TTreeItem* orphan = ItemStarting(items, u"Abschnitt e0000000000000000000000000000001");
  ASSERT_NE(nullptr, orphan);
  EXPECT_TRUE(orphan->text.ends_with(u" [gelöscht]"));
  EXPECT_EQ(kRed, TreeItemColour(run.Map(), *orphan));
  EXPECT_TRUE(AllExpanded(items));
}

// The colour reaches the screen: an entry's text is drawn in it.
TEST(MainWindowMapTest, TheTreeDrawsTheColours) {
  TWindowRun run;
  Read(run);
  ClickTab(run.Tabs(), 1);
  ASSERT_TRUE(Visible(run.Map()));
  PaintPending(run.Handle());
  const std::vector<TTreeItem> items = TreeItems(run.Map());
  const TTreeItem* orphan = ItemStarting(items, u"Abschnitt e0000000000000000000000000000001");
  ASSERT_NE(nullptr, orphan);
  const TRect place = TreeItemPlace(run.Map(), *orphan);
  ASSERT_GT(place.width, 0);
  EXPECT_GT(CountPixels(run.Map(), place, kRed), 10) << "the mark's colour in the entry's text";
  // An entry without a mark is drawn in the system's colour.
  const TTreeItem* service = ItemStarting(items, u"Dienst b2000000000000000000000000000002");
  ASSERT_NE(nullptr, service);
  EXPECT_EQ(0, CountPixels(run.Map(), TreeItemPlace(run.Map(), *service), kRed));
  EXPECT_GT(CountPixels(run.Map(), TreeItemPlace(run.Map(), *service), WindowTextColour()), 10);
}

TEST(MainWindowMapTest, ThePagesTurnByKeyboardAndTheTreeByArrows) {
  TWindowRun run;
  Read(run);
  EXPECT_EQ(run.DeleteButton(), Focus());
  {
    // From a button the page turns, and the focus stays where it is.
    const TKeysHeld ctrl{VK_CONTROL};
    run.Press(VK_TAB);
  }
  EXPECT_EQ(1, TabSelection(run.Tabs()));
  EXPECT_TRUE(Visible(run.Map()));
  EXPECT_FALSE(Visible(run.Memo()));
  EXPECT_EQ(run.DeleteButton(), Focus());
  // Tab goes on over the tab strip to the tree.
  SetFocus(run.Tabs());
  run.Press(VK_TAB);
  EXPECT_EQ(run.Map(), Focus());
  // The arrows walk the tree: from the count line down into the profile; Left closes
  // the profile's entry and Right opens it again.
  std::vector<TTreeItem> items = TreeItems(run.Map());
  EXPECT_EQ(items[0].handle, TreeSelection(run.Map()));
  run.Press(VK_DOWN);
  EXPECT_EQ(items[1].handle, TreeSelection(run.Map()));
  run.Press(VK_LEFT);
  EXPECT_FALSE(TreeItems(run.Map())[1].expanded);
  run.Press(VK_RIGHT);
  EXPECT_TRUE(TreeItems(run.Map())[1].expanded);
  run.Press(VK_DOWN);
  EXPECT_EQ(items[2].handle, TreeSelection(run.Map()));
  // Escape does nothing here either.
  run.Press(VK_ESCAPE);
  ASSERT_NE(nullptr, run.Handle());
  EXPECT_TRUE(Visible(run.Handle()));
  EXPECT_EQ(run.Map(), Focus());
  {
    // From the page, the focus goes along to the page that comes: Ctrl+Shift+Tab back
    // to the report, Ctrl+Page Down on to the map.
    const TKeysHeld ctrlShift{VK_CONTROL, VK_SHIFT};
    run.Press(VK_TAB);
  }
  EXPECT_EQ(0, TabSelection(run.Tabs()));
  EXPECT_EQ(run.Memo(), Focus());
  {
    const TKeysHeld ctrl{VK_CONTROL};
    run.Press(VK_NEXT);
  }
  EXPECT_EQ(1, TabSelection(run.Tabs()));
  EXPECT_EQ(run.Map(), Focus());
  // On the tab strip the arrows turn the pages, as a tab control does.
  SetFocus(run.Tabs());
  run.Press(VK_LEFT);
  EXPECT_EQ(0, TabSelection(run.Tabs()));
  EXPECT_TRUE(Visible(run.Memo()));
  EXPECT_FALSE(Visible(run.Map()));
  EXPECT_TRUE(run.user.boxes.empty());
}

}  // namespace
}  // namespace brindel::test
