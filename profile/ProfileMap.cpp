#include "profile/ProfileMap.h"

#include <map>
#include <set>

#include "platform/Errors.h"
#include "platform/Text.h"
#include "registry/RegAccess.h"

namespace brindel::profile {
namespace {

using platform::AsciiLowerCase;
using platform::AsciiUpperCase;
using platform::Decimal;

// Section ids are compared as the registry compares key names of hex digits: without
// regard to letter case.
using TIdSet = std::set<std::u16string>;

std::u16string Key(std::u16string_view Id) {
  return AsciiUpperCase(Id);
}

bool Holds(const TIdSet& Set, std::u16string_view Id) {
  return Set.count(Key(Id)) != 0;
}

std::u16string Quoted(std::u16string_view Name) {
  return Name.empty() ? std::u16string() : u" „" + std::u16string(Name) + u"“";
}

std::u16string Plural(int Count, std::u16string_view One, std::u16string_view Many) {
  return Decimal(Count) + u" " + std::u16string(Count == 1 ? One : Many);
}

// What the findings say of the profile's sections and entries, looked up by id.
class TMapBuilder {
 public:
  TMapBuilder(const TProfileAnalysis& Analysis, const TFindings& Findings)
      : analysis_(Analysis), findings_(Findings) {
    for (const auto& record : *Analysis.RegKeysList)
      sections_.insert(Key(record->EntryName));
    for (const auto& section : Findings.UnusedSections)
      Delete(section.Id);
    for (const auto& section : Findings.EmptySections)
      empty_.insert(Key(section.Id));
    for (const auto& entry : Findings.RepeatedEntries)
      repeated_[Key(entry.Id)] = entry.Count;
    for (const auto& id : Analysis.cArrKeyConstants)
      protected_.insert(Key(id));
    // The providers of each service, in the order of the lists: found once here, not
    // by a walk over all providers for every service of a large profile.
    for (const auto& provider : *Analysis.EntriesList) {
      const std::u16string service =
          provider->EntryPendant.empty() ? std::u16string() : Key(provider->EntryPendant);
      providersOf_[service].push_back(provider.get());
    }
    for (const auto& account : Findings.FaultyAccounts) {
      faulty_[account.Account].push_back(account.Why);
      if (account.Why != TFaultyAccount::Reason::NotListed)
        continue;
      // The repair takes the service and the settings of an account that no list
      // names with it, and the service's providers leave the store-provider list.
      for (const auto& record : *Analysis.AccountsList) {
        if (record->RegKey != account.Account)
          continue;
        for (const std::u16string* id : {&record->ServiceUID, &record->PrefsUID}) {
          if (!id->empty() && !Holds(protected_, *id) && Holds(sections_, *id))
            Delete(*id);
        }
        if (!record->ServiceUID.empty())
          removedWith_.emplace(Key(record->ServiceUID), record->RegKey);
      }
    }
  }

  // A section the repair deletes; one with sub keys stays, since the repair deletes
  // a key only when it has none.
  void Delete(std::u16string_view Id) {
    registry::TRegAccess reg(registry::store::KEY_READ);
    registry::TRegKeyInfo info;
    if (reg.OpenReadOnly(analysis_.ProfileTree + u"\\" + std::u16string(Id)) &&
        reg.GetKeyInfo(info) && info.NumSubKeys > 0) {
      stays_.insert(Key(Id));
    } else {
      deleted_.insert(Key(Id));
    }
  }

  TProfileMap Build() {
    TProfileMap map;
    const std::u16string& tree = analysis_.ProfileTree;
    const auto slash = tree.rfind(u'\\');
    map.Root.Text =
        u"Profil" + Quoted(slash == std::u16string::npos ? tree : tree.substr(slash + 1));
    map.Counts.Sections = findings_.Sections;
    map.Counts.ProviderEntries = findings_.Providers;
    map.Counts.Deleted = static_cast<int>(deleted_.size());
    map.Counts.Empty = static_cast<int>(findings_.EmptySections.size());
    map.Counts.Unlinked = static_cast<int>(findings_.UnlinkedProviders.size());
    map.Counts.Repeated = static_cast<int>(findings_.RepeatedEntries.size());
    map.Counts.FaultyAccounts = static_cast<int>(faulty_.size());

    TMapEntry services{u"Dienste", {}, {}, {}};
    TIdSet seen;
    const TStringList& serviceIds = *analysis_.ServiceValues;
    for (int i = 0; i < serviceIds.Count(); ++i) {
      if (seen.insert(Key(serviceIds[i])).second)
        services.Children.push_back(Service(serviceIds[i]));
    }
    map.Counts.Services = static_cast<int>(services.Children.size());
    map.Root.Children.push_back(Group(std::move(services)));

    TMapEntry unlinked{u"Provider ohne Dienst", {}, {}, Providers(u"")};
    if (!unlinked.Children.empty())
      map.Root.Children.push_back(Group(std::move(unlinked)));

    TMapEntry accounts{u"Konten", {}, {}, {}};
    for (const auto& account : *analysis_.AccountsList)
      accounts.Children.push_back(Account(*account));
    map.Counts.Accounts = static_cast<int>(accounts.Children.size());
    map.Root.Children.push_back(Group(std::move(accounts)));

    TMapEntry unused{u"Abschnitte, die nichts verwendet", {}, {}, {}};
    for (const auto& section : findings_.UnusedSections)
      unused.Children.push_back(Section(u"Abschnitt", section.Id, section.Name));
    map.Root.Children.push_back(Group(std::move(unused)));

    TMapEntry empty{u"Leere Abschnitte", {}, {}, {}};
    for (const auto& section : findings_.EmptySections)
      empty.Children.push_back(Section(u"Abschnitt", section.Id, section.Name));
    map.Root.Children.push_back(Group(std::move(empty)));

    map.CountLine = CountLine(map.Counts, false);
    return map;
  }

