#include "app/win32/MapTree.h"

#include <optional>
#include <string>

#include "app/MapLook.h"
#include "app/win32/Look.h"

#include <windows.h>

#include <commctrl.h>

namespace brindel::app::win32 {

namespace {

// A tree item's colour travels in its lParam: the colour with this bit set; 0 is the
// system's colour.
constexpr LPARAM kColoured = LPARAM{1} << 24;

LPARAM ColourParam(const std::optional<TColour>& Colour) {
  return Colour ? kColoured | static_cast<LPARAM>(RGB(Colour->Red, Colour->Green, Colour->Blue))
                : 0;
}

HTREEITEM InsertTreeItem(HWND Tree, HTREEITEM Parent, const std::wstring& Text, LPARAM Param,
                         bool Expanded) {
  TVINSERTSTRUCTW insert{};
  insert.hParent = Parent;
  insert.hInsertAfter = TVI_LAST;
  insert.item.mask = TVIF_TEXT | TVIF_PARAM | TVIF_STATE;
  insert.item.pszText = const_cast<wchar_t*>(Text.c_str());
  insert.item.lParam = Param;
  insert.item.stateMask = TVIS_EXPANDED;
  insert.item.state = Expanded ? TVIS_EXPANDED : 0;
  return reinterpret_cast<HTREEITEM>(
      SendMessageW(Tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

// An entry of the map with its marks in words and, where it has one, its colour, and
// the entries below it, open.
void InsertMapEntry(HWND Tree, HTREEITEM Parent, const profile::TMapEntry& Entry) {
  const HTREEITEM item = InsertTreeItem(Tree, Parent, ToWide(profile::MapEntryLine(Entry)),
                                        ColourParam(EntryColour(Entry)), !Entry.Children.empty());
  for (const profile::TMapEntry& child : Entry.Children)
    InsertMapEntry(Tree, item, child);
}

// Refills Tree without drawing in between; Fill returns the item to select.
template <class TFill>
void Refill(HWND Tree, TFill Fill) {
  SendMessageW(Tree, WM_SETREDRAW, FALSE, 0);
  SendMessageW(Tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(TVI_ROOT));
  const HTREEITEM first = Fill();
  SendMessageW(Tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(first));
  SendMessageW(Tree, TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(first));
  SendMessageW(Tree, WM_SETREDRAW, TRUE, 0);
  RedrawWindow(Tree, nullptr, nullptr, RDW_ERASE | RDW_FRAME | RDW_INVALIDATE);
}

}  // namespace

void FillMapTree(HWND Tree, const profile::TProfileMap& Map) {
  Refill(Tree, [&] {
    const HTREEITEM counts = InsertTreeItem(Tree, TVI_ROOT, ToWide(Map.CountLine), 0, false);
    InsertMapEntry(Tree, TVI_ROOT, Map.Root);
    return counts;
  });
}

void ShowNoMapNote(HWND Tree) {
  Refill(Tree, [&] {
    return InsertTreeItem(Tree, TVI_ROOT, ToWide(kNoMapNote), ColourParam(kNoteColour), false);
  });
}

std::intptr_t DrawMapTreeItem(void* CustomDraw) {
  auto* draw = static_cast<NMTVCUSTOMDRAW*>(CustomDraw);
  if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
    return CDRF_NOTIFYITEMDRAW;
  if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT && (draw->nmcd.lItemlParam & kColoured) &&
      !(draw->nmcd.uItemState & CDIS_SELECTED)) {
    draw->clrText = static_cast<COLORREF>(draw->nmcd.lItemlParam & 0xFFFFFF);
  }
  return CDRF_DODEFAULT;
}

}  // namespace brindel::app::win32
