#pragma once

#include <array>
#include <string>
#include <string_view>

#include "registry/Helpers.h"

namespace brindel::profile {

// Every profile lives below HKEY_CURRENT_USER.
inline constexpr registry::TRootSelector kProfileRoot = registry::rsCurrentUser;

// The key of the profile ProfilName (its raw key name) below the profile tree
// RegTreeToUse: the ProfileTree from which every path of the profile is built.
inline std::u16string ProfileTreeOf(std::u16string_view RegTreeToUse,
                                    std::u16string_view ProfilName) {
  return std::u16string(RegTreeToUse) + u"\\" + std::u16string(ProfilName);
}

// The sections of a profile are sub keys named by a 16-byte id in hex digits. These
// three are the ones the analysis and the repair read by name, written exactly so:
// the account section with its mixed letter case.
//
// The provider section lists the providers and services in binary values.
inline constexpr std::u16string_view kProviderSection = u"9207f3e0a3b11019908b08002b2a56c2";
// Below the account section each account has a sub key named by its number, and
// binary values list those numbers.
inline constexpr std::u16string_view kAccountSection = u"9375CFF0413111d3B88A00104B2A6676";
// The section that holds the default store's settings section id.
inline constexpr std::u16string_view kStoreSection = u"0a0d020000000000c000000000000046";

// Sections that Outlook needs in every profile. The scan never marks them for
// deletion and the list of sections in use always holds them. They are compared
// exactly as written here, letter case, braces and hyphens included.
inline constexpr std::array<std::u16string_view, 8> kKeyConstants = {
    u"{D9734F19-8CFB-411D-BC59-833E334FCB5E}",
    kStoreSection,
    u"13dbb0c8aa05101a9bb000aa002fc45a",
    u"c02ebc5353d9cd11975200aa004ae40e",
    u"3517490d76624c419a828607e2a54604",
    u"8503020000000000c000000000000046",
    kProviderSection,
    kAccountSection,
};

// The values of a section are named by their property tag: four hex digits of the
// data type (001f UTF-16 text, 001e 8-bit text, 0102 binary, 0003 a number) and four
// of the property.

// The section's display name, as UTF-16 or as 8-bit text.
inline constexpr std::u16string_view kDisplayNameValue = u"001f3001";
inline constexpr std::u16string_view kDisplayNameAnsiValue = u"001e3001";
// The path of a data file (.pst, .ost), as UTF-16 or as 8-bit text.
inline constexpr std::u16string_view kDataFileValue = u"001f6700";
inline constexpr std::u16string_view kDataFileAnsiValue = u"001e6700";
// In a provider's section, the id of the service section it belongs to.
inline constexpr std::u16string_view kServiceUidValue = u"01023d0c";
// In a provider's section, its flags; the default store's hold this hex text.
inline constexpr std::u16string_view kResourceFlagsValue = u"00033009";
inline constexpr std::u16string_view kDefaultStoreFlags = u"02000000";
// In the store section, and in each service section, the id of the store settings
// section.
inline constexpr std::u16string_view kStoreSettingsValue = u"01023d15";

// The lists of the provider section: 16-byte section ids one after the other.
inline constexpr std::u16string_view kStoreProviderList = u"01023d00";
inline constexpr std::u16string_view kAddressBookProviderList = u"01023d01";
inline constexpr std::u16string_view kTransportProviderList = u"01023d02";
inline constexpr std::u16string_view kServiceList = u"01023d0e";

// The lists of the account section: 32-bit account numbers one after the other.
inline constexpr std::u16string_view kAccountList = u"{ED475418-B0D6-11D2-8C3B-00104B2A6676}";
inline constexpr std::u16string_view kAccountServiceList =
    u"{ED475419-B0D6-11D2-8C3B-00104B2A6676}";
inline constexpr std::u16string_view kAccountProviderList =
    u"{ED475420-B0D6-11D2-8C3B-00104B2A6676}";

}  // namespace brindel::profile