 private:
  // A group shows how many entries it holds.
  static TMapEntry Group(TMapEntry Entry) {
    Entry.Text += u" (" + Decimal(static_cast<int>(Entry.Children.size())) + u")";
    return Entry;
  }

  std::u16string NameOf(std::u16string_view Id) const {
    try {
      return analysis_.GetContainerName(analysis_.ProfileTree + u"\\" + std::u16string(Id));
    } catch (const platform::Exception&) {
      // A name of the wrong type is no name; the report says so already.
      return {};
    }
  }

  // The marks a section id earns wherever it stands.
  void MarkSection(TMapEntry& Entry, std::u16string_view Id) const {
    if (Holds(deleted_, Id))
      Entry.Marks.push_back({TMapMarkKind::Deleted, u"wird gelöscht"});
    if (Holds(stays_, Id))
      Entry.Marks.push_back({TMapMarkKind::Stays, u"nicht verwendet, bleibt: hat Unterschlüssel"});
    if (Holds(empty_, Id))
      Entry.Marks.push_back({TMapMarkKind::Empty, u"leer"});
    if (Holds(protected_, Id))
      Entry.Marks.push_back({TMapMarkKind::Kept, u"geschützt"});
  }

  TMapEntry Section(std::u16string_view Kind, std::u16string_view Id,
                    std::u16string_view Name) const {
    TMapEntry entry{std::u16string(Kind) + u" " + AsciiLowerCase(Id) + Quoted(Name),
                    AsciiLowerCase(Id),
                    {},
                    {}};
    MarkSection(entry, Id);
    return entry;
  }

  TMapEntry Service(std::u16string_view Id) const {
    TMapEntry entry = Section(u"Dienst", Id, NameOf(Id));
    entry.Children = Providers(Id);
    return entry;
  }

  // The providers that name the service `ServiceId`; with an empty id, those that name
  // no listed service. Each provider once, in the order of the lists.
  std::vector<TMapEntry> Providers(std::u16string_view ServiceId) const {
    std::vector<TMapEntry> providers;
    const auto listed = providersOf_.find(ServiceId.empty() ? std::u16string() : Key(ServiceId));
    if (listed == providersOf_.end())
      return providers;
    TIdSet seen;
    for (const TEntries* provider : listed->second) {
      if (!seen.insert(Key(provider->Entry9702)).second)
        continue;
      std::u16string text =
          u"Provider " + AsciiLowerCase(provider->Entry9702) + Quoted(provider->ContainerName);
      if (!provider->DataFilePath.empty())
        text += u", Datei " + provider->DataFilePath;
      if (provider->isStandard)
        text += u", Standard";
      TMapEntry entry{std::move(text), AsciiLowerCase(provider->Entry9702), {}, {}};
      if (provider->EntryPendant.empty())
        entry.Marks.push_back({TMapMarkKind::Unlinked, u"nicht verknüpft"});
      if (!provider->EntryPendant.empty()) {
        if (auto it = removedWith_.find(Key(provider->EntryPendant)); it != removedWith_.end())
          entry.Marks.push_back(
              {TMapMarkKind::Removed,
               u"wird mit Konto " + it->second + u" aus der Liste der Store-Provider entfernt"});
      }
      if (auto it = repeated_.find(Key(provider->Entry9702)); it != repeated_.end()) {
        entry.Marks.push_back({TMapMarkKind::Repeated, u"doppelt (" + Decimal(it->second) + u"×)"});
      }
      MarkSection(entry, provider->Entry9702);
      providers.push_back(std::move(entry));
    }
    return providers;
  }

