// The volume query behind the 8.3 name rule and the local-time correction:
// which kind of volume holds a path, cached per call.
#pragma once

#include <string>

#include "path_state.h"

struct EngineContext;

// Old-FAT and local-time flags of the volume holding `path` (which need not
// exist yet: its nearest existing directory is asked). A network path, or a
// failing query, gives neither flag.
volume_flags query_volume(EngineContext& ctx, const std::string& path);

// Forgets every cached answer.
void clear_volume_cache(EngineContext& ctx);
