#pragma once

#include <initializer_list>
#include <string_view>

#include "platform/Text.h"

namespace brindel::profile {

// Where the steps of an analysis or repair write their report, one line at a time.
// The flow object that owns the window provides it.
class TLogSink {
 public:
  virtual ~TLogSink() = default;

  virtual void Log(std::u16string_view Line) = 0;

  // Formats Line printf-like (%s and %d take the next argument, already as text) and
  // appends the result as one line.
  void LogFmt(std::u16string_view Line, std::initializer_list<std::u16string_view> Args) {
    Log(platform::Format(Line, Args));
  }
};

}  // namespace brindel::profile
