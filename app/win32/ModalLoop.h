#pragma once

struct HWND__;

namespace brindel::app::win32 {

// Shows a window modal to its owner and handles messages until `Ended` is true: the
// owner takes no input meanwhile, Tab, Enter and Escape work as in a dialog, and a
// quit message ends the loop and stays queued for the program's own loop. The owner
// is enabled again before the window is hidden, so that it becomes the active window
// again instead of another program's.
void RunModal(HWND__* Window, HWND__* Owner, HWND__* FirstFocus, const bool& Ended);

}  // namespace brindel::app::win32
