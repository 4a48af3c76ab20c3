// POSIX backend of platform/locale_info.h: the order of day, month and year
// in the user's nl_langinfo(D_FMT).
#include "platform/locale_info.h"

#include <langinfo.h>
#include <locale.h>

#include <string_view>

#include "../portable/date_order.h"

namespace platform {
namespace {

class PosixLocaleInfo final : public LocaleInfo {
 public:
  int date_order() override {
    // The user's locale from the environment, without changing the
    // process's own (which stays "C" for the programs' output).
    locale_t user = ::newlocale(LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (user == static_cast<locale_t>(0)) return DATE_ORDER_MDY;
    int order = date_order_of_format(::nl_langinfo_l(D_FMT, user));
    ::freelocale(user);
    return order;
  }
};

}  // namespace

template <> LocaleInfo& native<LocaleInfo>() {
  static PosixLocaleInfo instance;
  return instance;
}

}  // namespace platform
