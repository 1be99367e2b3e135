#pragma once

#include <array>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "profile/Definition.h"
#include "profile/LogSink.h"
#include "profile/ProfileNames.h"
#include "profile/RecordList.h"
#include "registry/StringList.h"

namespace brindel::profile {

using registry::TStringList;

// The line that stands before or after a heading of the report.
inline constexpr std::u16string_view kAsterisks = u"*****************************************";

// Adds the texts to a sorted list and leaves it exactly as one Add per text, in this
// order, would: with duplicates ignored the first of equal texts stays, with
// duplicates accepted each text goes before the equal ones already there. One Add
// inserts into the middle of the list, so thousands of them cost n²; this sorts once.
void AddAllSorted(TStringList& List, std::vector<std::u16string> Texts);

// One analysis of one profile ("Auslesen") and the lists it collects. The lists live
// from CreateLists to FreeLists; the repair works on the lists of the last analysis,
// so they stay here, open to it. Every registry path is below HKEY_CURRENT_USER and
// built from ProfileTree. Errors of the registry helpers and codecs are not caught:
// they end the analysis where they happen, with the log written so far.
class TProfileAnalysis {
 public:
  explicit TProfileAnalysis(TLogSink& Sink);
  TProfileAnalysis(const TProfileAnalysis&) = delete;
  TProfileAnalysis& operator=(const TProfileAnalysis&) = delete;

  TLogSink& LogSink() const { return sink_; }

  // The whole analysis of the profile ProfilName below RegTreeToUse, appended to the
  // log: the header, fresh lists, then the steps in their order.
  void Analyse(std::u16string_view RegTreeToUse, std::u16string_view ProfilName);

  // Creates the lists empty; FreeLists releases them and does nothing when they do
  // not exist.
  void CreateLists();
  void FreeLists();

  // The steps, in the order in which Analyse runs them.
  void ScanProfileKeys();
  void LogEmptySections();
  void ReadProviderLists();
  void CheckLinks();
  void ReadAccountLists();
  void ReadAccountEntries();
  void FillGUIDsUsedList();

  // Display name and data file path of the section at SectionPath; empty when the
  // section or the value is missing.
  std::u16string GetContainerName(std::u16string_view SectionPath) const;
  std::u16string GetDataFilePath(std::u16string_view SectionPath) const;
  // The subkey names of the account section in enumeration order; empty when the
  // section does not open with full access.
  TStringList GetAccountKeyNames() const;

  // ProfileTree: the registry path of the profile being analysed.
  std::u16string ProfileTree;
  // The protected section ids, in the order of kKeyConstants.
  std::array<std::u16string, 8> cArrKeyConstants;

  // The record a step is filling; read only within that step.
  PEntries Entries = nullptr;
  PRegKeys RegKeys = nullptr;
  PAccounts Accounts = nullptr;

  // Account numbers of the three account lists: sorted, duplicates ignored.
  std::unique_ptr<TStringList> AccountValues;
  // Provider section ids in reading order, duplicates included: unsorted.
  std::unique_ptr<TStringList> ProviderValues;
  // Service section ids: sorted, duplicates accepted.
  std::unique_ptr<TStringList> ServiceValues;
  // Section ids in use: sorted, duplicates ignored, once FillGUIDsUsedList ran.
  std::unique_ptr<TStringList> GUIDsUsedList;
  std::unique_ptr<TRecordList<TEntries>> EntriesList;
  std::unique_ptr<TRecordList<TRegKeys>> RegKeysList;
  std::unique_ptr<TRecordList<TAccounts>> AccountsList;
  bool bListsCreated = false;

 private:
  using TListReader = void (*)(std::u16string_view, std::u16string_view, TStringList&);

  // Reads one value into a list that earlier groups may have filled and logs what the
  // list gained, numbered on from where the previous group of that list stopped.
  void ReadGroup(std::u16string_view Heading, std::u16string_view ValueName, TListReader Reader,
                 TStringList& List, int& PreviousCount);
  bool IsKeyConstant(std::u16string_view Name) const;
  std::u16string SectionPath(std::u16string_view Section) const;

  TLogSink& sink_;
};

}  // namespace brindel::profile
