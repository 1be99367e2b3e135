#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindel::profile {

// One sub key of the profile tree, normally a section.
struct TRegKeys {
  std::u16string EntryName;  // the name as the registry lists it
  bool bEmpty = false;       // could be opened and holds no values
  bool bStandard = false;    // one of the protected section ids, letter case included
  bool bToDelete = false;    // not standard and empty
};
using PRegKeys = TRegKeys*;

// One provider entry of the provider section.
struct TEntries {
  std::u16string Entry9702;     // the provider's section id as listed
  std::u16string EntryPendant;  // the linked service id, when it is a listed service
  bool bCorrect = false;        // true exactly when EntryPendant was set
  std::u16string ContainerName;
  std::u16string DataFilePath;
  bool isStandard = false;
};
using PEntries = TEntries*;

// One account entry below the account section.
struct TAccounts {
  std::u16string RegKey;  // the account number naming the entry's key
  std::u16string Accountname;
  std::u16string ServiceName;
  std::u16string POP3Account;
  std::u16string ServiceUID;
  std::u16string PrefsUID;
  std::u16string XPProviderUID;
  std::u16string EntryPendant;  // never set; kept for the record's shape
  std::u16string KeyAndSettingsID;
};
using PAccounts = TAccounts*;

// One mail profile of the profile list. Only ProfilName is used; the other fields
// describe a profile's files and stay empty.
struct TTavixFiles {
  std::u16string ProfilName;  // the raw key name under the profile tree
  std::u16string MailPath;
  std::vector<std::u16string> FDataFile;
  std::vector<std::u16string> FDataFileRemarks;
  std::vector<std::int64_t> FDataFileSize;
  std::vector<bool> FAnsiFormat;
  std::u16string FArchivPST;
  std::vector<std::u16string> FSignaturen;
  std::u16string FPAB, FRegeln, FOutlookleiste, FDruckeinstellung, FWindowsAdressbuch,
      FSymbolleiste, FNavigationPane, FNK2, FViewsDat, FVBAotm;
  std::u16string FBCMFileName;
  std::u16string FRSS, FQuickParts, FWQParts, FOneNoteDBs, FZipFileName;
};
using PTavixFiles = TTavixFiles*;

}  // namespace brindel::profile
