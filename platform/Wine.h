#pragma once

namespace brindel::platform {

// True when the program runs under Wine rather than on Windows itself: Wine's ntdll
// exports wine_get_version. Tests use it to mark, openly, where Wine behaves unlike
// Windows; the program itself never asks.
bool RunningOnWine();

}  // namespace brindel::platform
