// What both windows show of the backups and ask before a restore: sizes and dates as
// a German user reads them, and a question that names what is about to happen.

#include "app/RestoreChoice.h"

#include <gtest/gtest.h>

#include <ctime>
#include <filesystem>
#include <fstream>

#include "platform/FileSystem.h"
#include "platform/Text.h"
#include "support/NamedRows.h"

namespace brindel::app {
namespace {

using test::PrintTo;
using test::RowName;

struct TSizeCase {
  const char* name;
  std::uintmax_t size;
  std::u16string text;
};

class SizeTextTest : public ::testing::TestWithParam<TSizeCase> {};

TEST_P(SizeTextTest, ReadsAsGerman) {
  EXPECT_EQ(GetParam().text, SizeText(GetParam().size));
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, SizeTextTest,
    ::testing::Values(TSizeCase{"Empty", 0, u"0 Bytes"}, TSizeCase{"OneByte", 1, u"1 Byte"},
                      TSizeCase{"JustBelowAKilobyte", 1023, u"1023 Bytes"},
                      TSizeCase{"OneKilobyte", 1024, u"1,0 KB"},
                      TSizeCase{"DemoBackup", 7567, u"7,4 KB"},
                      TSizeCase{"RoundsToTheNextMegabyte", 1024 * 1024 - 1, u"1,0 MB"},
                      TSizeCase{"LargeProfile", 79900000, u"76,2 MB"}),
    RowName<TSizeCase>);

// A moment given in the local time of the machine.
std::chrono::system_clock::time_point LocalTime(int year, int month, int day, int hour,
                                                int minute) {
  std::tm local{};
  local.tm_year = year - 1900;
  local.tm_mon = month - 1;
  local.tm_mday = day;
  local.tm_hour = hour;
  local.tm_min = minute;
  local.tm_isdst = -1;
  return std::chrono::system_clock::from_time_t(std::mktime(&local));
}

TEST(WrittenTextTest, IsDayMonthYearAndTimeInLocalTime) {
  EXPECT_EQ(u"07.08.2025 09:03", WrittenText(LocalTime(2025, 8, 7, 9, 3)));
}

TEST(RestoreQuestionTest, NamesTheProfileTheFileItsDateAndWhereTheCurrentStateGoes) {
  const auto written = LocalTime(2025, 12, 24, 18, 0);
  EXPECT_EQ(
      u"Das Profil „Büro“ so wiederherstellen, wie es die Datei „C:\\Sicher\\Büro-original.reg“ "
      u"vom 24.12.2025 18:00 hält?\n\nDer jetzige Stand des Profils wird vorher als "
      u"„C:\\Sicher\\Büro-vor-Wiederherstellung.reg“ gesichert.",
      RestoreQuestion(u"Büro", u"C:\\Sicher\\Büro-original.reg", written,
                      u"C:\\Sicher\\Büro-vor-Wiederherstellung.reg"));
  // A file whose date cannot be read is asked for without one.
  EXPECT_EQ(0u, RestoreQuestion(u"Büro", u"x.reg", std::nullopt, u"y.reg")
                    .find(u"Das Profil „Büro“ so wiederherstellen, wie es die Datei „x.reg“ "
                          u"hält?\n\n"));
}

TEST(FileWrittenTest, IsTheFilesWriteTimeOrNone) {
  const auto folder = platform::MakeTemporaryFolder("brindel-written-");
  ASSERT_TRUE(folder);
  const std::filesystem::path file = std::filesystem::path(platform::FromUtf8(*folder)) / "a.reg";
  std::ofstream(file) << "REGEDIT4";
  const auto set = std::filesystem::file_time_type::clock::now() - std::chrono::hours(50);
  std::filesystem::last_write_time(file, set);
  const auto written = FileWritten(file.u16string());
  ASSERT_TRUE(written);
  EXPECT_EQ(WrittenText(std::chrono::time_point_cast<TWritten::duration>(
                std::chrono::file_clock::to_sys(set))),
            WrittenText(*written));
  EXPECT_FALSE(FileWritten(file.u16string() + u".fehlt"));
  std::filesystem::remove_all(std::filesystem::path(platform::FromUtf8(*folder)));
}

}  // namespace
}  // namespace brindel::app
