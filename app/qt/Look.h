#pragma once

#include <QFont>

class QWidget;

namespace brindel::app::qt {

// The fonts of the windows. Where a font is not installed, the font database picks
// the closest one by the style hint: a sans-serif face for Tahoma, a fixed-pitch face
// for Courier New.
QFont WindowFont();  // Tahoma 8 pt
QFont ButtonFont();  // bold Tahoma 10 pt
QFont LogFont();     // Courier New 10 pt

// Moves a top-level window to the centre of its screen; called once it has its size.
void CenterOnScreen(QWidget& Window);

}  // namespace brindel::app::qt
