#include "regfile/RegTextError.h"

#include "platform/Text.h"

namespace brindel::regfile {

ERegTextError::ERegTextError(int line, std::u16string message)
    : Exception(std::move(message)), line_(line) {}

void FailAtLine(int line, std::u16string_view detail,
                std::initializer_list<std::u16string_view> texts) {
  throw ERegTextError(line, platform::Format(u"Zeile %d: ", {platform::Decimal(line)}) +
                                platform::Format(detail, texts));
}

}  // namespace brindel::regfile
