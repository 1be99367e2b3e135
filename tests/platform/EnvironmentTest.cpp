#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <ostream>
#include <string>

#include "platform/Environment.h"
#include "platform/Wine.h"
#include "support/Environment.h"

namespace brindel::platform {
namespace {

using test::ScopedEnv;

struct TExpandCase {
  const char* name;
  std::u16string_view text;
  std::u16string_view expected;
  // Where Wine's ExpandEnvironmentStringsW gives another text than Windows: a known
  // Wine difference, checked as such under Wine only.
  std::optional<std::u16string_view> wine = std::nullopt;
};

// Rows show by name in test listings.
void PrintTo(const TExpandCase& row, std::ostream* out) {
  *out << row.name;
}

class ExpandEnvironmentStringsTest : public ::testing::TestWithParam<TExpandCase> {
 protected:
  ScopedEnv known_{"BRINDEL_KNOWN", "wert"};
  ScopedEnv unknown_{"BRINDEL_UNKNOWN", nullptr};
};

TEST_P(ExpandEnvironmentStringsTest, ExpandsLikeWindows) {
  if (RunningOnWine() && GetParam().wine) {
    EXPECT_EQ(*GetParam().wine, ExpandEnvironmentStrings(GetParam().text)) << "Wine, not Windows";
    return;
  }
  EXPECT_EQ(GetParam().expected, ExpandEnvironmentStrings(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ExpandEnvironmentStringsTest,
    ::testing::Values(TExpandCase{"Known", u"a%BRINDEL_KNOWN%b", u"awertb"},
                      TExpandCase{"KnownInOtherCase", u"%brindel_known%", u"wert"},
                      TExpandCase{"UnknownStays", u"a%BRINDEL_UNKNOWN%b", u"a%BRINDEL_UNKNOWN%b"},
                      // Wine does not let the closing "%" of an unknown name open the next.
                      TExpandCase{"UnknownClosingOpensTheNext", u"%BRINDEL_UNKNOWN%BRINDEL_KNOWN%",
                                  u"%BRINDEL_UNKNOWNwert", u"%BRINDEL_UNKNOWN%BRINDEL_KNOWN%"},
                      TExpandCase{"LonePercent", u"50% mehr", u"50% mehr"},
                      TExpandCase{"TwoPercents", u"%%", u"%%"},
                      TExpandCase{"NoReference", u"/home/anna", u"/home/anna"}),
    [](const ::testing::TestParamInfo<TExpandCase>& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace brindel::platform
