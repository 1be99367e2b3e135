#pragma once

#include <optional>

#include "profile/ProfileMap.h"

namespace brindel::app {

// A colour of the windows, as red, green and blue from 0 to 255.
struct TColour {
  int Red = 0;
  int Green = 0;
  int Blue = 0;
  bool operator==(const TColour&) const = default;
};

// The mark that gives an entry of the map its colour: the one that weighs most for
// the repair (deleted before faulty before unlinked before repeated before protected
// before unused before empty); null when the entry has none.
const profile::TMapMark* LeadingMark(const profile::TMapEntry& Entry);

// The colour both windows give the text of an entry with a mark of this kind. Every
// mark says in words what it means too, so nothing rests on colour alone.
TColour MarkColour(profile::TMapMarkKind Kind);

// The colour of an entry's text; none for an entry without marks, which keeps the
// system's colour.
std::optional<TColour> EntryColour(const profile::TMapEntry& Entry);

// The grey of the page's note while there is no map.
inline constexpr TColour kNoteColour{112, 112, 112};

// The page's note while there is no map.
inline constexpr char16_t kNoMapNote[] =
    u"Hier steht das Profil auf einen Blick, sobald es ausgelesen ist.";

}  // namespace brindel::app
