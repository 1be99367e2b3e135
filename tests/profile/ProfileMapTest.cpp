// The map of a profile promises what the repair will do: every section it marks
// "wird gelöscht" is gone afterwards and every other one stays, every account it calls
// faulty is deleted, every entry marked unlinked or repeated leaves the lists. Checked
// against the registry the repair leaves, on whole fixture profiles; and the map's
// text for one small profile, worked out by hand.

#include "profile/ProfileMap.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "platform/Text.h"
#include "profile/Findings.h"
#include "profile/ListValues.h"
#include "profile/ProfileNames.h"
#include "profile/Repair.h"
#include "regfile/RegText.h"
#include "registry/RegAccess.h"
#include "support/RecordingLog.h"
#include "support/SameLog.h"
#include "support/StoreFixture.h"

namespace brindel::profile {
namespace {

using Ids = std::set<std::u16string>;

constexpr std::u16string_view kMessagingTree =
    u"Software\\Microsoft\\Windows NT\\CurrentVersion\\Windows Messaging Subsystem\\Profiles";
constexpr std::u16string_view kOfficeTree = u"Software\\Microsoft\\Office\\16.0\\Outlook\\Profiles";

// The ids of the entries that carry a mark of the kind, anywhere in the map.
Ids Marked(const TMapEntry& Entry, TMapMarkKind Kind) {
  Ids ids;
  const std::function<void(const TMapEntry&)> walk = [&](const TMapEntry& entry) {
    for (const TMapMark& mark : entry.Marks) {
      if (mark.Kind == Kind)
        ids.insert(platform::AsciiUpperCase(entry.Id));
    }
    for (const TMapEntry& child : entry.Children)
      walk(child);
  };
  walk(Entry);
  return ids;
}

Ids SubKeys(std::u16string_view Path) {
  registry::TRegAccess reg(registry::store::KEY_READ);
  Ids names;
  if (reg.OpenReadOnly(Path)) {
    TStringList list(false, TStringList::Duplicates::Accept);
    reg.GetSubKeyNames(list);
    for (int i = 0; i < list.Count(); ++i)
      names.insert(platform::AsciiUpperCase(list[i]));
  }
  return names;
}

Ids Difference(const Ids& Before, const Ids& After) {
  Ids gone;
  for (const auto& id : Before) {
    if (!After.count(id))
      gone.insert(id);
  }
  return gone;
}

Ids ProviderIds(std::u16string_view Profile,
                std::initializer_list<std::u16string_view> Lists = {
                    kStoreProviderList, kAddressBookProviderList, kTransportProviderList}) {
  Ids ids;
  for (auto list : Lists) {
    TStringList read(false, TStringList::Duplicates::Accept);
    ReadSectionIdList(Profile, list, read);
    for (int i = 0; i < read.Count(); ++i)
      ids.insert(platform::AsciiUpperCase(read[i]));
  }
  return ids;
}

struct FixtureProfile {
  const char* file;
  std::u16string_view tree;
  std::u16string_view profile;
};

class ProfileMapTest : public test::StoreFixture,
                       public ::testing::WithParamInterface<FixtureProfile> {};

TEST_P(ProfileMapTest, PromisesWhatTheRepairDoes) {
  regfile::LoadRegTextFile(platform::FromUtf8(test::ProfileFixture(GetParam().file)), store_);
  const std::u16string profile =
      std::u16string(GetParam().tree) + u"\\" + std::u16string(GetParam().profile);
  const std::u16string accounts = profile + u"\\" + std::u16string(kAccountSection);
  test::TRecordingLog log;
  TProfileAnalysis analysis(log);
  analysis.Analyse(GetParam().tree, GetParam().profile);
  const TProfileMap map = BuildProfileMap(analysis, CollectFindings(analysis));
  const Ids sectionsBefore = SubKeys(profile);
  const Ids accountsBefore = SubKeys(accounts);

  RepairProfile(analysis);

  const Ids sectionsAfter = SubKeys(profile);
  EXPECT_EQ(Marked(map.Root, TMapMarkKind::Deleted), Difference(sectionsBefore, sectionsAfter));
  for (const auto& id : Marked(map.Root, TMapMarkKind::Stays))
    EXPECT_EQ(1u, sectionsAfter.count(id)) << platform::ToUtf8(id);
  EXPECT_EQ(Marked(map.Root, TMapMarkKind::FaultyAccount),
            Difference(accountsBefore, SubKeys(accounts)));
  const Ids listed = ProviderIds(profile);
  for (const auto& id : Marked(map.Root, TMapMarkKind::Unlinked))
    EXPECT_EQ(0u, listed.count(id)) << platform::ToUtf8(id);
  const Ids stores = ProviderIds(profile, {kStoreProviderList});
  for (const auto& id : Marked(map.Root, TMapMarkKind::Removed))
    EXPECT_EQ(0u, stores.count(id)) << platform::ToUtf8(id);
  // A repeated id keeps its first place, unless it goes as unlinked.
  for (const auto& id : Marked(map.Root, TMapMarkKind::Repeated)) {
    EXPECT_EQ(Marked(map.Root, TMapMarkKind::Unlinked).count(id) ? 0u : 1u, listed.count(id))
        << platform::ToUtf8(id);
  }
  // Empty sections are marked wherever they stand, and the count line counts them.
  EXPECT_EQ(static_cast<int>(Marked(map.Root, TMapMarkKind::Empty).size()), map.Counts.Empty);
}

INSTANTIATE_TEST_SUITE_P(Profiles, ProfileMapTest,
                         ::testing::Values(FixtureProfile{"damaged.reg", kMessagingTree, u"Kaputt"},
                                           FixtureProfile{"accounts.reg", kOfficeTree, u"Konten"},
                                           FixtureProfile{"healthy.reg", kOfficeTree, u"Outlook"},
                                           FixtureProfile{"new.reg", kOfficeTree, u"Neu"}),
                         [](const auto& row) {
                           const std::string name = row.param.file;
                           return name.substr(0, name.find('.'));
                         });

// One service "Dienst A" (5e..01) with its store provider (a0..01, listed twice); a
// provider (a0..02) whose service is not listed; an account without a Service UID; an
// empty section nothing uses.
constexpr std::string_view kSmallProfile = R"(Windows Registry Editor Version 5.00

[HKEY_CURRENT_USER\P\Klein\9207f3e0a3b11019908b08002b2a56c2]
"01023d00"=hex:a0,00,00,00,00,00,00,00,00,00,00,00,00,00,00,01,a0,00,00,00,00,00,00,00,00,00,00,00,00,00,00,01,a0,00,00,00,00,00,00,00,00,00,00,00,00,00,00,02
"01023d0e"=hex:5e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,01

[HKEY_CURRENT_USER\P\Klein\5e000000000000000000000000000001]
"001e3001"="Dienst A"

[HKEY_CURRENT_USER\P\Klein\a0000000000000000000000000000001]
"01023d0c"=hex:5e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,01
"001e3001"="Postfach"
"001e6700"="C:\\post.pst"
"00033009"=hex:02,00,00,00

[HKEY_CURRENT_USER\P\Klein\a0000000000000000000000000000002]
"01023d0c"=hex:5e,00,00,00,00,00,00,00,00,00,00,00,00,00,00,09
"001e3001"="Alt"

[HKEY_CURRENT_USER\P\Klein\e0000000000000000000000000000001]

[HKEY_CURRENT_USER\P\Klein\9375CFF0413111d3B88A00104B2A6676\00000001]
"Account Name"="Ohne Dienst"
)";

class SmallProfileMapTest : public test::StoreFixture {
 protected:
  TProfileMap Map() {
    regfile::LoadRegText(std::span(reinterpret_cast<const std::uint8_t*>(kSmallProfile.data()),
                                   kSmallProfile.size()),
                         store_);
    analysis_.Analyse(u"P", u"Klein");
    return BuildProfileMap(analysis_, CollectFindings(analysis_));
  }

