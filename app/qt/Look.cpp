#include "app/qt/Look.h"

#include <QFontDatabase>
#include <QFontMetricsF>
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

bool IsMonospaced(const QFont& Font) {
  // Measured rather than asked: QFontInfo::fixedPitch() trusts what the font file
  // declares, and some monospaced faces (Nimbus Mono PS, which fontconfig gives for
  // Courier New where the URW fonts are installed) do not declare it.
  const QFontMetricsF metrics(Font);
  const qreal width = metrics.horizontalAdvance(QLatin1Char('0'));
  for (const QChar c : QStringLiteral("iWm.|"))
    if (metrics.horizontalAdvance(c) != width)
      return false;
  return width > 0;
}

QFont MonospacedOr(const QFont& Wanted) {
  if (IsMonospaced(Wanted))
    return Wanted;
  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPointSize(Wanted.pointSize());
  return fixed;
}

QFont LogFont() {
  QFont font(QStringLiteral("Courier New"), 10);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return MonospacedOr(font);
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
