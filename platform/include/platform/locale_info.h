// Portable. No OS headers.
//
// The user's locale settings that the programs show data in.
#pragma once

#include "platform/service.h"

namespace platform {

// Order of the parts of a date (the values of LOCALE_IDATE).
inline constexpr int DATE_ORDER_MDY = 0;
inline constexpr int DATE_ORDER_DMY = 1;
inline constexpr int DATE_ORDER_YMD = 2;

class LocaleInfo {
 public:
  virtual ~LocaleInfo() = default;
  // The user's date order, DATE_ORDER_*: Win32 from LOCALE_IDATE, POSIX from
  // the order of day, month and year in nl_langinfo(D_FMT). When the query
  // fails, or the order is none of the three, DATE_ORDER_MDY.
  virtual int date_order() = 0;
};

inline LocaleInfo& locale_info() { return current<LocaleInfo>(); }

}  // namespace platform
