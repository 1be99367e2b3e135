#pragma once

#include <string>
#include <string_view>

#include "profile/Definition.h"
#include "profile/RecordList.h"

namespace brindel::outlook {

using TProfileList = profile::TRecordList<profile::TTavixFiles>;

// The key below HKEY_CURRENT_USER that holds the mail profiles of an Outlook version,
// given as its major version in decimal ("16"; empty while none is chosen): the Office
// key of version 15 and later, else the Windows Messaging Subsystem's.
std::u16string GetProfilesRegTree(std::u16string_view OutlookVersion);

// One record per subkey of Key that opens for reading, in the registry's enumeration
// order. Empty when Key is empty, missing or unreadable.
TProfileList GetProfileList(std::u16string_view Key);

// The name stored as the default profile of the profile tree in use (RegTreeToUse),
// or empty. Outlook 2013 and later keep the value "DefaultProfile" in the key above
// the profile tree, older versions in the tree itself: the tree is asked first, its
// parent when the tree has no such value. The tree is the one the profiles come from,
// also when it was named instead of derived from the version, so no other tree's
// default marks a profile. A value that is not a string raises the data-type error.
std::u16string GetDefaultProfile(std::u16string_view ProfilesTree);

// The display form of a profile key name: "[" and two characters from "p" (0) to
// DEL (15), low digit first, stand for one character; anything else stays as it is.
std::u16string DecodeProfileKeyName(std::u16string_view Name);

}  // namespace brindel::outlook
