#pragma once

#include <cstdint>

#include "profile/ProfileMap.h"

// Declared the way windows.h declares it, so that this header does not pull windows.h
// in: its macros clash with the registry store's constants.
struct HWND__;

namespace brindel::app::win32 {

// The page "Profil" of the window: a tree view that shows the map of a profile, each
// entry with its marks in words and in the colour of its heaviest mark.

// Fills Tree with Map in one go, without drawing in between, so that a profile of a
// thousand sections stays quick: the count line first and selected, then the profile
// with everything below it open.
void FillMapTree(HWND__* Tree, const profile::TProfileMap& Map);
// Empties Tree down to the note that there is no map to show.
void ShowNoMapNote(HWND__* Tree);
// The answer to the tree's NM_CUSTOMDRAW notification (an NMTVCUSTOMDRAW): the colour
// of an entry's marks; a selected entry keeps the colours of the selection, so that it
// stays readable.
std::intptr_t DrawMapTreeItem(void* CustomDraw);

}  // namespace brindel::app::win32
