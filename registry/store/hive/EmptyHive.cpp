#include "registry/store/hive/EmptyHive.h"

#include <array>
#include <span>

#include "platform/NewFile.h"
#include "platform/Text.h"
#include "registry/store/hive/HiveFormat.h"

namespace brindel::registry::store::hive {

using platform::Format;

namespace {

void AppendSid(std::vector<std::uint8_t>& out,
               std::initializer_list<std::uint32_t> subAuthorities) {
  out.push_back(1);  // revision
  out.push_back(static_cast<std::uint8_t>(subAuthorities.size()));
  for (int b : {0, 0, 0, 0, 0, 5})
    out.push_back(static_cast<std::uint8_t>(b));  // NT authority
  for (std::uint32_t sub : subAuthorities) {
    for (int i = 0; i < 4; ++i)
      out.push_back(static_cast<std::uint8_t>(sub >> (8 * i)));
  }
}

void AppendAce(std::vector<std::uint8_t>& out, std::uint32_t mask,
               std::initializer_list<std::uint32_t> sid) {
  std::vector<std::uint8_t> sidBytes;
  AppendSid(sidBytes, sid);
  const auto size = static_cast<std::uint16_t>(8 + sidBytes.size());
  out.push_back(0);     // ACCESS_ALLOWED_ACE_TYPE
  out.push_back(0x02);  // CONTAINER_INHERIT_ACE: new sub keys get the same rights
  out.push_back(static_cast<std::uint8_t>(size));
  out.push_back(static_cast<std::uint8_t>(size >> 8));
  for (int i = 0; i < 4; ++i)
    out.push_back(static_cast<std::uint8_t>(mask >> (8 * i)));
  out.insert(out.end(), sidBytes.begin(), sidBytes.end());
}

// A self-relative security descriptor: owner Administrators, group SYSTEM, and a
// DACL granting SYSTEM and Administrators full access and Users read access.
std::vector<std::uint8_t> RootSecurityDescriptor() {
  constexpr std::uint32_t kKeyAllAccess = 0xF003F;
  constexpr std::uint32_t kKeyRead = 0x20019;
  std::vector<std::uint8_t> aces;
  AppendAce(aces, kKeyAllAccess, {18});
  AppendAce(aces, kKeyAllAccess, {32, 544});
  AppendAce(aces, kKeyRead, {32, 545});
  std::vector<std::uint8_t> acl{2, 0, 0, 0, 3, 0, 0, 0};  // revision 2, 3 ACEs
  acl.insert(acl.end(), aces.begin(), aces.end());
  WriteLE16(acl, 2, static_cast<std::uint16_t>(acl.size()));

  std::vector<std::uint8_t> owner;
  AppendSid(owner, {32, 544});
  std::vector<std::uint8_t> group;
  AppendSid(group, {18});

  constexpr std::uint32_t kHeaderSize = 20;
  std::vector<std::uint8_t> sd(kHeaderSize, 0);
  sd[0] = 1;                 // revision
  WriteLE16(sd, 2, 0x8004);  // SE_SELF_RELATIVE | SE_DACL_PRESENT
  const auto daclAt = kHeaderSize;
  const auto ownerAt = static_cast<std::uint32_t>(daclAt + acl.size());
  const auto groupAt = static_cast<std::uint32_t>(ownerAt + owner.size());
  WriteLE32(sd, 4, ownerAt);
  WriteLE32(sd, 8, groupAt);
  WriteLE32(sd, 12, 0);  // no SACL
  WriteLE32(sd, 16, daclAt);
  sd.insert(sd.end(), acl.begin(), acl.end());
  sd.insert(sd.end(), owner.begin(), owner.end());
  sd.insert(sd.end(), group.begin(), group.end());
  return sd;
}

}  // namespace

std::vector<std::uint8_t> EmptyHiveBytes() {
  constexpr std::size_t kRootKeyCell = kBinHeaderSize;  // right after the bin header
  static constexpr std::array<std::uint8_t, 4> kRootName{'R', 'O', 'O', 'T'};
  const std::size_t nkSize = RoundUp(kCellSizeField + nk::kName + kRootName.size(), 8);
  const std::size_t skCell = kRootKeyCell + nkSize;
  const auto sd = RootSecurityDescriptor();
  const std::size_t skSize = RoundUp(kCellSizeField + sk::kDescriptor + sd.size(), 8);
  const std::size_t freeCell = skCell + skSize;
  const std::uint64_t now = FileTimeNow();

  std::vector<std::uint8_t> file(kBaseBlockSize + kBinAlignment, 0);
  std::span<std::uint8_t> base(file.data(), kBaseBlockSize);
  std::span<std::uint8_t> bin(file.data() + kBaseBlockSize, kBinAlignment);

  base[0] = 'r', base[1] = 'e', base[2] = 'g', base[3] = 'f';
  WriteLE32(base, kSequence1, 1);
  WriteLE32(base, kSequence2, 1);
  WriteLE64(base, kTimeStamp, now);
  WriteLE32(base, kMajorVersion, 1);
  WriteLE32(base, kMinorVersion, 5);
  WriteLE32(base, kFileType, 0);    // primary hive
  WriteLE32(base, kFileFormat, 1);  // direct memory load
  WriteLE32(base, kRootCell, static_cast<std::uint32_t>(kRootKeyCell));
  WriteLE32(base, kBinsSize, static_cast<std::uint32_t>(kBinAlignment));
  WriteLE32(base, kClustering, 1);
  WriteLE32(base, kChecksum, BaseBlockChecksum(base));

  bin[0] = 'h', bin[1] = 'b', bin[2] = 'i', bin[3] = 'n';
  WriteLE32(bin, hbin::kOffset, 0);
  WriteLE32(bin, hbin::kSize, static_cast<std::uint32_t>(kBinAlignment));
  WriteLE64(bin, hbin::kTimeStamp, now);

  // Root key: a hive entry that cannot be deleted, with an ASCII name.
  auto rootCell = bin.subspan(kRootKeyCell, nkSize);
  WriteLE32(rootCell, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(nkSize)));
  auto root = rootCell.subspan(kCellSizeField);
  root[0] = 'n', root[1] = 'k';
  WriteLE16(root, nk::kFlags, 0x002C);  // KEY_HIVE_ENTRY | KEY_NO_DELETE | KEY_COMP_NAME
  WriteLE64(root, nk::kLastWrite, now);
  WriteLE32(root, nk::kParent, 0);
  WriteLE32(root, nk::kSubKeyCount, 0);
  WriteLE32(root, nk::kVolatileSubKeyCount, 0);
  WriteLE32(root, nk::kSubKeyList, kNoCell);
  WriteLE32(root, nk::kVolatileSubKeyList, kNoCell);
  WriteLE32(root, nk::kValueCount, 0);
  WriteLE32(root, nk::kValueList, kNoCell);
  WriteLE32(root, nk::kSecurity, static_cast<std::uint32_t>(skCell));
  WriteLE32(root, nk::kClass, kNoCell);
  WriteLE16(root, nk::kNameLength, static_cast<std::uint16_t>(kRootName.size()));
  std::copy(kRootName.begin(), kRootName.end(), root.begin() + nk::kName);

