#pragma once

#include <QFont>

class QWidget;

namespace brindel::app::qt {

// The fonts of the windows. Where a font is not installed, the font database picks
// the closest one by the style hint: a sans-serif face for Tahoma, a fixed-pitch face
// for Courier New. The log's columns line up only in a monospaced face, so the log
// font falls back to the system's fixed font where the match is not one.
QFont WindowFont();  // Tahoma 8 pt
QFont ButtonFont();  // bold Tahoma 10 pt
QFont LogFont();     // Courier New 10 pt, or the system's fixed font at 10 pt

// Whether every character of the font takes the same width, as measured.
bool IsMonospaced(const QFont& Font);
// Wanted when it is monospaced, otherwise the system's fixed font in Wanted's size.
QFont MonospacedOr(const QFont& Wanted);

// Moves a top-level window to the centre of its screen; called once it has its size.
void CenterOnScreen(QWidget& Window);

// Makes a top-level window no larger than the available area of its screen and moves
// it inside that area where it stands out.
void FitIntoScreen(QWidget& Window);

}  // namespace brindel::app::qt
