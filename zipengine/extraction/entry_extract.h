// Portable. Extracting or testing one entry whose local header has just
// been read: the decoder by method, the CRC-32 comparison and, in test mode,
// the check of compressed extra-field blocks.
#pragma once

#include <cstdint>

#include "context.h"

// Extracts (to a file or to print) or tests the current entry. The entry's
// result code.
int extract_or_test_entry(EngineContext& ctx);

// Tests the compressed blocks of an extra field (test mode): 0, 1, 2, 6, 7,
// 79 (truncated block), 2 + 256 x method (unknown method) or 2050 (CRC).
int test_extra_field_blocks(EngineContext& ctx, const uint8_t* extra, uint32_t length);
