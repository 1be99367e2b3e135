#include "app/MapLook.h"

namespace brindel::app {

namespace {

using profile::TMapMarkKind;

// Heavier marks first.
int Weight(TMapMarkKind Kind) {
  switch (Kind) {
    case TMapMarkKind::Deleted:
      return 8;
    case TMapMarkKind::Removed:
      return 7;
    case TMapMarkKind::FaultyAccount:
      return 6;
    case TMapMarkKind::Unlinked:
      return 5;
    case TMapMarkKind::Repeated:
      return 4;
    case TMapMarkKind::Kept:
      return 3;
    case TMapMarkKind::Stays:
      return 2;
    case TMapMarkKind::Empty:
      return 1;
  }
  return 0;
}

}  // namespace

const profile::TMapMark* LeadingMark(const profile::TMapEntry& Entry) {
  const profile::TMapMark* leading = nullptr;
  for (const profile::TMapMark& mark : Entry.Marks) {
    if (!leading || Weight(mark.Kind) > Weight(leading->Kind))
      leading = &mark;
  }
  return leading;
}

TColour MarkColour(TMapMarkKind Kind) {
  switch (Kind) {
    case TMapMarkKind::Deleted:
    case TMapMarkKind::Removed:
      return {192, 0, 0};  // red
    case TMapMarkKind::FaultyAccount:
    case TMapMarkKind::Unlinked:
      return {204, 102, 0};  // orange
    case TMapMarkKind::Repeated:
      return {140, 120, 0};  // dark yellow
    case TMapMarkKind::Kept:
      return {0, 70, 180};  // blue
    case TMapMarkKind::Stays:
    case TMapMarkKind::Empty:
      return kNoteColour;  // grey
  }
  return {};
}

std::optional<TColour> EntryColour(const profile::TMapEntry& Entry) {
  if (const profile::TMapMark* mark = LeadingMark(Entry))
    return MarkColour(mark->Kind);
  return std::nullopt;
}

}  // namespace brindel::app
