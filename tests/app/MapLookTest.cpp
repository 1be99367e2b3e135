// The colour of an entry of the map comes from the mark that weighs most for the
// repair, so that a section that is deleted and empty reads red, not grey.

#include "app/MapLook.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

#include "support/NamedRows.h"

namespace brindel::app {
namespace {

using profile::TMapMarkKind;
using test::PrintTo;
using test::RowName;

constexpr TColour kRed{192, 0, 0};
constexpr TColour kOrange{204, 102, 0};
constexpr TColour kDarkYellow{140, 120, 0};
constexpr TColour kBlue{0, 70, 180};
constexpr TColour kGrey{112, 112, 112};

struct TColourCase {
  const char* name;
  std::vector<TMapMarkKind> marks;
  std::optional<TColour> colour;
};

class EntryColourTest : public ::testing::TestWithParam<TColourCase> {};

TEST_P(EntryColourTest, IsThatOfTheHeaviestMark) {
  profile::TMapEntry entry;
  for (TMapMarkKind kind : GetParam().marks)
    entry.Marks.push_back({kind, u"Wort"});
  EXPECT_EQ(GetParam().colour, EntryColour(entry));
}

INSTANTIATE_TEST_SUITE_P(
    Marks, EntryColourTest,
    ::testing::Values(
        TColourCase{"NoMark", {}, std::nullopt},
        TColourCase{"Deleted", {TMapMarkKind::Deleted}, kRed},
        TColourCase{"DeletedAndEmpty", {TMapMarkKind::Deleted, TMapMarkKind::Empty}, kRed},
        TColourCase{"EmptyAndProtected", {TMapMarkKind::Empty, TMapMarkKind::Kept}, kBlue},
        TColourCase{"UnlinkedAndDeleted", {TMapMarkKind::Unlinked, TMapMarkKind::Deleted}, kRed},
        TColourCase{"RemovedFromTheStoreList", {TMapMarkKind::Removed}, kRed},
        TColourCase{"FaultyAccount", {TMapMarkKind::FaultyAccount}, kOrange},
        TColourCase{
            "RepeatedAndUnlinked", {TMapMarkKind::Repeated, TMapMarkKind::Unlinked}, kOrange},
        TColourCase{"Repeated", {TMapMarkKind::Repeated}, kDarkYellow},
        TColourCase{"StaysAndEmpty", {TMapMarkKind::Stays, TMapMarkKind::Empty}, kGrey}),
    RowName<TColourCase>);

}  // namespace
}  // namespace brindel::app