  // Its security cell, the only one: the list of security cells links it to itself.
  auto securityCell = bin.subspan(skCell, skSize);
  WriteLE32(securityCell, 0, static_cast<std::uint32_t>(-static_cast<std::int32_t>(skSize)));
  auto security = securityCell.subspan(kCellSizeField);
  security[0] = 's', security[1] = 'k';
  WriteLE32(security, sk::kNext, static_cast<std::uint32_t>(skCell));
  WriteLE32(security, sk::kPrevious, static_cast<std::uint32_t>(skCell));
  WriteLE32(security, sk::kReferences, 1);
  WriteLE32(security, sk::kDescriptorSize, static_cast<std::uint32_t>(sd.size()));
  std::copy(sd.begin(), sd.end(), security.begin() + sk::kDescriptor);

  // The rest of the bin is one free cell.
  WriteLE32(bin, freeCell, static_cast<std::uint32_t>(kBinAlignment - freeCell));
  return file;
}

void WriteEmptyHive(const std::filesystem::path& file) {
  const auto bytes = EmptyHiveBytes();
  const auto created = platform::NewFile::CreateExclusive(file);
  if (!created) {
    throw EHiveError(
        Format(platform::LastFileErrorIsExisting()
                   ? u"Die Hive-Datei '%s' gibt es schon; sie wird nicht überschrieben."
                   : u"Die Hive-Datei '%s' kann nicht angelegt werden.",
               {DisplayName(file)}));
  }
  if (!created->WriteAt(bytes, 0) || !created->Sync() || !created->Close()) {
    throw EHiveError(
        Format(u"Die Hive-Datei '%s' kann nicht geschrieben werden.", {DisplayName(file)}));
  }
  created->Keep();
}

}  // namespace brindel::registry::store::hive
