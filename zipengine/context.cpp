// Portable. Creation and release of the per-call engine state.
#include "context.h"

#include <cstdlib>

#include "archive_names.h"
#include "platform/file.h"

EngineContext::EngineContext() = default;

EngineContext::~EngineContext() {
  std::free(input_buffer);
  std::free(data_buffer);
  std::free(output_buffer);
  std::free(extra_field);
  std::free(password);
  std::free(archive_name);
}
