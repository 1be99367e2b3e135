#include "app/StoreSession.h"

#include "platform/ErrorText.h"

namespace brindel::app {

std::u16string TImmediateSession::Flush() {
  const auto status = store_.FlushKey(registry::store::HKEY_CURRENT_USER);
  if (status == registry::store::ERROR_SUCCESS)
    return {};
  return u"Die Änderungen konnten nicht in die Registry geschrieben werden: " +
         platform::ErrorText(status);
}

}  // namespace brindel::app
