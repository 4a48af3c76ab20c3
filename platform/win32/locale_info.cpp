// Win32 backend of platform/locale_info.h: LOCALE_IDATE of the user's
// default locale.
#include "platform/locale_info.h"

#include "windows_fwd.h"

namespace platform {
namespace {

class Win32LocaleInfo final : public LocaleInfo {
 public:
  int date_order() override {
    char buf[4] = {};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_IDATE, buf, sizeof buf) == 0) return DATE_ORDER_MDY;
    if (buf[0] == '1') return DATE_ORDER_DMY;
    if (buf[0] == '2') return DATE_ORDER_YMD;
    return DATE_ORDER_MDY;
  }
};

}  // namespace

template <> LocaleInfo& native<LocaleInfo>() {
  static Win32LocaleInfo instance;
  return instance;
}

}  // namespace platform
