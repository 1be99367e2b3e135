#include "app/qt/Look.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWidget>

namespace brindel::app::qt {

QFont WindowFont() {
  QFont font(QStringLiteral("Tahoma"), 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QFont ButtonFont() {
  QFont font(QStringLiteral("Tahoma"), 10, QFont::Bold);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

QFont LogFont() {
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

void CenterOnScreen(QWidget& Window) {
  QScreen* screen = Window.screen() ? Window.screen() : QGuiApplication::primaryScreen();
  if (!screen)
    return;
  const QRect area = screen->availableGeometry();
  const QSize frame = Window.frameGeometry().size();
  Window.move(area.x() + (area.width() - frame.width()) / 2,
              area.y() + (area.height() - frame.height()) / 2);
}

}  // namespace brindel::app::qt