  test::TRecordingLog log_;
  TProfileAnalysis analysis_{log_};
};

TEST_F(SmallProfileMapTest, ReadsAsText) {
  EXPECT_EQ(
      u"6 Abschnitte, 1 Dienst, 3 Provider-Einträge, 1 Konto. Wird gelöscht: 2 Abschnitte; "
      u"leer: 1; nicht verknüpft: 1; doppelt: 1; Konten fehlerhaft: 1.\n"
      u"Profil „Klein“\n"
      u"  Dienste (1)\n"
      u"    Dienst 5e000000000000000000000000000001 „Dienst A“\n"
      u"      Provider a0000000000000000000000000000001 „Postfach“, Datei C:\\post.pst, Standard "
      u"[doppelt (2×)]\n"
      u"  Provider ohne Dienst (1)\n"
      u"    Provider a0000000000000000000000000000002 „Alt“ [nicht verknüpft; wird gelöscht]\n"
      u"  Konten (1)\n"
      u"    Konto 00000001 „Ohne Dienst“ [Konto fehlerhaft: keine Service UID hinterlegt; "
      u"Konto fehlerhaft: in keiner Kontenliste]\n"
      u"  Abschnitte, die nichts verwendet (2)\n"
      u"    Abschnitt a0000000000000000000000000000002 „Alt“ [wird gelöscht]\n"
      u"    Abschnitt e0000000000000000000000000000001 [wird gelöscht; leer]\n"
      u"  Leere Abschnitte (1)\n"
      u"    Abschnitt e0000000000000000000000000000001 [wird gelöscht; leer]\n",
      ProfileMapText(Map()));
}

TEST_F(SmallProfileMapTest, AfterTheRepairSaysWhatWasDone) {
  const TProfileMap repaired = RepairedProfileMap(Map());
  EXPECT_TRUE(repaired.Repaired);
  const std::u16string text = ProfileMapText(repaired);
  EXPECT_EQ(
      u"6 Abschnitte, 1 Dienst, 3 Provider-Einträge, 1 Konto vor der Reparatur. Gelöscht: 2 "
      u"Abschnitte und 1 Konto; aus den Listen entfernt: 1 nicht verknüpfter Provider und 1 "
      u"doppelter Eintrag.",
      text.substr(0, text.find(u'\n')));
  EXPECT_NE(std::u16string::npos,
            text.find(u"Provider a0000000000000000000000000000002 „Alt“ [nicht verknüpft, aus den "
                      u"Listen entfernt; gelöscht]"));
  EXPECT_NE(std::u16string::npos, text.find(u"[doppelt (2×), aus den Listen entfernt]"));
  EXPECT_NE(std::u16string::npos,
            text.find(u"[Konto fehlerhaft: keine Service UID hinterlegt, gelöscht; "));
  EXPECT_EQ(std::u16string::npos, text.find(u"wird gelöscht"));
  // A second call changes nothing more.
  EXPECT_EQ(text, ProfileMapText(RepairedProfileMap(repaired)));
}

}  // namespace
}  // namespace brindel::profile
