#pragma once

#include <algorithm>
#include <iterator>
#include <span>

namespace brindel::app {

// Who takes the focus from a control that can no longer hold it, in a window's tab
// order: the nearest control before it that can, so that "Löschen" hands it to
// "Auslesen" and "Auslesen" to the profile box; a control outside the order hands it
// to the first that can. The order ends with the page shown, which is never disabled
// and takes the focus when nothing before it can. Both windows follow this one rule.
template <class TControl, class TCanTake>
TControl FocusStandIn(std::span<const TControl> order, const auto* control, TCanTake canTake) {
  const TControl page = order.back();
  const auto at = std::find(order.begin(), order.end(), control);
  if (at == order.end()) {
    const auto first = std::find_if(order.begin(), order.end(), canTake);
    return first != order.end() ? *first : page;
  }
  const auto before = std::find_if(std::make_reverse_iterator(at), order.rend(), canTake);
  return before != order.rend() ? *before : page;
}

}  // namespace brindel::app
