#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "profile/LogSink.h"

namespace brindel::test {

// A log that keeps its lines, for tests of the analysis and the repair.
class TRecordingLog : public profile::TLogSink {
 public:
  void Log(std::u16string_view Line) override { lines.emplace_back(Line); }
  std::vector<std::u16string> lines;
};

}  // namespace brindel::test
