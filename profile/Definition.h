#pragma once

#include <string>

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
  std::u16string ContainerName;
  std::u16string DataFilePath;
  bool isStandard = false;  // the default store
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
  // Nothing decides on it, but it is read like the others: a value that cannot be
  // read ends the analysis there.
  std::u16string XPProviderUID;
  std::u16string KeyAndSettingsID;  // the account number in decimal, as the log shows it
};
using PAccounts = TAccounts*;

// One mail profile of the profile list.
struct TTavixFiles {
  std::u16string ProfilName;  // the raw key name under the profile tree
};
using PTavixFiles = TTavixFiles*;

}  // namespace brindel::profile
