// The value names of the hive store: kept in place up to 15 units, on the heap beyond;
// every copy, move and assignment must give the same text on both sides of that line,
// also when the text assigned lies in the very object it is assigned to.

#include "registry/store/ShortText.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace brindel::registry::store {
namespace {

std::u16string Text(std::size_t size) {
  std::u16string text;
  for (std::size_t i = 0; i < size; ++i)
    text += static_cast<char16_t>(u'a' + i % 26 + (i % 7 == 0 ? 0xE0 - u'a' : 0));
  return text;
}

std::u16string Of(const ShortText& text) {
  return std::u16string(static_cast<std::u16string_view>(text));
}

TEST(ShortTextTest, KeepsEveryLengthThroughCopiesAndMoves) {
  for (const std::size_t size : {0u, 1u, 8u, 15u, 16u, 300u}) {
    SCOPED_TRACE(size);
    const std::u16string text = Text(size);
    ShortText name(text);
    EXPECT_EQ(text, Of(name));
    EXPECT_EQ(size, name.size());

    ShortText copy(name);
    EXPECT_EQ(text, Of(copy));
    ShortText moved(std::move(copy));
    EXPECT_EQ(text, Of(moved));
    EXPECT_TRUE(copy.empty())
        << "a text moved from reads as empty";  // NOLINT(bugprone-use-after-move)

    // Assigned over a text of each other length, short and long.
    for (const std::size_t before : {3u, 40u}) {
      ShortText target(Text(before));
      target = name;
      EXPECT_EQ(text, Of(target));
      ShortText other(Text(before));
      other = ShortText(text);
      EXPECT_EQ(text, Of(other));
    }

    // Onto itself, as a compaction of a list may move an entry that stays in place.
    ShortText& same = name;
    name = same;
    EXPECT_EQ(text, Of(name));
    name = std::move(same);
    EXPECT_EQ(text, Of(name));
  }
}

TEST(ShortTextTest, TakesAPartOfItself) {
  struct Part {
    std::size_t size, offset, length;
  };
  // From the heap into place, from the heap to a shorter heap text, and within place.
  for (const Part part : {Part{60, 10, 4}, Part{60, 10, 20}, Part{12, 2, 5}}) {
    SCOPED_TRACE(part.size * 100 + part.length);
    const std::u16string text = Text(part.size);
    ShortText name(text);
    name = static_cast<std::u16string_view>(name).substr(part.offset, part.length);
    EXPECT_EQ(text.substr(part.offset, part.length), Of(name));
  }
}

TEST(ShortTextTest, ResetGivesRoomToWriteInPlace) {
  for (const std::size_t size : {0u, 15u, 16u, 100u}) {
    SCOPED_TRACE(size);
    ShortText name(Text(30));
    const std::u16string text = Text(size);
    std::copy(text.begin(), text.end(), name.Reset(size));
    EXPECT_EQ(text, Of(name));
  }
}

}  // namespace
}  // namespace brindel::registry::store
