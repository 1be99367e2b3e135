#pragma once

#include <string>
#include <string_view>

// Handles of windows.h, declared the way windows.h declares them, so that this header
// does not pull windows.h in: its macros clash with the registry store's constants.
struct HWND__;
struct HFONT__;

namespace brindel::app::win32 {

// UTF-16 both: wchar_t on Windows holds the same code units as char16_t.
std::wstring ToWide(std::u16string_view Text);
std::u16string FromWide(std::wstring_view Text);

// The text of a window or control.
std::u16string WindowText(HWND__* Window);

// Makes the process aware of each monitor's DPI, as the manifest does, where it runs
// without the manifest, as far as the system allows. Before the first window.
void BecomeDpiAware();

// Dots per inch of the monitor the window is on: 96 at 100 %. Windows 10 tells it per
// window; older systems have one value for the whole screen.
int WindowDpi(HWND__* Window);
// A length of the layout, given for 96 DPI, at this DPI.
int Scale(int Pixels, int Dpi);

// The fonts of the windows.
enum class TFontKind {
  Window,  // Tahoma 8 pt
  Button,  // bold Tahoma 10 pt
  Log,     // Courier New 10 pt
};

// A font made for one DPI, deleted with the object.
class TFont {
 public:
  TFont() = default;
  TFont(TFontKind Kind, int Dpi);
  ~TFont();
  TFont(const TFont&) = delete;
  TFont& operator=(const TFont&) = delete;
  TFont(TFont&& Other) noexcept;
  TFont& operator=(TFont&& Other) noexcept;

  HFONT__* Handle() const { return font_; }

 private:
  HFONT__* font_ = nullptr;
};

// Sets the font of a control without redrawing it.
void SetControlFont(HWND__* Control, const TFont& Font);

// Moves a top-level window to the centre of the work area of its monitor.
void CenterOnScreen(HWND__* Window);

// Makes a top-level window no larger than the work area of its monitor and moves it
// inside that area where it stands out.
void FitIntoWorkArea(HWND__* Window);

// Sets the size of a top-level window so that its client area is this large.
void SetClientSize(HWND__* Window, int Width, int Height);

// A button shows '&' as the mark of its access key unless it is doubled.
std::wstring PlainButtonCaption(std::u16string_view Text);

}  // namespace brindel::app::win32
