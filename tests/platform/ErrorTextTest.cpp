#include "platform/ErrorText.h"

#include <gtest/gtest.h>

#include <string>

#include "platform/LastError.h"
#include "platform/Text.h"
#include "platform/Wine.h"

namespace brindel::platform {
namespace {

struct ErrorTextRow {
  const char* name;
  std::int32_t code;
  std::u16string text;
};

class ErrorTextTest : public ::testing::TestWithParam<ErrorTextRow> {};

TEST_P(ErrorTextTest, ReadsAsWindowsWritesIt) {
  const std::u16string text = ErrorText(GetParam().code);
  const bool hasMessage = GetParam().text.find(u" : ") != std::u16string::npos;
  if (RunningOnWine() && hasMessage) {
    // Known Wine difference: Wine's system messages are worded its own way. The form
    // around them is still the program's.
    const std::u16string head = u"Error " + Widen(std::to_string(GetParam().code)) + u" : ";
    EXPECT_EQ(head, text.substr(0, head.size()));
    EXPECT_GT(text.size(), head.size() + 2);
    EXPECT_EQ(u"\r\n", text.substr(text.size() - 2));
    return;
  }
  EXPECT_EQ(GetParam().text, text);
}

INSTANTIATE_TEST_SUITE_P(
    Codes, ErrorTextTest,
    ::testing::Values(
        ErrorTextRow{"FileNotFound", 2,
                     u"Error 2 : The system cannot find the file specified.\r\n"},
        ErrorTextRow{"PathNotFound", 3,
                     u"Error 3 : The system cannot find the path specified.\r\n"},
        ErrorTextRow{"AccessDenied", 5, u"Error 5 : Access is denied.\r\n"},
        ErrorTextRow{"InvalidHandle", 6, u"Error 6 : The handle is invalid.\r\n"},
        ErrorTextRow{"NotEnoughMemory", 8,
                     u"Error 8 : Not enough memory resources are available to process this "
                     u"command.\r\n"},
        ErrorTextRow{"InvalidData", 13, u"Error 13 : The data is invalid.\r\n"},
        ErrorTextRow{"BadNetPath", 53, u"Error 53 : The network path was not found.\r\n"},
        ErrorTextRow{"InvalidParameter", 87, u"Error 87 : The parameter is incorrect.\r\n"},
        ErrorTextRow{"MoreData", 234, u"Error 234 : More data is available.\r\n"},
        ErrorTextRow{"NoMoreItems", 259, u"Error 259 : No more data is available.\r\n"},
        ErrorTextRow{"BadDb", 1009,
                     u"Error 1009 : The configuration registry database is corrupt.\r\n"},
        ErrorTextRow{"BadKey", 1010,
                     u"Error 1010 : The configuration registry key is invalid.\r\n"},
        ErrorTextRow{"CantOpen", 1011,
                     u"Error 1011 : The configuration registry key could not be opened.\r\n"},
        ErrorTextRow{"CantWrite", 1013,
                     u"Error 1013 : The configuration registry key could not be written.\r\n"},
        ErrorTextRow{"KeyDeleted", 1018,
                     u"Error 1018 : Illegal operation attempted on a registry key that has been "
                     u"marked for deletion.\r\n"},
        ErrorTextRow{"UnknownCode", 4711, u"Error 4711"},
        ErrorTextRow{"NegativeCode", -1, u"Error -1"}),
    [](const ::testing::TestParamInfo<ErrorTextRow>& row) { return row.param.name; });

TEST(LastErrorTest, EachThreadKeepsItsOwnCode) {
  SetLastErrorCode(87);
  EXPECT_EQ(87, LastErrorCode());
  SetLastErrorCode(0);
  EXPECT_EQ(0, LastErrorCode());
}

}  // namespace
}  // namespace brindel::platform
