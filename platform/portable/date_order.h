// Portable. No OS headers. Internal to the platform layer.
//
// The date order that a strftime date format shows ("%d.%m.%Y" is day,
// month, year), as DATE_ORDER_* of locale_info.h.
#pragma once

namespace platform {

int date_order_of_format(const char* format);

}  // namespace platform
