#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>
#include <string_view>

#include "platform/Errors.h"

namespace brindel::regfile {

// A fault in a .reg text, or a change that a store refused while loading one.
// Line() is the line of the file, counted from 1; 0 when the fault is the file's
// as a whole. The message is the complete text, line number included: German from
// the loader, the import's own English texts from the import.
class ERegTextError : public platform::Exception {
 public:
  ERegTextError(int line, std::u16string message);
  int Line() const noexcept { return line_; }

 private:
  int line_;
};

// Throws ERegTextError for a fault of the file line `line`: "Zeile N: " and the
// detail with its %s and %d filled from `texts`.
[[noreturn]] void FailAtLine(int line, std::u16string_view detail,
                             std::initializer_list<std::u16string_view> texts = {});

}  // namespace brindel::regfile
