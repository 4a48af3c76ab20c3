// Portable. The saving of compression in per cent, as the listing reports it.
#pragma once

#include <cstdint>

// The saving of c over u in whole per cent, without sign: an entry that grew
// by 12.3 per cent reports 12, as one that shrank by 12.3 per cent does.
int ratio_percent(uint64_t uncompressed, uint64_t compressed);
