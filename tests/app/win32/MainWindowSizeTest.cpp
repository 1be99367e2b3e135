// The main window's size: drawn anew when it grows, and within the work area of its
// monitor at every scale. The process runs at the DPI its Wine prefix sets
// (LogPixels); the tests check against that DPI, whichever it is.

#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "tests/app/win32/WindowTestSupport.h"

#include <windows.h>

namespace brindel::test {
namespace {

constexpr int kDesignWidth = 754;
constexpr int kDesignHeight = 623;

int AtDpi(int pixels, int dpi) {
  return MulDiv(pixels, dpi, 96);
}

// The window at `dpi`: on the screen, the controls of the panel at the design's
// places at that DPI and in its fonts, the report filling the rest.
void ExpectLaidOutAtDpi(TWindowRun& run, int dpi) {
  const TRect area = WorkArea(run.Handle());
  const TRect frame = FrameOnScreen(run.Handle());
  const TRect client = ClientRect(run.Handle());
  EXPECT_TRUE(Inside(frame, area))
      << "frame " << frame.left << "," << frame.top << " " << frame.width << "x" << frame.height
      << ", work area " << area.width << "x" << area.height;
  EXPECT_EQ(AtDpi(24, dpi), PlaceInParent(run.Profiles()).left);
  EXPECT_EQ(AtDpi(23, dpi), PlaceInParent(run.Profiles()).top);
  EXPECT_EQ((TRect{AtDpi(342, dpi), AtDpi(21, dpi), AtDpi(75, dpi), AtDpi(25, dpi)}),
            PlaceInParent(run.StartButton()));
  EXPECT_EQ((TRect{AtDpi(423, dpi), AtDpi(21, dpi), AtDpi(75, dpi), AtDpi(25, dpi)}),
            PlaceInParent(run.DeleteButton()));
  EXPECT_EQ((TRect{AtDpi(504, dpi), AtDpi(21, dpi), AtDpi(110, dpi), AtDpi(25, dpi)}),
            PlaceInParent(run.RestoreButton()));
  EXPECT_EQ((TRect{0, 0, client.width, AtDpi(81, dpi)}), PlaceInParent(run.Panel()));
  // The tab strip below the panel, the report below it to the bottom.
  const TRect strip = PlaceInParent(run.Tabs());
  EXPECT_EQ((TRect{0, AtDpi(81, dpi), client.width, strip.height}), strip);
  const int top = AtDpi(81, dpi) + strip.height;
  EXPECT_EQ((TRect{0, top, client.width, client.height - top}), PlaceInParent(run.Memo()));
  EXPECT_EQ((TRect{0, top, client.width, client.height - top}), PlaceInParent(run.Map()));
  EXPECT_EQ(-MulDiv(8, dpi, 72), ControlFont(run.StartButton()).height);
  EXPECT_EQ(-MulDiv(8, dpi, 72), ControlFont(run.Tabs()).height);
  EXPECT_EQ(-MulDiv(8, dpi, 72), ControlFont(run.Map()).height);
  EXPECT_EQ(-MulDiv(10, dpi, 72), ControlFont(run.Memo()).height);
}

// No larger than the design's size at `dpi` and as large as the work area allows.
void ExpectDesignSizeAtDpi(TWindowRun& run, int dpi) {
  const TRect area = WorkArea(run.Handle());
  const TRect frame = FrameOnScreen(run.Handle());
  const TRect client = ClientRect(run.Handle());
  const int borderWidth = frame.width - client.width;
  const int borderHeight = frame.height - client.height;
  EXPECT_EQ(std::min(AtDpi(kDesignWidth, dpi) + borderWidth, area.width), frame.width);
  EXPECT_EQ(std::min(AtDpi(kDesignHeight, dpi) + borderHeight, area.height), frame.height);
}

TEST(MainWindowDpiTest, FitsTheWorkAreaOfItsMonitor) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  SCOPED_TRACE("at " + std::to_string(ScreenDpi()) + " DPI");
  ExpectLaidOutAtDpi(run, ScreenDpi());
  ExpectDesignSizeAtDpi(run, ScreenDpi());
}

// Windows tells a window that moved to a monitor of another scale by WM_DPICHANGED,
// with a rectangle for the new size. Wine has one DPI for all monitors and does not
// send it; the test sends it as Windows does.
TEST(MainWindowDpiTest, FollowsAMoveToAMonitorOfAnotherScale) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  const int screenDpi = ScreenDpi();
  const auto moveTo = [&](int dpi, int from) {
    const TRect frame = FrameOnScreen(run.Handle());
    RECT suggested{frame.left, frame.top, frame.left + MulDiv(frame.width, dpi, from),
                   frame.top + MulDiv(frame.height, dpi, from)};
    SendMessageW(run.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    return TRect{suggested.left, suggested.top, suggested.right - suggested.left,
                 suggested.bottom - suggested.top};
  };
  {
    // Twice the scale: the suggested size is more than the screen has.
    SCOPED_TRACE("moved to twice the scale");
    moveTo(screenDpi * 2, screenDpi);
    ExpectLaidOutAtDpi(run, screenDpi * 2);
    ExpectDesignSizeAtDpi(run, screenDpi * 2);
  }
  {
    // Back: the suggested size fits and is taken as it is.
    SCOPED_TRACE("moved back");
    const TRect suggested = moveTo(screenDpi, screenDpi * 2);
    ExpectLaidOutAtDpi(run, screenDpi);
    EXPECT_EQ(suggested, FrameOnScreen(run.Handle()));
  }
}

// The panel draws an edge along its right side; when the window grows, the edge at
// the old width must go.
TEST(MainWindowResizeTest, EnlargingLeavesNoEdgeAtTheOldWidth) {
  TWindowRun run;
  run.Profile(u"Outlook");
  run.Start();
  // Narrower first, so that it can grow also where it fills the screen.
  const TRect start = FrameOnScreen(run.Handle());
  SetWindowPos(run.Handle(), nullptr, 0, 0, start.width - 120, start.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  RedrawWindow(run.Handle(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  const Window panel = run.Panel();
  const int oldWidth = ClientRect(panel).width;
  // Between the buttons and the label, where the panel shows its face across its
  // whole width: at 200 % on a small screen the row of buttons reaches the right edge
  // of the narrowed window.
  const TRect buttons = PlaceInParent(run.StartButton());
  const int middle = (buttons.top + buttons.height + PlaceInParent(run.Label()).top) / 2;
  const std::uint32_t face = Pixel(panel, oldWidth - 8, middle);
  const std::uint32_t edge = Pixel(panel, oldWidth - 1, middle);
  ASSERT_NE(face, edge);
  const TRect frame = FrameOnScreen(run.Handle());
  SetWindowPos(run.Handle(), nullptr, 0, 0, frame.width + 60, frame.height,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PaintPending(run.Handle());
  const int newWidth = ClientRect(panel).width;
  ASSERT_EQ(oldWidth + 60, newWidth);
  EXPECT_EQ(face, Pixel(panel, oldWidth - 1, middle));
  EXPECT_EQ(edge, Pixel(panel, newWidth - 1, middle));
}

}  // namespace
}  // namespace brindel::test
