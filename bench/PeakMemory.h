#pragma once

// How far a step of a benchmark raises the process's resident memory, read from
// /proc/self (Linux); elsewhere every figure is 0.

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>

namespace brindel::bench {

// A value of /proc/self/status in KiB, or 0 where there is none.
inline std::uint64_t StatusKiB(const std::string& field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  while (std::getline(status, line)) {
    if (line.rfind(field + ":", 0) == 0)
      return std::strtoull(line.c_str() + field.size() + 1, nullptr, 10);
  }
  return 0;
}

// The resident memory now, with the peak mark set back to it, so that the peak after
// a step is that step's own.
inline std::uint64_t ResetPeak() {
  std::ofstream("/proc/self/clear_refs") << "5";
  return StatusKiB("VmRSS");
}

// How far the peak rose above `before` (what ResetPeak gave), in MiB.
inline double ExtraPeakMiB(std::uint64_t before) {
  const std::uint64_t peak = StatusKiB("VmHWM");
  return peak > before ? static_cast<double>(peak - before) / 1024.0 : 0.0;
}

}  // namespace brindel::bench
