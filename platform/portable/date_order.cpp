// Portable. No OS headers.
#include "date_order.h"

#include "platform/locale_info.h"

namespace platform {

int date_order_of_format(const char* format) {
  if (!format) return DATE_ORDER_MDY;
  // Record the order in which day (d), month (m) and year (y) first appear.
  char seen[3];
  int count = 0;
  auto note = [&](char part) {
    for (int k = 0; k < count; ++k) {
      if (seen[k] == part) return;
    }
    if (count < 3) seen[count++] = part;
  };
  for (const char* p = format; *p; ++p) {
    if (*p != '%') continue;
    ++p;
    while (*p == 'E' || *p == 'O' || *p == '-' || *p == '_' || *p == '0' || *p == '^' || *p == '#') ++p;
    switch (*p) {
      case 'd': case 'e': note('d'); break;
      case 'm': case 'b': case 'B': case 'h': note('m'); break;
      case 'y': case 'Y': case 'C': case 'G': case 'g': note('y'); break;
      case 'D': note('m'), note('d'), note('y'); break;  // %m/%d/%y
      case 'F': note('y'), note('m'), note('d'); break;  // %Y-%m-%d
      case '\0': --p; break;
      default: break;
    }
  }
  if (count != 3) return DATE_ORDER_MDY;
  if (seen[0] == 'd' && seen[1] == 'm') return DATE_ORDER_DMY;
  if (seen[0] == 'y' && seen[1] == 'm') return DATE_ORDER_YMD;
  return DATE_ORDER_MDY;
}

}  // namespace platform