  TMapEntry Account(const TAccounts& Account) const {
    std::u16string text = u"Konto " + Account.RegKey + Quoted(Account.Accountname);
    if (!Account.ServiceName.empty())
      text += u" (" + Account.ServiceName + u")";
    TMapEntry entry{std::move(text), Account.RegKey, {}, {}};
    if (auto it = faulty_.find(Account.RegKey); it != faulty_.end()) {
      for (TFaultyAccount::Reason reason : it->second) {
        entry.Marks.push_back(
            {TMapMarkKind::FaultyAccount, reason == TFaultyAccount::Reason::NoServiceUid
                                              ? u"Konto fehlerhaft: keine Service UID hinterlegt"
                                              : u"Konto fehlerhaft: in keiner Kontenliste"});
      }
    }
    const std::pair<std::u16string_view, const std::u16string*> named[] = {
        {u"Dienst", &Account.ServiceUID},
        {u"Einstellungen", &Account.PrefsUID},
        {u"XP-Provider", &Account.XPProviderUID},
    };
    for (const auto& [kind, id] : named) {
      if (!id->empty())
        entry.Children.push_back(Section(kind, *id, NameOf(*id)));
    }
    return entry;
  }

  const TProfileAnalysis& analysis_;
  const TFindings& findings_;
  TIdSet sections_;
  TIdSet deleted_;
  TIdSet stays_;
  TIdSet empty_;
  TIdSet protected_;
  std::map<std::u16string, int> repeated_;
  // The services of faulty accounts, with the account that takes them.
  std::map<std::u16string, std::u16string> removedWith_;
  std::map<std::u16string, std::vector<TFaultyAccount::Reason>> faulty_;
  // The providers by the service they name (upper case); "" for none.
  std::map<std::u16string, std::vector<const TEntries*>> providersOf_;
};

void MarkDone(TMapEntry& Entry) {
  for (TMapMark& mark : Entry.Marks) {
    switch (mark.Kind) {
      case TMapMarkKind::Deleted:
        mark.Text = u"gelöscht";
        break;
      case TMapMarkKind::Unlinked:
      case TMapMarkKind::Repeated:
        mark.Text += u", aus den Listen entfernt";
        break;
      case TMapMarkKind::FaultyAccount:
        mark.Text += u", gelöscht";
        break;
      case TMapMarkKind::Removed:
        mark.Text.replace(mark.Text.find(u"wird "), 5, u"");
        break;
      case TMapMarkKind::Stays:
      case TMapMarkKind::Empty:
      case TMapMarkKind::Kept:
        break;
    }
  }
  for (TMapEntry& child : Entry.Children)
    MarkDone(child);
}

void AppendText(const TMapEntry& Entry, int Level, std::u16string& Text) {
  Text.append(static_cast<std::size_t>(2 * Level), u' ');
  Text += MapEntryLine(Entry);
  Text += u'\n';
  for (const TMapEntry& child : Entry.Children)
    AppendText(child, Level + 1, Text);
}

}  // namespace

std::u16string MapEntryLine(const TMapEntry& Entry) {
  std::u16string line = Entry.Text;
  if (!Entry.Marks.empty()) {
    line += u" [";
    for (std::size_t i = 0; i < Entry.Marks.size(); ++i)
      line += (i == 0 ? u"" : u"; ") + Entry.Marks[i].Text;
    line += u"]";
  }
  return line;
}

std::u16string CountLine(const TMapCounts& Counts, bool Repaired) {
  std::u16string line = Plural(Counts.Sections, u"Abschnitt", u"Abschnitte") + u", " +
                        Plural(Counts.Services, u"Dienst", u"Dienste") + u", " +
                        Plural(Counts.ProviderEntries, u"Provider-Eintrag", u"Provider-Einträge") +
                        u", " + Plural(Counts.Accounts, u"Konto", u"Konten");
  if (Repaired) {
    return line + u" vor der Reparatur. Gelöscht: " +
           Plural(Counts.Deleted, u"Abschnitt", u"Abschnitte") + u" und " +
           Plural(Counts.FaultyAccounts, u"Konto", u"Konten") + u"; aus den Listen entfernt: " +
           Plural(Counts.Unlinked, u"nicht verknüpfter Provider", u"nicht verknüpfte Provider") +
           u" und " + Plural(Counts.Repeated, u"doppelter Eintrag", u"doppelte Einträge") + u".";
  }
  return line + u". Wird gelöscht: " + Plural(Counts.Deleted, u"Abschnitt", u"Abschnitte") +
         u"; leer: " + Decimal(Counts.Empty) + u"; nicht verknüpft: " + Decimal(Counts.Unlinked) +
         u"; doppelt: " + Decimal(Counts.Repeated) + u"; Konten fehlerhaft: " +
         Decimal(Counts.FaultyAccounts) + u".";
}

TProfileMap BuildProfileMap(const TProfileAnalysis& Analysis, const TFindings& Findings) {
  return TMapBuilder(Analysis, Findings).Build();
}

TProfileMap RepairedProfileMap(TProfileMap Map) {
  if (Map.Repaired)
    return Map;
  MarkDone(Map.Root);
  Map.Repaired = true;
  Map.CountLine = CountLine(Map.Counts, true);
  return Map;
}

std::u16string ProfileMapText(const TProfileMap& Map) {
  std::u16string text = Map.CountLine + u'\n';
  AppendText(Map.Root, 0, text);
  return text;
}

}  // namespace brindel::profile
