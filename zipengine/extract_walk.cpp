// Portable. The walk over the central directory that extracts or tests the
// selected entries.
#include "archive_run.h"
#include "messages.h"

int extract_or_test_entries(EngineContext& ctx) {
  message(ctx, "error:  extraction and testing are not available yet\n");
  return RC_SEVERE;
}
