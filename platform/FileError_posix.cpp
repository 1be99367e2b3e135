#include <cerrno>
#include <cstring>

#include "platform/FileError.h"
#include "platform/Text.h"

namespace brindel::platform {

std::u16string LastFileErrorText() {
  const int code = errno;
  switch (code) {
    case ENOENT:
      return u"Datei oder Ordner nicht gefunden.";
    case ENOTDIR:
      return u"Ein Teil des Pfads ist kein Ordner.";
    case EACCES:
    case EPERM:
      return u"Zugriff verweigert.";
    case ENOSPC:
      return u"Auf dem Datenträger ist kein Platz mehr.";
    case EDQUOT:
      return u"Das Speicherkontingent ist erschöpft.";
    case EROFS:
      return u"Der Datenträger ist schreibgeschützt.";
    case ENAMETOOLONG:
      return u"Der Dateiname ist zu lang.";
    case EEXIST:
      return u"Die Datei besteht bereits.";
    case EIO:
      return u"Ein-/Ausgabefehler des Datenträgers.";
    case EBUSY:
      return u"Die Datei ist in Gebrauch.";
    case ELOOP:
      return u"Zu viele Verweise (symbolische Links) hintereinander, oder einer im Kreis.";
    case EMFILE:
    case ENFILE:
      return u"Zu viele offene Dateien.";
    default:
      // Anything rarer in the system's own words.
      return FromUtf8(std::strerror(code)) + u".";
  }
}

}  // namespace brindel::platform
