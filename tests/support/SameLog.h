#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "platform/Text.h"

namespace brindel::test {

// The path of a fixture profile or of its expected log (tests/fixtures/profiles).
inline std::string ProfileFixture(const std::string& name) {
  return std::string(BRINDEL_FIXTURES) + "/profiles/" + name;
}

// An expected log written out beside the fixture profiles: UTF-8, one line each.
inline std::vector<std::u16string> ReadProfileLog(const std::string& name) {
  std::ifstream file(ProfileFixture(name), std::ios::binary);
  EXPECT_TRUE(file) << "missing " << name;
  std::vector<std::u16string> lines;
  std::string line;
  while (std::getline(file, line))
    lines.push_back(platform::FromUtf8(line));
  return lines;
}

// Equal logs, or the first differing line with both texts, and the whole actual log.
inline ::testing::AssertionResult SameLog(const std::vector<std::u16string>& expected,
                                          const std::vector<std::u16string>& actual) {
  const std::size_t common = std::min(expected.size(), actual.size());
  std::size_t first = common;
  for (std::size_t i = 0; i < common; ++i) {
    if (expected[i] != actual[i]) {
      first = i;
      break;
    }
  }
  if (first == common && expected.size() == actual.size())
    return ::testing::AssertionSuccess();
  auto shown = [](const std::vector<std::u16string>& lines, std::size_t i) {
    return i < lines.size() ? "\"" + platform::ToUtf8(lines[i]) + "\"" : std::string("(no line)");
  };
  std::ostringstream text;
  text << "logs differ at line " << first + 1 << "\n  expected: " << shown(expected, first)
       << "\n  actual:   " << shown(actual, first) << "\nactual log:\n";
  for (const auto& line : actual)
    text << "  |" << platform::ToUtf8(line) << "\n";
  return ::testing::AssertionFailure() << text.str();
}

}  // namespace brindel::test
