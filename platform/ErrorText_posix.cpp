#include "platform/ErrorText.h"

#include <algorithm>
#include <array>
#include <string>

#include "platform/Text.h"

namespace brindel::platform {
namespace {

struct SystemMessageRow {
  std::int32_t code;
  std::u16string_view text;
};

// The English messages of Windows, as FormatMessageW gives them, for the codes that
// registry stores, file operations and remote connections return. Sorted by code.
constexpr std::array<SystemMessageRow, 23> kMessages = {{
    {0, u"The operation completed successfully.\r\n"},
    {1, u"Incorrect function.\r\n"},
    {2, u"The system cannot find the file specified.\r\n"},
    {3, u"The system cannot find the path specified.\r\n"},
    {4, u"The system cannot open the file.\r\n"},
    {5, u"Access is denied.\r\n"},
    {6, u"The handle is invalid.\r\n"},
    {8, u"Not enough memory resources are available to process this command.\r\n"},
    {13, u"The data is invalid.\r\n"},
    {14, u"Not enough memory resources are available to complete this operation.\r\n"},
    {32,
     u"The process cannot access the file because it is being used by another "
     u"process.\r\n"},
    {53, u"The network path was not found.\r\n"},
    {87, u"The parameter is incorrect.\r\n"},
    {112, u"There is not enough space on the disk.\r\n"},
    {234, u"More data is available.\r\n"},
    {259, u"No more data is available.\r\n"},
    {1009, u"The configuration registry database is corrupt.\r\n"},
    {1010, u"The configuration registry key is invalid.\r\n"},
    {1011, u"The configuration registry key could not be opened.\r\n"},
    {1012, u"The configuration registry key could not be read.\r\n"},
    {1013, u"The configuration registry key could not be written.\r\n"},
    {1018,
     u"Illegal operation attempted on a registry key that has been marked for "
     u"deletion.\r\n"},
    {1722, u"The RPC server is unavailable.\r\n"},
}};

}  // namespace

std::u16string SystemMessage(std::int32_t code) {
  auto it =
      std::lower_bound(kMessages.begin(), kMessages.end(), code,
                       [](const SystemMessageRow& row, std::int32_t c) { return row.code < c; });
  if (it == kMessages.end() || it->code != code)
    return {};
  return std::u16string(it->text);
}

}  // namespace brindel::platform
