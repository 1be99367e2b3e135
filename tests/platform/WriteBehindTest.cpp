#include "platform/WriteBehind.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace brindel::platform {
namespace {

// Many more pieces than places, of different sizes, and a writer slower than the
// producer: every piece arrives once, whole, in the order put.
TEST(WriteBehindTest, WritesEveryPieceInOrder) {
  std::string written;
  std::string expected;
  {
    TWriteBehind behind([&written](std::string_view bytes) {
      std::this_thread::sleep_for(std::chrono::microseconds(50));
      written.append(bytes);
      return true;
    });
    for (int i = 0; i < 200; ++i) {
      const std::string piece(static_cast<std::size_t>(i % 7 + 1), static_cast<char>('a' + i % 26));
      expected += piece;
      ASSERT_TRUE(behind.Write(piece));
    }
    ASSERT_TRUE(behind.Finish());
    EXPECT_EQ(written, expected);
  }
  EXPECT_EQ(written, expected);
}

// Put reuses the memory of written pieces; a piece put must not be changed by that.
TEST(WriteBehindTest, ReusedPlacesDoNotMixPieces) {
  std::vector<std::string> pieces;
  TWriteBehind behind([&pieces](std::string_view bytes) {
    pieces.emplace_back(bytes);
    return true;
  });
  ASSERT_TRUE(behind.Write(std::string(1000, 'x')));
  ASSERT_TRUE(behind.Finish());
  ASSERT_TRUE(behind.Write("short"));
  ASSERT_TRUE(behind.Finish());
  ASSERT_EQ(pieces.size(), 2u);
  EXPECT_EQ(pieces[1], "short");
}

// Taken pieces are written as they are, in order with copied ones, and the piece given
// back is one to fill again: the same memory goes round without a copy.
TEST(WriteBehindTest, TakenPiecesGoRoundWithoutACopy) {
  std::string written;
  TWriteBehind behind([&written](std::string_view bytes) {
    written.append(bytes);
    return true;
  });
  TPiece piece = TPiece::WithRoom(16);
  std::set<const char*> memory;
  for (int i = 0; i < 50; ++i) {
    if (piece.capacity < 16)
      piece = TPiece::WithRoom(16);
    memory.insert(piece.bytes.get());
    EXPECT_EQ(0u, piece.size);
    piece.bytes[0] = static_cast<char>('a' + i % 26);
    piece.size = 1;
    ASSERT_TRUE(behind.Take(piece));
    ASSERT_TRUE(behind.Write("-"));
  }
  ASSERT_TRUE(behind.Finish());
  std::string expected;
  for (int i = 0; i < 50; ++i)
    expected += std::string(1, static_cast<char>('a' + i % 26)) + "-";
  EXPECT_EQ(expected, written);
  // A few places' worth of memory, not one per piece.
  EXPECT_LT(memory.size(), 20u);
}

// After a failed write nothing more is written, and both Put and Finish say so.
TEST(WriteBehindTest, StopsAtTheFirstFailedWrite) {
  std::atomic<int> calls{0};
  TWriteBehind behind([&calls](std::string_view) { return ++calls < 3; });
  bool refused = false;
  for (int i = 0; i < 100 && !refused; ++i)
    refused = !behind.Write("piece");
  EXPECT_FALSE(behind.Finish());
  EXPECT_FALSE(behind.Write("more"));
  EXPECT_EQ(calls.load(), 3);
}

// Without Finish, the end of the object still writes what was put.
TEST(WriteBehindTest, EndWritesWhatWasPut) {
  std::string written;
  {
    TWriteBehind behind([&written](std::string_view bytes) {
      written.append(bytes);
      return true;
    });
    ASSERT_TRUE(behind.Write("ab"));
    ASSERT_TRUE(behind.Write("cd"));
  }
  EXPECT_EQ(written, "abcd");
}

}  // namespace
}  // namespace brindel::platform
