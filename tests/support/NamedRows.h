#pragma once

#include <ostream>
#include <string>

#include <gtest/gtest.h>

namespace brindel::test {

// Test rows carry their readable name; a failure shows it instead of the row's bytes.
// A test file brings both into its own namespace (using test::RowName, test::PrintTo),
// where gtest finds PrintTo beside the row type.
template <class Case>
std::string RowName(const ::testing::TestParamInfo<Case>& row) {
  return row.param.name;
}

template <class Case>
requires requires(const Case& row) {
  row.name;
}
void PrintTo(const Case& row, std::ostream* out) {
  *out << row.name;
}

}  // namespace brindel::test
