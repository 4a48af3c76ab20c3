// Portable. Placeholder entry until the engine driver lands.
#include "zipengine/zipengine.h"

extern "C" int zipengine_run(int, const char* const*, int, const char* const*, const EngineOptions* options,
                             EngineCallbacks* callbacks) {
  if (!callbacks || !callbacks->print || !callbacks->replace) return RC_SEVERE;
  if (!options || !options->archive_path) return RC_NO_ARCHIVE;
  return RC_SEVERE;
}
