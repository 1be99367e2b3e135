#include "app/qt/Look.h"

#include <algorithm>

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

void FitIntoScreen(QWidget& Window) {
  const QScreen* screen = Window.screen();
  if (!screen)
    return;
  const QRect area = screen->availableGeometry();
  const QRect frame = Window.frameGeometry();
  // The frame around the window is known once it is on screen; before, it counts as
  // none.
  const QSize border = frame.size() - Window.size();
  const QSize size = Window.size().boundedTo(area.size() - border);
  const QSize outer = size + border;
  const QPoint at(std::clamp(frame.x(), area.x(), area.x() + area.width() - outer.width()),
                  std::clamp(frame.y(), area.y(), area.y() + area.height() - outer.height()));
  if (size != Window.size())
    Window.resize(size);
  if (at != frame.topLeft())
    Window.move(at);
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
