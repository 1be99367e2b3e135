#pragma once

#include <QString>

#include <string>
#include <string_view>

namespace brindel::app::qt {

// The core's UTF-16 text and QString hold the same code units.
inline QString ToQString(std::u16string_view text) {
  return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}

inline std::u16string FromQString(const QString& text) {
  return text.toStdU16String();
}

// A button caption shows '&' as a mnemonic marker unless it is doubled.
inline QString PlainButtonCaption(std::u16string_view text) {
  QString caption = ToQString(text);
  caption.replace(QLatin1Char('&'), QStringLiteral("&&"));
  return caption;
}

}  // namespace brindel::app::qt
