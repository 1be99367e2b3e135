#pragma once

#include <string_view>

struct HWND__;

namespace brindel::app::win32 {

// A question in a window of its own, with two buttons whose captions are German on
// every system (a message box's "Ja" and "Nein" follow the system's language): the
// first is the default, so Enter answers yes; Escape and the close box answer no.
// Modal to `Owner`, in the middle of its screen. True for yes.
bool AskQuestion(HWND__* Owner, std::u16string_view Title, std::u16string_view Text,
                 std::u16string_view Yes, std::u16string_view No);

}  // namespace brindel::app::win32
